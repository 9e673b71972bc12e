// The LED panel plan: frame-total table, worked layouts, layout words and chip sequence.
#include <gtest/gtest.h>

#include <set>

#include "scaler/c331_regs.h"
#include "scaler/panel_layout.h"
#include "reg_writes.h"

namespace {

TEST(OchTotalTable, HoldsExactlyThePairsOfItsRule)
{
    const auto& t = panel::och_total_table();
    ASSERT_EQ(t.size(), 5143u);
    EXPECT_EQ(t.front().htt, 660);
    EXPECT_EQ(t.front().vtt, 16358);
    EXPECT_EQ(t[11].vtt, 16369);
    EXPECT_EQ(t[12].htt, 664);
    EXPECT_EQ(t[12].vtt, 16259);
    EXPECT_EQ(t.back().htt, 8280);
    EXPECT_EQ(t.back().vtt, 1304);

    // Every pair obeys the rule, order is strict, and no pair of the rule is missing.
    std::set<std::pair<int, int>> seen;
    for (size_t i = 0; i < t.size(); ++i) {
        const int64_t area = int64_t(t[i].htt) * t[i].vtt;
        EXPECT_EQ(t[i].htt % 4, 0);
        EXPECT_LE(std::llabs(area - 10800000), 4096) << t[i].htt << "x" << t[i].vtt;
        if (i) {
            EXPECT_TRUE(t[i - 1].htt < t[i].htt || (t[i - 1].htt == t[i].htt && t[i - 1].vtt < t[i].vtt));
        }
        seen.insert({t[i].htt, t[i].vtt});
    }
    size_t expected = 0;
    for (int64_t h = 660; h <= 8280; h += 4)
        for (int64_t v = 1; v <= 16400; ++v)
            expected += std::llabs(h * v - 10800000) <= 4096;
    EXPECT_EQ(seen.size(), expected);
}

TEST(OchTotalTable, SearchTakesFirstPairAtOrAboveBoth)
{
    const OchTotal* p = panel::find_och_total(4116, 2060);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->htt, 4116);
    EXPECT_EQ(p->vtt, 2623);
    EXPECT_EQ(panel::find_och_total(8284, 0), nullptr);
    EXPECT_EQ(panel::find_och_total(8280, 1305), nullptr);
}

struct Layout {
    int ledW, ledH, out1w, out1h, splice;
    int arrang, htt, vtt, ochW, ochH, xoffs, yoffs, use1och;
    std::array<uint16_t, 7> words;
};

class PanelPlan : public ::testing::TestWithParam<Layout> {};

TEST_P(PanelPlan, MatchesWorkedLayout)
{
    const Layout& e = GetParam();
    const ST_PANEL p = panel::plan(e.ledW, e.ledH, e.out1w, e.out1h, e.splice);
    EXPECT_EQ(p.arrang, e.arrang);
    EXPECT_EQ(p.htt, e.htt);
    EXPECT_EQ(p.vtt, e.vtt);
    EXPECT_EQ(p.och.width, e.ochW);
    EXPECT_EQ(p.och.height, e.ochH);
    EXPECT_EQ(p.xoffs, e.xoffs);
    EXPECT_EQ(p.yoffs, e.yoffs);
    EXPECT_EQ(p.use1och, e.use1och);
    EXPECT_EQ(panel::layout_words(p), e.words);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, PanelPlan,
    ::testing::Values(
        // Factory screen: one OCH, height from the LED screen, not from the table.
        Layout{4096, 2048, 4096, 2048, 0, 5, 4116, 2623, 4096, 2048, 0, 0, 1, {0, 0, 1, 1, 4096, 2048, 0}},
        // Splice 6 is splice 0.
        Layout{4096, 2048, 4096, 2048, 6, 5, 4116, 2623, 4096, 2048, 0, 0, 1, {0, 0, 1, 1, 4096, 2048, 0}},
        // Vertical splice of two UHD pieces.
        Layout{3840, 4320, 3840, 2160, 2, 8, 3860, 2797, 3840, 2160, 0, 0, 1, {0, 0, 1, 2, 3840, 2160, 0}},
        // Horizontal splice: height from the table totals.
        Layout{7680, 2160, 3840, 2160, 3, 5, 3860, 2797, 3840, 2785, 0, 0, 1, {0, 0, 2, 1, 3840, 2785, 0}},
        // CP21 sets no pieces: first table pair, LED height.
        Layout{1920, 1080, 0, 0, 5, 5, 660, 16358, 640, 1080, 0, 0, 1, {0, 0, 1, 2, 640, 1080, 0}},
        // Too wide for one OCH: falls back to two, the column count doubles.
        Layout{8400, 1000, 8400, 1000, 0, 5, 4220, 2559, 4200, 1000, 0, 0, 0, {0, 0, 2, 1, 4200, 1000, 0}}));

