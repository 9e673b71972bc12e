// Window geometry, filter choices, input classification and input-processing sequences,
// computed without a chip.
#include <gtest/gtest.h>

#include <vector>

#include "reg_writes.h"
#include "scaler/input_follow.h"
#include "scaler/input_proc.h"
#include "scaler/window_geometry.h"

namespace {

_ScalingSt scale(int iw, int ow, int ih, int oh)
{
    _ScalingSt s{};
    wingeom::calc_scaling({0, iw, 0, ih}, {0, ow, 0, oh}, &s);
    return s;
}

TEST(WindowGeometry, ScalingRatiosAreSixteenDotSixteenBelowOne)
{
    const _ScalingSt shrink = scale(1920, 1280, 1080, 1080);
    EXPECT_EQ(shrink.h_mode, 1);
    EXPECT_EQ(shrink.h_shrink, 43680);
    EXPECT_EQ(shrink.h_zoom, 0);
    EXPECT_EQ(shrink.v_mode, 0);   // equal sizes: no scaling, ratio 0 (not 65536)
    EXPECT_EQ(shrink.v_shrink, 0);
    const _ScalingSt zoom = scale(1280, 1920, 0, 1080);
    EXPECT_EQ(zoom.h_mode, 2);
    EXPECT_EQ(zoom.h_zoom, 43680);
    EXPECT_EQ(zoom.v_mode, 0);     // a size of 0 (no signal) is no scaling
    EXPECT_EQ(scale(50000, 40000, 1, 1).h_shrink, 52429);
    // Sizes past 32768 overflow 32-bit products; the ratio stays below 1.0.
    EXPECT_EQ(scale(65535, 65534, 40000, 65535).h_shrink, 65535);
    EXPECT_LT(scale(40000, 65535, 1, 1).h_zoom, 65536);
    EXPECT_EQ(wingeom::shrink_ratio(1920, 1920), 65536);
    EXPECT_EQ(wingeom::shrink_ratio(1920, 960), ((959LL * 65536) / 1919) + 1);
}

TEST(WindowGeometry, FrameStoreBytesPerWriteMode)
{
    EXPECT_EQ(wingeom::pixel_bytes(1920, 1), 6144);
    EXPECT_EQ(wingeom::pixel_bytes(1920, 2), 5120);
    EXPECT_EQ(wingeom::pixel_bytes(1920, 3), 3840);
    EXPECT_EQ(wingeom::pixel_bytes(1920, 0), 7680);
    EXPECT_EQ(wingeom::pixel_bytes(7, 1), 16 + 6);
    EXPECT_EQ(wingeom::pixel_bytes(7, 2), 24);   // padded to 9 pixels
    const uint32_t f[5] = {0, 1, 2, 3, 4};
    EXPECT_EQ(wingeom::pack_fields(f), 0x043210u);
}

TEST(WindowGeometry, OutputWindowSplitsOverTwoColumns)
{
    _ImageWindowDef2_St o[kMaxOch];
    wingeom::calc_oact({100, 3000, 60, 900}, o, 2, 1, 1920, 1080);
    EXPECT_EQ(o[0].hst, 100);
    EXPECT_EQ(o[0].hw, 1820);
    EXPECT_EQ(o[1].hst, 0);
    EXPECT_EQ(o[1].hw, 1180);
    EXPECT_EQ(o[0].h_first + o[0].h_last, 1);
    EXPECT_EQ(o[1].h_last, 1);
    EXPECT_EQ(o[0].vst, 60);
    EXPECT_EQ(o[0].vw, 900);
    EXPECT_EQ(o[0].v_first & o[0].v_last, 1);
    // A window wholly in the second column leaves the first empty.
    wingeom::calc_oact({2000, 500, 0, 10}, o, 2, 1, 1920, 1080);
    EXPECT_EQ(o[0].hw, 0);
    EXPECT_EQ(o[0].h_first, 0);
    EXPECT_EQ(o[1].hst, 80);
    EXPECT_EQ(o[1].h_first, 1);
}

TEST(FilterTables, ChoiceByRatio)
{
    struct Case {
        int32_t ratio;
        int set, row;
    } cases[] = {{65536, 44, 9}, {32768, 4, 3}, {32769, 6, 4}, {0, 44, 1}, {13107, 1, 1}, {52429, 22, 7}};
    for (const Case& c : cases) {
        EXPECT_EQ(wingeom::hshrink_set(c.ratio), c.set) << c.ratio;
        EXPECT_EQ(wingeom::vshrink_row(c.ratio), c.row) << c.ratio;
    }
}

ST_HDMI_INFO timing(int hact, int htotal, int vtotal, int interlaced, int lanes = 0)
{
    ST_HDMI_INFO h{};
    h.hact = hact;
    h.hsync = 44;
    h.hback = 148;
    h.htotal = htotal;
    h.vact = 1080;
    h.vsync = 5;
    h.vback = 36;
    h.vtotal = vtotal;
    h.interlaced = interlaced;
    h.lanes = lanes;
    return h;
}

TEST(InputClass, FormatStates)
{
    const ST_HDMI_INFO i1080 = timing(1920, 2640, 562, 1);
    EXPECT_EQ(portclass::classify(1, i1080, 50.0, 74.25e6).state, 6u);
    EXPECT_EQ(portclass::classify(1, i1080, 60.0, 74.25e6).state, 5u);
    EXPECT_EQ(portclass::classify(1, i1080, 60.0, 74.25e6).scan, 1u);
    // A V-by-One port follows its receiver's interlace flag as the others do.
    const ST_HDMI_INFO i1080_vbo = timing(1920, 2200, 562, 1, 1);
    EXPECT_EQ(portclass::classify(4, i1080_vbo, 60.0, 74.25e6).state, 5u);
    EXPECT_EQ(portclass::classify(5, i1080_vbo, 50.0, 74.25e6).scan, 1u);
    EXPECT_EQ(portclass::classify(0, timing(720, 858, 262, 1), 60.0, 13.5e6).state, 7u);
    EXPECT_EQ(portclass::classify(0, timing(1920, 2200, 1125, 0), 60.0, 148.5e6).state, 4u);
    ST_HDMI_INFO ddr = timing(1920, 2200, 1125, 0);
    ddr.data_mode = 1;
    EXPECT_EQ(portclass::classify(2, ddr, 60.0, 148.5e6).state, 3u);

    const ST_HDMI_INFO uhd = timing(3840, 4400, 2250, 0, 8);
    const portclass::Class c = portclass::classify(4, uhd, 60.0, 594e6);
    EXPECT_EQ(c.state, 1u);
    uint32_t act[4], iact[4];
    portclass::active_rect(uhd, c.state, act, iact);
    EXPECT_EQ(act[0], (44u + 148u) / 2);
    EXPECT_EQ(act[1], 1920u);
    EXPECT_EQ(iact[1], 3840u);
    EXPECT_EQ(act[3], 1080u);
    // Lanes 0 (or an unknown -1) count as one lane, never as a division by zero.
    EXPECT_EQ(portclass::classify(5, timing(1920, 2200, 1125, 0, 0), 60.0, 148.5e6).state, 4u);
    EXPECT_EQ(portclass::classify(5, timing(1920, 2200, 1125, 0, -1), 60.0, 148.5e6).state, 4u);
}

TEST(InputClass, MeasurementRangeAndChange)
{
    EXPECT_FALSE(portclass::in_range16(0));
    EXPECT_FALSE(portclass::in_range16(0xFFFE));
    EXPECT_TRUE(portclass::in_range16(0xFFFD));
    EXPECT_FALSE(portclass::in_range24(0xFFFFFF));
    EXPECT_TRUE(portclass::in_range24(3333332));
    ST_PORT_INFO a{}, b{};
    a.htt = 2200, a.vtt = 1125, a.vcnt = 1125, a.period = 3333333, a.hw = 1920;
    b = a;
    b.htt += 2, b.vtt -= 2, b.period += 100;
    EXPECT_TRUE(portclass::unchanged(a, b));
    b.htt += 1;
    EXPECT_FALSE(portclass::unchanged(a, b));
    b = a;
    b.hw = 1921;
    EXPECT_FALSE(portclass::unchanged(a, b));
}

TEST(InputProcessing, SequencesFollowStateAndLevels)
{
    ipproc::Port p;
    p.state = 3;
    EXPECT_FALSE(ipproc::ip_on(p));
    const std::vector<RegWrite> off = ipproc::set_nr(p, 2);
    ASSERT_EQ(off.size(), 5u);
    for (const RegWrite& w : off) {
        EXPECT_EQ(w.value, 0u);
        EXPECT_EQ(w.choffs, 0x20u);
    }
    EXPECT_EQ(written(off, 0x150801, 0x20), 0);

    p.state = 4;
    p.bnr = 2;
    p.act[3] = 1080;
    EXPECT_TRUE(ipproc::ip_on(p));
    const std::vector<RegWrite> nr = ipproc::set_nr(p, 0);
    EXPECT_EQ(written(nr, 0x150801), 3);
    EXPECT_EQ(written(nr, 0x155402), 768);
    EXPECT_EQ(written(nr, 0x153902), 8855);
    p.act[3] = 1000;   // no preset for this height: none written, the mode still 3
    EXPECT_EQ(written(ipproc::set_nr(p, 0), 0x155402), -1);
    EXPECT_EQ(written(ipproc::set_nr(p, 0), 0x150801), 3);

    p.mvflt = 5;   // unknown level: enable on, the eight filter registers untouched
    const std::vector<RegWrite> mv = ipproc::set_mvflt(p, 1);
    ASSERT_EQ(mv.size(), 1u);
    EXPECT_EQ(written(mv, 0x141501, 0x10), 31);
    p.mvflt = 4;
    EXPECT_EQ(written(ipproc::set_mvflt(p, 1), 0x142101, 0x10), 31);

    p.state = 5;
    p.scan = 1;
    p.pd22 = 1;
    p.act[1] = 1920, p.act[2] = 20, p.act[3] = 540;
    const std::vector<RegWrite> t = ipproc::ip_timing(p, 0, 2200, 562);
    EXPECT_EQ(written(t, 0x140802), (2200 + 1) / 2 + 32);
    EXPECT_EQ(written(t, 0x141302), 1080);
    EXPECT_EQ(written(t, 0x141102), 40 | 0x8000);
    EXPECT_EQ(written(t, 0x142C01), 0x32 + 1 + 0x40);
    EXPECT_EQ(written(t, 0x143001), 0x11);
    EXPECT_EQ(written(t, 0x150801), 0);   // interlaced: the noise reducer stays off
    EXPECT_EQ(written(t, 0x142A01), 0);
}

}  // namespace
