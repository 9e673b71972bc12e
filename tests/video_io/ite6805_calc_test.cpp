// IT6805: what the driver computes from register values (timing, clocks, lanes, audio code,
// oscillator calibration) and the CEC checks, replies and receive ring.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "video_io/ite6805_calc.h"
#include "video_io/ite6805_sys.h"

using namespace it6805;

namespace {

// 1080p60 in both register layouts (0x9B..0xAB).
constexpr uint8_t kNewer1080p[kTimingRegs] = {0x98, 0x08, 0x80, 0x07, 0x2C, 0x58, 0x00, 0x65, 0x04,
                                              0x38, 0x04, 0x05, 0x04, 0x00, 0, 0, 0};
constexpr uint8_t kOlder1080p[kTimingRegs] = {0x98, 0x08, 0x80, 0x07, 0x2C, 0x00, 0x58, 0x00, 0x65,
                                              0x04, 0x38, 0x04, 0x05, 0x00, 0x04, 0, 0x00};

TEST(Ite6805Timing, RegistersDecodeToTheTimingInBothLayouts)
{
    for (bool older : {false, true}) {
        const VidTiming t = decode_timing(older ? kOlder1080p : kNewer1080p, older);
        EXPECT_EQ(t.htotal, 2200);
        EXPECT_EQ(t.hactive, 1920);
        EXPECT_EQ(t.hfp, 88);
        EXPECT_EQ(t.hsync, 44);
        EXPECT_EQ(t.hbp, 148);
        EXPECT_EQ(t.vtotal, 1125);
        EXPECT_EQ(t.vactive, 1080);
        EXPECT_EQ(t.vfp, 4);
        EXPECT_EQ(t.vsync, 5);
        EXPECT_EQ(t.vbp, 36) << "older layout: " << older;
    }
}

TEST(Ite6805Timing, InconsistentRegistersAndZeroSumsGiveZeroNotWrappedValues)
{
    uint8_t r[kTimingRegs] = {};
    r[2] = 0x80;  // HActive 128 with HTotal 0
    r[9] = 0x10;  // VActive 16 with VTotal 0
    const VidTiming t = decode_timing(r, false);
    EXPECT_EQ(t.hbp, 0);
    EXPECT_EQ(t.vbp, 0);
    EXPECT_EQ(pclk_khz(20000, 0), 0u);
    EXPECT_EQ(tmds_khz(20000, 10, 1024, 0), 0u);
    EXPECT_EQ(frame_rate(148500, 0, 1125), 0u);
    EXPECT_EQ(frame_rate(148500, 2200, 0), 0u);
    // Large products stay exact.
    EXPECT_EQ(pclk_khz(20000, 1379), 148513u);
    EXPECT_EQ(tmds_khz(27000, 10, 1024, 10), 27648000u);
}

TEST(Ite6805Timing, LanesAndStoredRefresh)
{
    VidTiming hd;
    hd.htotal = 2200, hd.hactive = 1920, hd.hfp = 88, hd.hsync = 44, hd.hbp = 148;
    VidTiming uhd;
    uhd.htotal = 4400, uhd.hactive = 3840, uhd.hfp = 176, uhd.hsync = 88, uhd.hbp = 296;
    EXPECT_EQ(vbo_lane_count(74250, false, hd), 0);  // 1 lane
    EXPECT_EQ(vbo_lane_count(148500, false, hd), 1);  // 2 lanes
    EXPECT_EQ(vbo_lane_count(297000, is_4k(297000, false), uhd), 2);  // 4 lanes
    VidTiming odd = uhd;
    odd.hfp = 178;
    odd.hbp = 294;
    EXPECT_EQ(vbo_lane_count(297000, false, odd), 1) << "H values not divisible by 4: 2 lanes";
    EXPECT_EQ(vbo_lane_count(594000, is_4k(594000, false), uhd), 3);  // 8 lanes
    EXPECT_EQ(vbo_lane_count(297000, is_4k(297000, true), uhd), 3) << "4:2:0 at 297 MHz";
    // 80 to 160 MHz: four lanes above 2176 pixels, under the same divide-by-4 rule.
    VidTiming wide;
    wide.htotal = 3300, wide.hactive = 2560, wide.hfp = 548, wide.hsync = 44, wide.hbp = 148;
    EXPECT_EQ(vbo_lane_count(99000, false, wide), 2);
    wide.htotal = 3750, wide.hfp = 998;  // 2560 x 1080 at 24 Hz
    EXPECT_EQ(vbo_lane_count(99000, false, wide), 1) << "H values not divisible by 4: 2 lanes";
    EXPECT_EQ(stored_refresh(59), 60);
    EXPECT_EQ(stored_refresh(50), 50);
    EXPECT_EQ(stored_refresh(24), 24);
}

TEST(Ite6805Audio, SamplingFrequencyCodeFromNCtsAndTmds)
{
    EXPECT_EQ(audio_fs_code(audio_fs_khz(148500, 6144, 148500), 0xFF), 0x02);
    // 192 kHz at 297 MHz: the product does not fit in 32 bits.
    EXPECT_EQ(audio_fs_khz(297000, 24576, 297000), 192u);
    EXPECT_EQ(audio_fs_code(audio_fs_khz(297000, 24576, 297000), 0xFF), 0x0E);
    for (uint32_t fs : {203u, 210u, 224u, 25u, 0u})
        EXPECT_EQ(audio_fs_code(fs, 0x2B), 0x2B) << fs << " kHz keeps the previous code";
    EXPECT_EQ(audio_fs_khz(148500, 6144, 0), 0u) << "CTS 0";
    EXPECT_EQ(channel_status_code(0x02), 0x02);
    EXPECT_EQ(channel_status_code(0xC5), 0x35);
}

TEST(Ite6805Oscillator, CalibrationValuesFromTheReferenceClock)
{
    EXPECT_EQ(rclk_from_factory(0x20, 0x4E, 0x00, 0x00), 20000u);
    bool valid = true;
    EXPECT_EQ(rclk_from_factory(0x10, 0x27, 0x00, 0x00, &valid), kRclkTypical);  // 10000 kHz
    EXPECT_FALSE(valid);
    EXPECT_EQ(rclk_from_factory(0x60, 0x36, 0x1E, 0xC0), 19800u) << "status bits 6-7: / 100";
    const OscSettings s = osc_settings(20000);
    EXPECT_EQ(s.r91, 20);
    EXPECT_EQ(s.r92, 0);
    EXPECT_EQ(s.e1, 200);
    EXPECT_EQ(s.r45, 128);
    EXPECT_EQ(s.r44, 25);
    EXPECT_EQ(s.r46, 17);
    EXPECT_EQ(s.r47, 7);
    EXPECT_EQ(s.d3, 50);
    EXPECT_EQ(s.d4, 25);
    EXPECT_EQ(s.cec_unit, 125);
}

TEST(Ite6805Eq, BestTrialIsTheSmallestValidCountEarlierWinsTies)
{
    uint8_t err[4][3][2] = {};
    err[0][0][1] = 0x00;               // trial 1 invalid
    err[1][0][0] = 50, err[1][0][1] = 0x80;
    err[2][0][0] = 20, err[2][0][1] = 0x80;
    err[3][0][0] = 20, err[3][0][1] = 0x80;
    EXPECT_EQ(eq_best_trial(err, 4, 0), 2);
    EXPECT_EQ(eq_best_trial(err, 4, 1), -1);
}

// ---- CEC ------------------------------------------------------------------------------------

CEC_FRAME frame_of(std::vector<uint8_t> bytes)
{
    CEC_FRAME f;
    f.size = uint8_t(bytes.size());
    for (size_t i = 0; i < bytes.size() && i < sizeof f.bytes; ++i)
        f.bytes[i] = bytes[i];
    f.dest = f.bytes[0] & 0x0F;
    f.init = f.bytes[0] >> 4;
    return f;
}

std::string answer(std::vector<uint8_t> in)
{
    const CEC_FRAME f = frame_of(in);
    if (!ite6805_cec_feture::check(f, 0))
        return "-";
    const uint8_t phys[2] = {0, 0};
    uint8_t out[21];
    const int n = ite6805_cec_feture::reply(f, 0, phys, out);
    std::string s;
    char b[4];
    for (int i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, i ? " %02X" : "%02X", out[1 + i]);
        s += b;
    }
    return s.empty() ? "none" : s;
}