TEST(PanelPlanArea, ExactlyTheLimitIsNot8kOneMorePixelIs)
{
    ST_PANEL p = panel::plan(4096, 2560, 4096, 2560, 0);
    EXPECT_EQ(panel::piece_area(p), 0xA00000);
    EXPECT_EQ(p.arrang, ARRANG2K4_2x1);
    EXPECT_EQ(p.vsw, 3);

    p = panel::plan(4097, 2560, 4097, 2560, 0);
    EXPECT_EQ(p.arrang, ARRANG2K4_4x1_8K);
    EXPECT_EQ(p.use1och, 0);
    EXPECT_EQ(p.vsw, 12);
    EXPECT_EQ(p.hfp, 32);
    EXPECT_EQ(p.vfp, 32);
}

TEST(PanelPlanArea, HugeSizesComputeWithoutOverflow)
{
    // 65535 x 65535 overflows 32 bits in every product of the plan.
    ST_PANEL p = panel::plan(65535, 65535, 65535, 65535, 0);
    EXPECT_EQ(panel::piece_area(p), int64_t(65535) * 65535);
    EXPECT_EQ(p.arrang, ARRANG2K4_4x1_8K);
    EXPECT_GT(p.htt, 0);
    EXPECT_GT(p.vtt, 0);
    EXPECT_LE(int64_t(p.htt) * p.vtt, 10800000 + 4096);
    EXPECT_FALSE(panel::showable(p));
}

// A first output larger than the LED screen is kept inside it, as the pages keep it: the
// second piece is empty rather than a wrapped 16-bit size driving an 8K plan.
TEST(PanelPlanPieces, FirstOutputIsKeptInsideTheScreen)
{
    for (int splice : {SPLICE_HV, SPLICE_V}) {
        const ST_PANEL p = panel::plan(1920, 1080, 1920, 3000, splice);
        EXPECT_EQ(p.out_h[0], 1080);
        EXPECT_EQ(p.out_h[1], 0);
        EXPECT_EQ(p.arrang, ARRANG2K4_1x2);
        EXPECT_EQ(p.och.width, 1920);
        EXPECT_EQ(p.och.height, 1080);
        EXPECT_TRUE(panel::showable(p));
    }
    const ST_PANEL h = panel::plan(3840, 1080, 5000, 1080, SPLICE_H);
    EXPECT_EQ(h.out_w[0], 3840);
    EXPECT_EQ(h.out_w[1], 0);
    EXPECT_EQ(h.arrang, ARRANG2K4_2x1);
    EXPECT_TRUE(panel::showable(h));
}

// A plan is shown only when every channel's active area fits in its totals and the totals
// fit the timing registers.
TEST(PanelPlanShowable, ActiveAreaMustFitTheTotals)
{
    struct Case {
        int ledW, ledH, out1w, out1h, splice;
        bool showable;
    } cases[] = {
        {4096, 2048, 4096, 2048, SPLICE_NONE, true},
        {7680, 2160, 3840, 2160, SPLICE_H, true},
        {7680, 4320, 7680, 2160, SPLICE_V, true},
        {3840, 1080, 1000, 1080, SPLICE_H, true},
        {640, 480, 0, 0, SPLICE_CP21, true},
        // 8K x 4K in one piece: 4320 lines in a total of 2757 (the start line would be -1595).
        {7680, 4320, 7680, 4320, SPLICE_NONE, false},
        {7680, 4320, 7680, 4320, SPLICE_CP12, false},
        {0, 0, 0, 0, SPLICE_NONE, false},          // no screen: no line to show
        {1920, 1080, 1920, 0, SPLICE_V, false},    // an empty first output
        // The second piece taller than the first: the channels take the taller one's height.
        {1920, 1080, 1920, 500, SPLICE_V, true},
        {1920, 2160, 1920, 1000, SPLICE_HV, true},
        // Channels that leave part of the screen out: CP21's two 640-pixel channels.
        {1920, 1080, 0, 0, SPLICE_CP21, false},
    };
    for (const Case& c : cases) {
        const ST_PANEL p = panel::plan(c.ledW, c.ledH, c.out1w, c.out1h, c.splice);
        EXPECT_EQ(panel::showable(p), c.showable) << c.ledW << "x" << c.ledH << " splice " << c.splice;
        if (panel::showable(p)) {
            const PanelSpec s = panel::spec(p);
            EXPECT_LT(s.ACTVST, 0x10000u);
            EXPECT_LT(s.ACTHST, 0x10000u);
        }
    }

    // Every screen the LED size page lets through (sides 64..8188, at most 13,000,000
    // pixels) in splice mode 0 is shown.
    for (int w = 64; w <= 8188; w += 131)
        for (int h = 64; h <= 8188 && int64_t(w) * h <= 13000000; h += 127)
            ASSERT_TRUE(panel::showable(panel::plan(w, h, w, h, SPLICE_NONE))) << w << "x" << h;
}

