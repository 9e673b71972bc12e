#pragma once
// Simulated IT6805 HDMI 2.0 receivers (inputs 4 and 5 of board.json "inputs"): per device a
// receiver at 7-bit 0x48 ("it6805_0"/"it6805_1") and its CEC controller at 0x64
// ("it6805_cec_0"/"it6805_cec_1"), both behind the receiver switch's channel 0x20 (device 0)
// or 0x10 (device 1). Nothing answers at 0xA8 or 0xB4 (EDID RAM, V-by-One transmitter).
//
// Receiver: 8 banks of 256 registers, register 0x0F (bank select) common to all banks.
//   - 0x00..0x04 = 54 49 05 68 A0 in every bank (newer silicon).
//   - Bank 1 0x60 = 0x19; writing 0x54 := 4 latches 0x61/0x62 from the factory area addressed by
//     (0x50, 0x51): (0, 0xB0) gives 20 4E, anything else 00 00 (reference clock 20000 kHz).
//   - Bank 3 (7) 0x3A bit 7 := 1 sets bank 0 0x08 (0x0D) bit 4 (offset calibration done).
//   - Bank 5 0xDB = 0x10 (V-by-One clock stable).
//   - Port 0 only (0x16..0x18 read 0). Cable in, hot-plug high (bank 3 0xAB bits 6-7 = 3) and
//     video: 0x13 = 0xBF (0xBD for DVI), 0x14 = 0x38 (| 0x40 above 340 MHz), 0x19 = 0x82; cable
//     in otherwise: 0x13 = 0x01, rest 0; unplugged: 0.
//   - Write 1 to clear: 0x05..0x0E, 0x10..0x12, 0x1D, 0xD4, 0xD5, 0xB9, 0xBE (bank 0).
//     Raised: 0x05 bit 0 on plug and unplug; 0x05 bits 1-2 and 0x06 bit 0 when video appears
//     (clock on, clock change, symbol lock change); 0x10 bit 1 whenever SCDT changes, also on a
//     scripted timing change, after which 0x19 reads 0 three times; 0x12 bit 0 on a colour change.
//   - Timing 0x9B..0xA8 (newer layout), 0xAA = polarities (0x60 for +/+), 0x98 bit 1 interlace
//     (interlaced inputs report per-field vertical values). Pixel clock: each latch (0x9A bit 7
//     := 0) gives the next of 20 cyclic samples in 0x99 / 0x9A bits 0-1 summing to
//     floor(10240 x 20000 / PCLK). TMDS clock = PCLK: 0x43 bits 5-7 choose the largest
//     multiplier for which 0x48 + 1 = round(20000 x multiplier / TMDS) fits in 1..256.
//   - Bank 2 0x15 = colour << 5; 0xBE..0xC2 = N and CTS of the scripted audio rate (CTS = the
//     pixel clock in kHz); bank 0 0xB1 = 0x81 with audio, else 0; 0xB5 = its channel-status code.
//   - Bank 3 0x22 bit 2 := 1 raises 0x07 bit 6 (EQ done). Bit errors of channel c (bank 3 0xE9
//     bits 5-6 select it): 0xEB = 0x80, 0xEA = 0, unless the input's "eq_best" is set and bank 3
//     0x27 + c (bits 0-6) differs from it: then 0x300 errors (0xEB = 0x83).
//   - Answers nothing while the input's "receiver" is false or PAD_RX6805_RST is 0; its release
//     restores the power-on values.
// board.json, entry 4 + device of "inputs": the common keys, plus "colour" (AVI 0-3),
// "audio_khz" (0 none, 32, 44.1, 48 default, 96, 192), "eq_best" (see above), "cec_in"
// (CEC frames as hex texts, e.g. ["40 83"], delivered once whenever the list's text changes)
// and "cec" (false: the CEC controller never answers).
//
// CEC controller: 0x4C write 1 to clear; received frames queue: 0x52 bits 0-3 = their count,
// a read at 0x4D pops one (header, opcode, size in bits 0-4), its operands are read at 0x50 (a
// FIFO port); 0x52 := 0x60, 0xE0, 0x80 empties the queue. Writing 0x08 with bits 7 and 3 set
// sends the frame at 0x10.. (length 0x23): appended to "cec_sent", 0x4C bit 3 set.
#include <QJsonObject>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "sim/board_inputs.h"
#include "sim/device.h"

namespace sim {

class SimBoard;

class It6805Model : public I2cModel {
public:
    static constexpr uint8_t kAddr7 = 0x48;
    static constexpr uint32_t kRclk = 20000;
    It6805Model(SimBoard& board, int device);

    bool i2c_write(const uint8_t* data, size_t len) override;
    bool i2c_read(uint8_t* data, size_t len) override;
    QJsonObject state() const override;
    void reset() override;

    // Observation (take device_lock() or call while the software is idle).
    uint8_t reg(int bank, uint8_t r) const { return regs_[bank & 7][r]; }
    bool hpd_high() const { return (regs_[3][0xAB] >> 6) == 3; }
    uint32_t pclk_sum() const;

private:
    bool answers();
    void sync();
    uint8_t read_reg(uint8_t r);
    void write_reg(uint8_t r, uint8_t v);
    uint8_t bank() const { return regs_[0][0x0F] & 7; }
    bool video() const;
    uint8_t timing_reg(uint8_t r) const;
    uint8_t audio_reg(uint8_t r) const;
    uint8_t bit_errors(bool high) const;
    void power_on();

    SimBoard& board_;
    int device_;
    uint8_t regs_[8][256];
    uint8_t ptr_ = 0;
    bool released_ = false;
    uint64_t seen_generation_ = ~0ull;
    SimInput in_;
    bool last_cable_ = false, last_video_ = false, last_scdt_ = false;
    int last_colour_ = 0;
    std::string last_format_;
    int zero_reads_ = 0;
    uint32_t sample_ = 0;
    uint8_t efuse_[2] = {};
};

class It6805CecModel : public I2cModel {
public:
    static constexpr uint8_t kAddr7 = 0x64;
    It6805CecModel(SimBoard& board, int device);

    bool i2c_write(const uint8_t* data, size_t len) override;
    bool i2c_read(uint8_t* data, size_t len) override;
    QJsonObject state() const override;
    void reset() override;

    // The frames sent on the CEC line, the most recent kRingKeep.
    std::vector<std::string> cec_sent() const { return sent_.to_vector(); }

private:
    bool answers();
    void sync();

    SimBoard& board_;
    int device_;
    uint8_t regs_[256] = {};
    uint8_t ptr_ = 0;
    std::deque<std::vector<uint8_t>> queue_;
    std::deque<uint8_t> operands_;
    uint8_t header_[3] = {};
    Ring<std::string> sent_;
    QString last_cec_in_;
    uint64_t seen_generation_ = ~0ull;
    SimInput in_;
};

// Wires both devices behind the receiver switch (channels 0x20 and 0x10); every board does so.
void install_it6805(SimBoard& board, const std::shared_ptr<I2cSwitch>& rx_switch);

}  // namespace sim
