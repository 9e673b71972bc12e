#pragma once
// Simulated configuration flash of FPGA chip 0 on "/dev/spidev32766.3": an 8 MiB serial NOR
// flash backed by $K57_ROOT/sim/fpga0_flash.bin (created erased, 0xFF; a test may pre-write
// records into the file). It answers only while PAD_FLASH0_CS is 0 on the chip-0 route
// (PAD_SPI_MUX_A 16, PAD_SPI_MUX_B 0).
//
// The file is mapped shared: the model works on it as memory, what it writes is in the file at
// once (for the next start, and when the process is killed), and what a test writes into the
// file the model sees. An erase leaves sectors that are already erased untouched, so repeated
// erases of an empty flash dirty no pages.
//
// Commands: 0x06 write enable; 0x05 status (bit 0 busy, bit 1 write enabled); 0x02 page
// program (needs write enable, only clears bits, wraps inside its 256-byte page); 0x20, 0x52,
// 0xD8 erase the aligned 4, 32, 64 KiB unit (needs write enable); 0x0B fast read (one dummy
// byte); 0x4B unique identifier (four dummy bytes, then 8 bytes).
//
// board.json keys: "fpga_flash_busy_polls" (2): status reads that report busy after a program
// or erase (-1: never idle again); "fpga_flash_uid": 8 identifier bytes.
#include <cstdint>
#include <string>
#include <vector>

#include "sim/device.h"

namespace sim {

class SimBoard;

class Fpga0FlashModel : public SpiModel {
public:
    static constexpr const char* kPath = "/dev/spidev32766.3";
    static constexpr uint32_t kSize = 0x800000;
    static constexpr uint32_t kSector = 0x1000;  // the smallest erase unit

    explicit Fpga0FlashModel(SimBoard& board);
    ~Fpga0FlashModel() override;

    int transfer(const uint8_t* tx, uint8_t* rx, size_t len) override;
    QJsonObject state() const override;

    // ---- observation ----
    std::vector<uint8_t> read(uint32_t addr, uint32_t len);
    // Lengths of the messages the flash answered, in order (the most recent kRingKeep).
    std::vector<size_t> messages() const { return messages_.to_vector(); }
    void clear_messages() { messages_.clear(); }
    uint64_t programs() const { return programs_; }
    uint64_t erases() const { return erases_; }
    // A power cut after `writes` more programs or erases: the flash carries those out and
    // loses every later one, until restore_power() (the device starting again).
    void cut_power_after(long writes) { writes_left_ = writes; }
    void restore_power() { writes_left_ = -1; }

private:
    bool selected() const;
    bool open_file();
    void copy_out(uint32_t addr, uint8_t* out, size_t len) const;
    void program(uint32_t addr, const uint8_t* data, size_t n);
    void erase(uint32_t addr, uint32_t unit);

    SimBoard& board_;
    std::string path_;
    uint8_t* image_ = nullptr;  // the mapped file, kSize bytes
    bool wel_ = false;
    long busy_left_ = 0;  // status reads that still report busy; -1 for ever
    long writes_left_ = -1;  // programs or erases before the power cut; -1 none
    Ring<size_t> messages_;
    uint64_t programs_ = 0;
    uint64_t erases_ = 0;
};

}  // namespace sim
