#pragma once
// The C331's serial flash, its controller and the OSD drawing engine, as part of the simulated
// C331 (sim/c331_model). The model hands every register write of bank 4 to this part and asks
// it first for every read; what it does not handle reads back as written.
//
// Serial flash: 32 MiB backed by $K57_ROOT/sim/c331_flash.bin. A missing file, and every byte
// past its end, reads as erased (0xFF); the first program or erase creates it, grown with 0xFF
// to the highest byte touched.
//   0x044E04 (4 bytes) sets the pointer.
//   0x045301 := 1 starts a read; each read of 0x045201 returns the byte at the pointer and
//     moves it on.
//   Each write of 0x045201 programs the byte at the pointer (old AND new) and moves it on,
//     while 0x044901 holds the page-program opcode 0x12.
//   0x044801 := 4 erases the unit holding the pointer by the opcode in 0x044B01 (0x20 4 KiB,
//     0x52 32 KiB, 0xD8 64 KiB).
//   0x044801 := 2 is a DMA into chip memory: recorded (mode 0x045A01, flash address 0x044E04,
//     length 0x045604 AND 0x7FFFFFFF, destination by mode: 0 0x041104, 1 0x042702, 4 0x091F01),
//     no data moves.
//   0x044801 := 5 with 0x044B01 = 0x04 (write disable) clears the write-enable latch.
//   Status reads idle (0x045301 0x20, 0x045401 0, 0x045501 0). board.json
//   "c331_flash_stuck": true holds 0x045301 bit 7, 0x045401 = 0x0B and 0x045501 = 0x03;
//   "c331_flash_wel_sticks": true makes the flash keep its write-enable latch (0x045501 bit 1)
//   after a program or erase until a write disable.
// Drawing engine: 0x040801 := 1 (fill), 2 (copy) or 3 (character string) records the command
//   with its operands; a string also records the glyph numbers sent to 0x042901 since
//   0x042702 was last set to 0. 0x041701 reads idle; "c331_engine_stuck": true holds bit 0.
//
// Record lines (the model's transaction record): "fill dst=.. w=.. h=.. colour=..",
// "copy src=.. dst=.. w=.. h=..", "string src=.. dst=.. n=.. glyphs=a,b,..",
// "dma mode=.. flash=.. len=.. dst=..", "erase addr=.. size=..".
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

class SimBoard;
class TxnRecord;

class C331OsdFlash {
public:
    static constexpr uint32_t kFlashSize = 32u << 20;

    // regs: the model's register file (bank, register), read for operands.
    C331OsdFlash(SimBoard& board, const uint8_t (*regs)[128], TxnRecord& record);
    ~C331OsdFlash();
    C331OsdFlash(const C331OsdFlash&) = delete;
    C331OsdFlash& operator=(const C331OsdFlash&) = delete;

    // A read of (bank, reg): true with *out when this part answers it.
    bool read(uint8_t bank, uint8_t reg, uint8_t* out);
    // After the model stored a write of (bank, reg).
    void wrote(uint8_t bank, uint8_t reg, uint8_t value);
    void reset();

    // Test access to the flash contents (under the model's device lock).
    std::vector<uint8_t> flash_bytes(uint32_t addr, uint32_t len);
    void seed(uint32_t addr, const std::vector<uint8_t>& bytes);   // stores bytes as given

private:
    uint32_t value(uint8_t bank, uint8_t reg, int count) const;
    void refresh_config();
    bool stuck(const char* key);
    uint8_t flash_read(uint32_t addr);
    void flash_store(uint32_t addr, const uint8_t* p, uint32_t n);
    bool open_file(bool create);
    void erase_at_pointer();
    void latch_after_write();
    void record_dma();
    void record_engine(uint8_t cmd);

    SimBoard& board_;
    const uint8_t (*regs_)[128];
    TxnRecord& record_;
    std::string path_;
    int fd_ = -1;
    uint32_t pointer_ = 0;
    bool params_open_ = false;       // 0x042702 was set to 0: glyph bytes follow
    std::vector<uint8_t> params_;
    uint64_t config_gen_ = ~0ull;
    bool flash_stuck_ = false, engine_stuck_ = false, wel_sticks_ = false;
    bool wel_ = false;   // the flash's write-enable latch
};

}  // namespace sim
