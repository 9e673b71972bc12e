#pragma once
// Simulated C331 scaler on "/dev/spidev32766.0".
//
// The chip answers only while both SPI multiplexer pads of the SoC read 0x0010. It holds 256
// banks of 128 byte registers; register 0 of every bank is the bank select (a write of it
// selects that bank, a read returns the selected bank). Frames are two bytes:
//   0x80 | reg, data   write        reg & 0x7F, 0xFF   read (second byte clocked in = data)
// Reads return the last value written, except the status registers the scaler software
// waits on, which report "done" at once (vsync seen, engines idle, V-by-One locked), and the
// identifier register 0xB2/0x08, which reads 0x24 after the first "c331_id_fail_reads"
// reads (board.json, default 0) have read 0. The serial flash, its controller and the OSD
// drawing engine (bank 4) are sim/c331_osd_flash.h.
//
// How each output channel reads the frame store (read start and directions) is decoded from
// its registers by sim/c331_output.h and dumped as "och_reads"; the OSD window each channel
// lays over it as "osd_reads".
//
// Register writes are kept in order (bank, register, value) for tests and the state dump:
// the most recent kRingKeep of them (sim/ring.h).
#include <QJsonObject>
#include <cstdint>
#include <memory>
#include <vector>

#include "sim/c331_osd_flash.h"
#include "sim/c331_output.h"
#include "sim/device.h"

namespace sim {

class SimBoard;
class C331InputSide;   // sim/c331_inputs.h: port measurement and sync flags

class C331Model : public SpiModel {
public:
    static constexpr const char* kPath = "/dev/spidev32766.0";
    static constexpr uint32_t kPadMuxA = 0x207900;
    static constexpr uint32_t kPadMuxB = 0x207810;
    static constexpr uint16_t kPadSelected = 0x0010;

    struct Write {
        uint8_t bank;
        uint8_t reg;
        uint8_t value;
    };

    explicit C331Model(SimBoard& board);
    ~C331Model() override;

    int transfer(const uint8_t* tx, uint8_t* rx, size_t len) override;
    QJsonObject state() const override;
    void reset() override;

    // ---- observation (take device_lock() or call while the software is idle) ----
    uint8_t reg(uint8_t bank, uint8_t r) const { return regs_[bank][r & 0x7F]; }
    // A 1..4 byte value by register id, least significant byte first, plus a bank offset.
    uint32_t value(uint32_t regid, uint32_t choffs = 0) const;
    // How output channel k reads the frame store: the picture it puts on the wall.
    OchRead och_read(int k) const { return sim::och_read(regs_, k); }
    // The OSD window output channel k lays over its picture.
    OsdRead osd_read(int k) const { return sim::osd_read(regs_, k); }
    // The horizontal shrink coefficient set last loaded into input channel c (0..7).
    uint8_t hshrink_set(int c) const { return hshrink_set_[c & 7]; }
    std::vector<Write> writes() const;
    void clear_writes();
    uint64_t total_writes() const { return log_.total(); }
    uint64_t id_reads() const { return id_reads_; }
    int selected_bank() const { return bank_; }
    uint64_t ignored_frames() const { return ignored_frames_; }
    // The serial flash and the OSD drawing engine (sim/c331_osd_flash.h).
    C331OsdFlash& osd_flash() { return *osd_flash_; }

private:
    uint8_t read_reg(uint8_t r);
    void write_reg(uint8_t r, uint8_t v);
    bool selected() const;

    SimBoard& board_;
    uint8_t regs_[256][128];
    uint8_t hshrink_set_[8];   // per input channel, loaded through the bank-0 load port
    int bank_ = 0;
    Ring<Write> log_;
    uint64_t id_reads_ = 0;
    uint64_t ignored_frames_ = 0;
    std::unique_ptr<C331InputSide> inputs_;
    std::unique_ptr<C331OsdFlash> osd_flash_;
};

}  // namespace sim