TEST(PanelSpecWords, FollowThePlan)
{
    const ST_PANEL p = panel::plan(4096, 2048, 4096, 2048, 0);
    const PanelSpec s = panel::spec(p);
    EXPECT_EQ(s.HBP, uint32_t(4116 - 4096 - 12 - 4));
    EXPECT_EQ(s.VBP, uint32_t(2623 - 2048 - 3 - 4));
    EXPECT_EQ(s.OAOIHST, s.HSW + s.HBP);
    EXPECT_EQ(s.OAOIHED, s.HSW + s.HBP + 4096);
    EXPECT_EQ(s.OAOIVED, s.VSW + s.VBP + 2048);
    EXPECT_EQ(s.VBOTX_MODE, 2u);
    EXPECT_EQ(s.PANEL_HW, 8192u);
    EXPECT_EQ(s.PANEL_HSHAPE, 2u);

    const PanelSpec v = panel::spec(panel::plan(3840, 4320, 3840, 2160, 2));
    EXPECT_EQ(v.VBOTX_LAYOUT, 1u);
    EXPECT_EQ(v.PANEL_VW, 2u * 2160);
    EXPECT_EQ(v.PANEL_VSHAPE, 2u);
}

TEST(PanelRegisters, EveryChannelGetsTheTimingAndTheLaneMapFollowsSplice)
{
    const ST_PANEL p = panel::plan(4096, 2048, 4096, 2048, 0);
    const auto w = panel::register_writes(p, panel::spec(p));
    for (int c = 0; c < 8; ++c) {
        EXPECT_EQ(written(w, c331::OCH_HTOTAL, 16 * c), 4114);
        EXPECT_EQ(written(w, c331::OCH_VTOTAL, 16 * c), 2621);
        EXPECT_EQ(written(w, c331::OCH_ACT_HW, 16 * c), 4096);
        EXPECT_EQ(written(w, c331::OCH_ACT_VW, 16 * c), 2049);
    }
    EXPECT_EQ(written(w, c331::OTG_HSW_A), 5);
    EXPECT_EQ(written(w, c331::OTG_VSW_A), 2);
    EXPECT_EQ(written(w, c331::VBOTX_OCH_MAP), 0x03020100);
    EXPECT_EQ(written(w, c331::VBOTX1_MODE), 9);
    EXPECT_EQ(written(w, c331::SYS_OUT_CFG_A2), 137);

    struct { int splice; int ledW; uint32_t one, two; } maps[] = {
        {4, 1920, 0x00000000, 0x01000100}, {2, 1920, 0x00010000, 0x03020100},
        {3, 1920, 0x00010000, 0x03020100}, {1, 1920, 0x00010000, 0x00010000},
    };
    for (const auto& m : maps) {
        ST_PANEL q = panel::plan(m.ledW, 1080, 960, 540, m.splice);
        ASSERT_EQ(q.use1och, 1);
        EXPECT_EQ(written(panel::register_writes(q, panel::spec(q)), c331::VBOTX_OCH_MAP), m.one) << m.splice;
        q.use1och = 0;
        EXPECT_EQ(written(panel::register_writes(q, panel::spec(q)), c331::VBOTX_OCH_MAP), m.two) << m.splice;
    }
}

}  // namespace
