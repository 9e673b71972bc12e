#pragma once
// Simulated IT6602 HDMI receiver (it6602_0..3, behind receiver-switch channels
// 0x01/0x02/0x04/0x08 at 7-bit 0x4A, or 0x48 with board.json "it6602_addr": 144). It answers
// the scripted input s of board.json "inputs" (sim/board_inputs.h).
//
// - No answer while PAD_RX6602_RST is 0 or the input's "receiver" is false; the release of
//   the reset pad restores the power-on values and latches the 5 V event when cabled.
// - 0x00..0x03 read 54 49 02 68. 0x0F bits 0..1 select the bank of 0x10..0xFF.
// - Bank 0 0x05..0x09 and 0xD0 bits 0..3 are cleared by writing 1 to a bit; 0xD0 bits 4..7
//   (equaliser events) clear when read. 0x05 bit 0 latches on a
//   cable change and at the end of each 0x11 bit 0 pulse with a cable in; 0x07 bit 1 on each
//   change of the video (on/off or timing) and on a hot-plug rise while video is present.
// - 0x0A: bit 0 5 V, bit 3 clock, bit 7 sync (0x89 video, 0x01 cable only).
// - Timing 0x90..0xA8 (interlaced: per-field values), bank 2 0xC0..0xC2 the pixel clock in
//   kHz, 0x90/0x91 the TMDS clock (range bit 1: 12288 / divisor MHz).
// - The model's own choices: 0x0D bit 0 = the source sends HDMI ("hdmi"); 0xAA = 0x80 (audio
//   valid, LPCM) while an HDMI source sends video; bank 2 0x15 bits 5..6 the colour ("rgb",
//   "yuv422", "yuv444"), 0x16 BT.709, 0x18 video code 16.
// - Bank 1 0xB0 bits 0..1 hot-plug (3 high); its level and rising edges are in the dump.
// - 0xB2..0xB6 read the input's "link_errors" (0, at most 255).
#include <cstdint>

#include "sim/device.h"

namespace sim {

class SimBoard;

class It6602Model : public I2cModel {
public:
    It6602Model(SimBoard& board, int s);
    bool i2c_write(const uint8_t* data, size_t len) override;
    bool i2c_read(uint8_t* data, size_t len) override;
    QJsonObject state() const override;
    void reset() override;  // power-on values

    uint8_t reg(int bank, uint8_t r) const { return regs_[bank > 2 ? 2 : bank][r]; }
    // Test aid: raises interrupt bits of bank 0 as the chip's own events would.
    void latch(uint8_t r, uint8_t bits) { regs_[0][r] |= bits; }
    bool hot_plug_high() const { return (regs_[1][0xB0] & 3) == 3; }
    uint64_t hot_plug_rises() const { return hpd_rises_; }

private:
    bool answering() const;
    uint8_t read_reg(uint8_t r);
    void write_reg(uint8_t r, uint8_t v);
    uint8_t* cell(uint8_t r);
    void follow_input();   // latches the events of a changed input
    uint8_t timing_reg(uint8_t r) const;

    SimBoard& board_;
    int s_;
    uint8_t regs_[3][256];
    uint8_t ptr_ = 0;
    uint64_t hpd_rises_ = 0;
    // What the latches last saw.
    bool seen_cable_ = false;
    std::string seen_video_;
};

}  // namespace sim
