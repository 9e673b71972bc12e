// Window-to-channel allocation on the OCH grid, spare channels, layers.
#include <gtest/gtest.h>

#include <vector>

#include "scaler/channel_alloc.h"

namespace {

ST_PANEL grid(int arrang, int och_w, int och_h, int use1och)
{
    ST_PANEL p{};
    p.arrang = arrang;
    p.och = {och_w, och_h};
    p.use1och = static_cast<uint8_t>(use1och);
    switch (arrang) {
    case ARRANG2K4_2x1: p.och_HCnt = 2; p.och_VCnt = 1; break;
    case ARRANG2K4_4x1_8K: p.och_HCnt = 4; p.och_VCnt = 1; break;
    case ARRANG2K4_2x2_8K: p.och_HCnt = 2; p.och_VCnt = 2; break;
    default: p.och_HCnt = 1; p.och_VCnt = 2; break;
    }
    return p;
}

ST_WIN_INFO window(int x, int y, int w, int h)
{
    ST_WIN_INFO wi{};
    wi.x = uint16_t(x); wi.y = uint16_t(y); wi.w = uint16_t(w); wi.h = uint16_t(h);
    return wi;
}

std::vector<int> channels(const ST_WIN_INFO& wi)
{
    return std::vector<int>(wi.ochLst, wi.ochLst + challoc::used_channels(wi));
}

// Allocates windows on a grid as the manager does; returns the records.
std::vector<ST_WIN_INFO> allocate(const ST_PANEL& p, std::vector<ST_WIN_INFO> wins)
{
    ST_WIN_INFO all[kMaxWindows]{};
    for (size_t i = 0; i < wins.size(); ++i)
        all[i] = wins[i];
    challoc::reset_lists(all, kMaxWindows);
    ST_RECT r[kMaxOch];
    const int n = challoc::och_rects(p, r);
    for (size_t i = 0; i < wins.size(); ++i)
        if (!challoc::alloc_window(all[i], p, r, n, int(i)))
            break;
    return std::vector<ST_WIN_INFO>(all, all + wins.size());
}

TEST(OchRects, DecodeInRasterOrder)
{
    ST_RECT r[kMaxOch];
    ASSERT_EQ(challoc::och_rects(grid(ARRANG2K4_2x2_8K, 100, 50, 0), r), 4);
    EXPECT_EQ(r[1].x, 100); EXPECT_EQ(r[1].y, 0);
    EXPECT_EQ(r[2].x, 0);   EXPECT_EQ(r[2].y, 50);
    EXPECT_EQ(r[3].w, 100); EXPECT_EQ(r[3].h, 50);
    ASSERT_EQ(challoc::och_rects(grid(ARRANG2K4_4x1_8K, 100, 50, 0), r), 4);
    EXPECT_EQ(r[3].x, 300);
    EXPECT_EQ(challoc::och_rects(grid(0, 100, 50, 0), r), 0);
}

TEST(ChannelAlloc, WindowsTakeTheChannelsTheyCover)
{
    // One OCH per piece: a full-screen window is one channel.
    auto w = allocate(grid(ARRANG2K4_2x1, 4096, 2048, 1), {window(0, 0, 4096, 2048)});
    EXPECT_EQ(w[0].totalh, 1);
    EXPECT_EQ(w[0].totalv, 1);
    EXPECT_EQ(channels(w[0]), (std::vector<int>{0}));

    // 4 x 1: a window over channels 1 and 2.
    w = allocate(grid(ARRANG2K4_4x1_8K, 1000, 1000, 0), {window(1200, 0, 1500, 1000)});
    EXPECT_EQ(w[0].totalh, 2);
    EXPECT_EQ(w[0].totalv, 1);
    EXPECT_EQ(channels(w[0]), (std::vector<int>{1, 2}));

    // 2 x 2 whole grid.
    w = allocate(grid(ARRANG2K4_2x2_8K, 1000, 1000, 0), {window(0, 0, 2000, 2000)});
    EXPECT_EQ(channels(w[0]), (std::vector<int>{0, 1, 2, 3}));
}

TEST(ChannelAlloc, MissingCornersAndShortListsNeverYieldUnusedEntries)
{
    // Top-left corner outside every channel: no channel at all.
    auto w = allocate(grid(ARRANG2K4_2x1, 1000, 1000, 0), {window(2500, 0, 10, 10)});
    EXPECT_EQ(w[0].totalh * w[0].totalv, 0);
    EXPECT_TRUE(channels(w[0]).empty());

    // Right column of a 2 x 2 grid: one column, two rows, the unused tail never counted.
    w = allocate(grid(ARRANG2K4_2x2_8K, 1000, 1000, 0), {window(1200, 0, 500, 1800)});
    EXPECT_EQ(w[0].totalh, 1);
    EXPECT_EQ(w[0].totalv, 2);
    EXPECT_EQ(channels(w[0]), (std::vector<int>{1, 3}));
    EXPECT_EQ(w[0].ochLst[2], kOchUnused);
    EXPECT_EQ(challoc::used_channels(w[0]), 2);
}

// A window takes the columns and rows its corners' channels span, in area order (row by
// row); where one channel is as wide as the screen, it takes that one.
TEST(ChannelAlloc, ShapeCountsColumnsAndRowsOfTheGrid)
{
    const ST_PANEL g = grid(ARRANG2K4_2x2_8K, 3840, 2160, 0);
    auto w = allocate(g, {window(100, 2200, 7000, 2000), window(4000, 100, 3000, 2000), window(5120, 0, 2560, 4320)});
    EXPECT_EQ(channels(w[0]), (std::vector<int>{2, 3}));
    EXPECT_EQ(w[0].totalv, 1);
    EXPECT_EQ(channels(w[1]), (std::vector<int>{1}));
    EXPECT_EQ(channels(w[2]), (std::vector<int>{1, 3}));
    EXPECT_EQ(w[2].totalh, 1);

    w = allocate(grid(ARRANG2K4_4x1_8K, 1000, 1000, 0), {window(2100, 0, 1900, 1000)});
    EXPECT_EQ(channels(w[0]), (std::vector<int>{2, 3}));

    for (int splice : {SPLICE_NONE, SPLICE_CP12, SPLICE_CP21}) {
        ST_PANEL one = grid(ARRANG2K4_2x1, 4096, 2048, 1);
        one.splice = splice;
        w = allocate(one, {window(0, 0, 4096, 2048)});
        EXPECT_EQ(channels(w[0]), (std::vector<int>{0})) << splice;
    }
}

TEST(ChannelOverlay, SharedChannelGoesToTheFirstWindowTheSecondGetsASpare)
{
    auto w = allocate(grid(ARRANG2K4_2x1, 4096, 2048, 1), {window(0, 0, 1000, 1000), window(500, 500, 1000, 1000)});
    uint32_t ov[8];
    challoc::overlay(w.data(), 2, ov);
    EXPECT_EQ(channels(w[0]), (std::vector<int>{0}));
    EXPECT_EQ(channels(w[1]), (std::vector<int>{1}));
    EXPECT_EQ(ov[0], 1u);
    EXPECT_EQ(ov[1], 1u);   // composed onto position 0
    for (int k = 2; k < 8; ++k)
        EXPECT_EQ(ov[k], uint32_t(k + 1));
    // The unused tails of both lists were left alone.
    EXPECT_EQ(w[1].ochLst[1], kOchUnused);
}

TEST(ChannelOverlay, NoIdleChannelKeepsTheSharedOne)
{
    ST_WIN_INFO w[2]{};
    challoc::reset_lists(w, 2);
    for (int i = 0; i < 8; ++i)
        w[0].ochLst[i] = w[0].ochPosLst[i] = uint8_t(i);
    w[1].ochLst[0] = w[1].ochPosLst[0] = 3;
    uint32_t ov[8];
    challoc::overlay(w, 2, ov);
    EXPECT_EQ(w[1].ochLst[0], 3);
}

TEST(WindowLayers, DuplicatesTakeTheLowestFreeLayer)
{
    ST_WIN_INFO w[3]{};
    w[0].priority = 2; w[1].priority = 2; w[2].priority = 0;
    challoc::dedupe_layers(w, 3);
    EXPECT_EQ(w[0].priority, 2);
    EXPECT_EQ(w[1].priority, 0);
    EXPECT_EQ(w[2].priority, 1);
}

TEST(WindowFields, DotByDotCodesMarginsAndPorts)
{
    EXPECT_EQ(challoc::dbd_code(0), 1u);
    EXPECT_EQ(challoc::dbd_code(7), 41u);
    EXPECT_EQ(challoc::dbd_code(9), 51u);
    EXPECT_EQ(challoc::dbd_code(10), 1u);

    ST_WIN_INFO wi = window(1100, 300, 1500, 400);
    wi.totalh = 2; wi.totalv = 1;
    EXPECT_EQ(challoc::win_offset(wi, 1000, 1000, 0), 100);
    EXPECT_EQ(challoc::win_offset(wi, 1000, 1000, 1), 2000 - 1600);
    EXPECT_EQ(challoc::win_offset(wi, 1000, 1000, 2), 300);
    EXPECT_EQ(challoc::win_offset(wi, 1000, 1000, 3), 1000 - 700);
    EXPECT_EQ(challoc::win_offset(wi, 1000, 1000, 4), 0);

    const int ports[6] = {3, 2, 1, 0, 5, 4};
    for (int s = 0; s < 6; ++s) {
        EXPECT_EQ(challoc::input_to_port(s), ports[s]);
        EXPECT_EQ(challoc::input_to_port(challoc::input_to_port(s)), s);
    }
    EXPECT_EQ(challoc::input_to_port(6), 255);
    EXPECT_EQ(challoc::input_to_port(-1), 255);
}

}  // namespace
