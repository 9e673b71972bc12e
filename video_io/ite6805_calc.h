#pragma once
// IT6805: what the driver computes from register values, free of the bus. Every division by
// something the chip reported is guarded here (0 for a zero divisor) and computed in 64 bits.
#include <cstdint>

namespace it6805 {

// Video timing as measured, with the back porches derived (never below 0).
struct VidTiming {
    uint16_t htotal = 0, hactive = 0, hfp = 0, hsync = 0, hbp = 0;
    uint16_t vtotal = 0, vactive = 0, vfp = 0, vsync = 0, vbp = 0;
};
constexpr int kTimingRegs = 17;  // registers 0x9B..0xAB
// r[i] = register 0x9B + i. `older` selects the older silicon's layout.
VidTiming decode_timing(const uint8_t r[kTimingRegs], bool older);

// Pixel clock (kHz) from the 20-sample latch sum; 0 for a zero sum.
uint32_t pclk_khz(uint32_t rclk_khz, uint32_t sum);
// Multiplier of the TMDS clock samples by register 0x43 bits 5-7.
uint32_t tmds_multiplier(uint8_t reg43);
// TMDS clock (kHz) from `samples` samples of (0x48 + 1) summing to `sum`; 0 for a zero sum.
uint32_t tmds_khz(uint32_t rclk_khz, uint32_t samples, uint32_t multiplier, uint32_t sum);
// Frames per second; 0 for zero totals.
uint32_t frame_rate(uint32_t pclk_khz, uint32_t htotal, uint32_t vtotal);
// The refresh stored in the image's timing record: up to 54 as measured, else 60.
uint16_t stored_refresh(uint32_t rate);

// Inputs above 320 MHz, or above 160 MHz with YUV 4:2:0, are 4K.
bool is_4k(uint32_t pclk_khz, bool yuv420);
// V-by-One lane setting 0..3 (1, 2, 4, 8 lanes). Four lanes only for horizontal values that
// all divide by 4 (h_values_by4), else two.
uint8_t vbo_lane_count(uint32_t pclk_khz, bool is4k, const VidTiming& t);
bool h_values_by4(const VidTiming& t);

// Audio sampling frequency (kHz) from the TMDS clock, N and CTS; 0 for CTS 0.
uint32_t audio_fs_khz(uint32_t tmds_khz, uint32_t n, uint32_t cts);
// The channel-status sampling-frequency code of fs; `prev` where no range matches.
uint8_t audio_fs_code(uint32_t fs_khz, uint8_t prev);
// The source's code from register 0xB5.
constexpr uint8_t channel_status_code(uint8_t b5) { return uint8_t(((b5 >> 2) & 0x30) | (b5 & 0x0F)); }

// Oscillator calibration: the factory reference clock and the timer values derived from it.
constexpr uint32_t kRclkTypical = 19000;
// (b2 << 16) + (b1 << 8) + b0 kHz, / 100 when the status byte has bits 6 and 7; outside
// 13000..27000 the typical value.
uint32_t rclk_from_factory(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t status, bool* valid = nullptr);
struct OscSettings {
    uint8_t r91, r92;            // bank 0: 1 us timer
    uint8_t e1;                  // bank 3 0xE1
    uint8_t r45, r44, r46, r47;  // bank 0
    uint8_t d3, d4;              // bank 5
    uint8_t cec_unit;            // CEC 0x0C
};
OscSettings osc_settings(uint32_t rclk_khz);

// Equaliser: of `trials` trials, the index whose valid count (hi bit 7 set) is smallest;
// an earlier trial wins a tie; -1 when none is valid.
int eq_best_trial(const uint8_t (*err)[3][2], int trials, int channel);

}  // namespace it6805
