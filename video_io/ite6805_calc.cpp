// IT6805: the pure computations of the driver (timing, clocks, lanes, audio, calibration).
#include "video_io/ite6805_calc.h"

namespace it6805 {
namespace {

uint16_t word(uint8_t lo, uint8_t hi_bits) { return uint16_t(lo + hi_bits * 256); }
uint16_t clamp_porch(int v) { return uint16_t(v < 0 ? 0 : v); }

}  // namespace

VidTiming decode_timing(const uint8_t r[kTimingRegs], bool older)
{
    auto at = [r](uint8_t reg) { return r[reg - 0x9B]; };
    VidTiming t;
    t.htotal = word(at(0x9B), at(0x9C) & 0x3F);
    t.hactive = word(at(0x9D), at(0x9E) & 0x3F);
    if (!older) {
        t.hfp = uint16_t(at(0xA0) + (at(0xA1) & 0xF0) * 16);
        t.hsync = word(at(0x9F), at(0xA1) & 0x01);
        t.vtotal = word(at(0xA2), at(0xA3) & 0x3F);
        t.vactive = word(at(0xA4), at(0xA5) & 0x3F);
        t.vfp = uint16_t(at(0xA7) + (at(0xA8) & 0xF0) * 16);
        t.vsync = word(at(0xA6), at(0xA8) & 0x01);
    } else {
        t.hfp = word(at(0xA1), at(0xA2) & 0x3F);
        t.hsync = word(at(0x9F), at(0xA0) & 0x3F);
        t.vtotal = word(at(0xA3), at(0xA4) & 0x3F);
        t.vactive = word(at(0xA5), at(0xA6) & 0x3F);
        t.vfp = word(at(0xA9), at(0xAB) & 0x3F);
        t.vsync = word(at(0xA7), at(0xA8) & 0x3F);
    }
    // Inconsistent registers (a changing input) must not wrap into huge porches.
    t.hbp = clamp_porch(int(t.htotal) - t.hactive - t.hfp - t.hsync);
    t.vbp = clamp_porch(int(t.vtotal) - t.vactive - t.vfp - t.vsync);
    return t;
}

uint32_t pclk_khz(uint32_t rclk_khz, uint32_t sum)
{
    return sum ? uint32_t(uint64_t(10240) * rclk_khz / sum) : 0;
}

uint32_t tmds_multiplier(uint8_t reg43)
{
    if (reg43 & 0x80)
        return 1024;
    if (reg43 & 0x40)
        return 512;
    if (reg43 & 0x20)
        return 256;
    return 128;
}

uint32_t tmds_khz(uint32_t rclk_khz, uint32_t samples, uint32_t multiplier, uint32_t sum)
{
    return sum ? uint32_t(uint64_t(rclk_khz) * samples * multiplier / sum) : 0;
}

uint32_t frame_rate(uint32_t pclk, uint32_t htotal, uint32_t vtotal)
{
    const uint64_t total = uint64_t(htotal) * vtotal;
    return total ? uint32_t(uint64_t(1000) * pclk / total) : 0;
}

uint16_t stored_refresh(uint32_t rate) { return uint16_t(rate <= 54 ? rate : 60); }

bool is_4k(uint32_t pclk, bool yuv420) { return pclk > 320000 || (pclk > 160000 && yuv420); }

bool h_values_by4(const VidTiming& t)
{
    return t.htotal % 4 == 0 && t.hactive % 4 == 0 && t.hbp % 4 == 0 && t.hfp % 4 == 0 && t.hsync % 4 == 0;
}

uint8_t vbo_lane_count(uint32_t pclk, bool is4k, const VidTiming& t)
{
    if (is4k || pclk >= 320001)
        return 3;
    if (pclk <= 80000)
        return 0;
    const uint8_t lanes = (pclk > 160000 || t.hactive > 2176) ? 2 : 1;
    // Four lanes split a line in four, whatever the clock: every horizontal value must divide by 4.
    return lanes == 2 && !h_values_by4(t) ? 1 : lanes;
}

uint32_t audio_fs_khz(uint32_t tmds, uint32_t n, uint32_t cts)
{
    return cts ? uint32_t(uint64_t(tmds) * n / (uint64_t(cts) * 128)) : 0;
}

uint8_t audio_fs_code(uint32_t fs, uint8_t prev)
{
    struct Range {
        uint16_t lo, hi;
        uint8_t code;
    };
    static constexpr Range kRanges[] = {
        {26, 38, 0x03},    {39, 45, 0x00},    {46, 58, 0x02},    {59, 78, 0x0B},   {79, 91, 0x08},
        {92, 106, 0x0A},   {107, 166, 0x2B},  {167, 182, 0x0C},  {183, 202, 0x0E}, {225, 320, 0x1B},
        {321, 448, 0x05},  {449, 638, 0x3B},  {639, 894, 0x09},  {895, 1324, 0x35},
    };
    for (const Range& r : kRanges)
        if (fs >= r.lo && fs <= r.hi)
            return r.code;
    return prev;
}

uint32_t rclk_from_factory(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t status, bool* valid)
{
    uint32_t v = (uint32_t(b2) << 16) + (uint32_t(b1) << 8) + b0;
    if ((status & 0xC0) == 0xC0)
        v /= 100;
    const bool ok = v >= 13000 && v <= 27000;
    if (valid)
        *valid = ok;
    return ok ? v : kRclkTypical;
}

OscSettings osc_settings(uint32_t rclk)
{
    const uint32_t osc = 2 * rclk;
    const uint8_t t = uint8_t(uint64_t(2560) * (osc / 4) / 1000000);
    OscSettings s{};
    s.r91 = uint8_t((rclk / 1000) & 0x3F);
    s.r92 = uint8_t((rclk % 1000) * 256 / 1000);
    s.e1 = uint8_t(rclk / 100);
    s.r45 = uint8_t(osc / 312);
    s.r44 = uint8_t(osc / 1560);
    s.r46 = uint8_t(osc / 2320);
    s.r47 = uint8_t(osc / 5312);
    s.d3 = uint8_t(2 * t);
    s.d4 = t;
    s.cec_unit = uint8_t(rclk / 160);
    return s;
}

int eq_best_trial(const uint8_t (*err)[3][2], int trials, int ch)
{
    int best = -1;
    unsigned best_count = 0;
    for (int i = 0; i < trials; ++i) {
        const uint8_t lo = err[i][ch][0], hi = err[i][ch][1];
        if (!(hi & 0x80))
            continue;
        const unsigned count = (hi & 0x7Fu) * 256 + lo;
        if (best < 0 || count < best_count) {
            best = i;
            best_count = count;
        }
    }
    return best;
}

}  // namespace it6805