TEST(Ite6805Cec, RequestsGetTheFixedIdentityForeignOnesNothing)
{
    EXPECT_EQ(answer({0x40, 0x83}), "0F 84 00 00 00");
    EXPECT_EQ(answer({0x40, 0x9F}), "04 9E 06");
    EXPECT_EQ(answer({0x40, 0xFF}), "04 00 FF 04");
    EXPECT_EQ(answer({0x40, 0x46}), "04 47 68 05");
    EXPECT_EQ(answer({0x40, 0x8F}), "04 90 00");
    EXPECT_EQ(answer({0x4F, 0x85}), "0F 82 00 00");
    EXPECT_EQ(answer({0x04, 0x83}), "-") << "our own address as initiator";
    EXPECT_EQ(answer({0x4F, 0x83}), "-") << "Give Physical Address is directed only";
    EXPECT_EQ(answer({0x45, 0x83}), "-") << "addressed to another device";
    EXPECT_EQ(answer({0x40, 0x36}), "none");
}

TEST(Ite6805Cec, RingNeverFillsCompletelySoItNeverLooksEmpty)
{
    ite6805_cec_sys::Dev d;
    d.rd = d.wr = 60;  // wraps around the end
    for (int m = 0; m < 3; ++m) {
        ASSERT_TRUE(ite6805_cec_sys::fits(d, 16));
        ite6805_cec_sys::put(d, 16);
        ite6805_cec_sys::put(d, 0x40);
        ite6805_cec_sys::put(d, 0x83);
        for (int i = 0; i < 13; ++i)
            ite6805_cec_sys::put(d, uint8_t(i));
    }
    EXPECT_FALSE(ite6805_cec_sys::fits(d, 16)) << "a fourth message would make 64 bytes";
    EXPECT_TRUE(ite6805_cec_sys::fits(d, 15));
    int taken = 0;
    while (ite6805_cec_sys::take(d)) {
        ++taken;
        EXPECT_EQ(d.rx.size, 15);
        EXPECT_EQ(d.rx.bytes[1], 0x83);
        EXPECT_EQ(d.rx.bytes[14], 12);
    }
    EXPECT_EQ(taken, 3);
}

}  // namespace
