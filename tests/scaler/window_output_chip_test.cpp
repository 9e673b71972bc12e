// The output side of the window pipeline on the simulated chip, as the LED wall shows it:
// zoom, frame-store read starts, mirrors over columns and rows, the V-by-One width cap,
// crops through the input shrink, dot-by-dot windows, black windows and an interlaced input.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

#include "core/ram_map.h"
#include "scaler/c331_regs.h"
#include "scaler/pipeline_regs.h"
#include "scaler_fixture.h"

namespace {

struct Timing {
    int hact, htotal, vact, vtotal;
    float pclk_mhz;
    int interlaced = 0;
};

HDMI_INFO row(const Timing& t)
{
    HDMI_INFO r{};
    r.Hact = t.hact, r.Htotal = t.htotal, r.Hsync = 44, r.Hback = 148, r.Hpol = 1;
    r.Vact = t.vact, r.Vtotal = t.vtotal, r.Vsync = 5, r.Vback = 15, r.Vpol = 1;
    r.PCLK = t.pclk_mhz;
    r.interlaced = t.interlaced;
    r.lanes = 4;
    r.stable = 1;
    return r;
}

class WindowOutput : public ScalerFixture {
protected:
    void SetUp() override
    {
        ScalerFixture::SetUp();
        bring_up_with_every_input_at_1080p60();
    }
    // Window 0's first output channel, -1 when it has none.
    int window0_och()
    {
        int och[8];
        mgr_->get_och(0, och);
        return och[0];
    }
    // The background enable of window 0's first output channel (-1: no channel).
    int window0_background() { return window0_och() < 0 ? -1 : int(chip(c331::OCH_BKG_EN, window0_och())); }
    // Passes enough for the input following to take up a change of the inputs.
    void follow_inputs()
    {
        for (int i = 0; i < 5; ++i)
            mgr_->c331managerdeal(mgr_);
    }
    // Window 0, 1000x500, shows crop row 0: 1600x900 at 160,90 of source 4.
    void show_crop_of_1080p_in_a_small_window()
    {
        edit_and_pass([&](uint8_t*) {
            set_word(ram_crop_addr(0, CROP_KEY), CROP_KEY_USED | 4);
            set_word(ram_crop_addr(0, CROP_X), 160);
            set_word(ram_crop_addr(0, CROP_Y), 90);
            set_word(ram_crop_addr(0, CROP_WIDTH), 1600);
            set_word(ram_crop_addr(0, CROP_HEIGHT), 900);
            window(0, 0, 1000, 500);
        });
        edit_and_pass([&](uint8_t*) { set_word(ram_window_addr(0, WIN_SOURCE), WIN_SOURCE_CROP | 0); });
    }
    // Window 0 shows source s.
    void show(int s)
    {
        edit_and_pass([&](uint8_t*) { set_word(ram_window_addr(0, WIN_SOURCE), uint16_t(s)); });
    }
    // An LED screen (splice mode, first output piece) with window 0 filling it.
    void led(int w, int h, int splice = 0, int out_w = 0, int out_h = 0)
    {
        edit_and_pass([&](uint8_t*) {
            set_word(ram_splice_mode, uint16_t(splice));
            set_word(ram_led_width, uint16_t(w));
            set_word(ram_led_height, uint16_t(h));
            set_word(ram_output_rect + 4, uint16_t(out_w ? out_w : w));
            set_word(ram_output_rect + 6, uint16_t(out_h ? out_h : h));
            window(0, 0, w, h);
        });
    }
    void window(int x, int y, int w, int h)
    {
        set_word(ram_window_addr(0, WIN_X), uint16_t(x));
        set_word(ram_window_addr(0, WIN_Y), uint16_t(y));
        set_word(ram_window_addr(0, WIN_WIDTH), uint16_t(w));
        set_word(ram_window_addr(0, WIN_HEIGHT), uint16_t(h));
    }
    void rotate(int attr)
    {
        edit_and_pass([&](uint8_t*) { set_word(ram_window_addr(0, WIN_ROTATE), uint16_t(attr)); });
    }
    // Window 0 in dot-by-dot mode index (-1: off).
    void dot_by_dot(int index)
    {
        edit_and_pass([&](uint8_t*) {
            set_word(ram_window_addr(0, WIN_P2P_MODE), uint16_t(index < 0 ? 0 : index));
            set_word(ram_window_addr(0, WIN_OUTPUT), index < 0 ? 0 : WIN_OUT_P2P);
        });
    }
    // How window 0's output channels read the frame store, in area order (row by row).
    std::vector<sim::OchRead> reads() const
    {
        int och[8];
        mgr_->get_och(0, och);
        std::vector<sim::OchRead> r;
        for (int a = 0; a < 8 && och[a] >= 0; ++a)
            r.push_back(model_->och_read(och[a]));
        return r;
    }
    void interlaced_input_end_to_end(int source);
    // One LED column a channel of window 0 draws: the wall column and the stored picture
    // column shown there.
    struct Drawn {
        int64_t led, x;
    };
    // What row j of window 0's channel grid draws on the wall: each channel's active area,
    // placed on its grid column and cut to the channel's output area and the LED screen, with
    // the column of its frame-store read each pixel shows (a mirrored read right to left).
    std::vector<Drawn> drawn(int j) const
    {
        int och[8];
        mgr_->get_och(0, och);
        const int cols = int(mgr_->PM_WIN_SHAPE[0][0]);
        const int64_t cw = mgr_->pnl.och.width;
        const int64_t grid0 = mgr_->gMwin_rects[0].x / cw;
        std::vector<Drawn> d;
        for (int i = 0; i < cols && j * cols + i < 8; ++i) {
            const int k = och[j * cols + i];
            if (k < 0)
                continue;
            const sim::OchRead r = model_->och_read(k);
            const int64_t first = int64_t(chip(c331::OCH_ACT_HST, k)) - int64_t(chip(c331::OCH_OAOI1_HST, k));
            for (int64_t t = 0; t < int64_t(r.hw); ++t) {
                const int64_t led = (grid0 + i) * cw + first + t - mgr_->pnl.xoffs;
                if (first + t < 0 || first + t >= cw || led < 0 || led >= mgr_->pnl.w)
                    continue;
                d.push_back(Drawn{led, r.hdir > 0 ? r.x + t : r.x + int64_t(r.hw) - 1 - t});
            }
        }
        return d;
    }
    std::vector<int> ichs() const
    {
        std::vector<int> c;
        for (int i = 0; i < 8 && mgr_->win_ich[0][i] >= 0; ++i)
            c.push_back(mgr_->win_ich[0][i]);
        return c;
    }
};

// Dot-by-dot index 1 joins ports 0 and 1 side by side: within the pass that sets it, both
// channels capture their port and the wall shows both pictures, whatever the window showed.
TEST_F(WindowOutput, JoinedWindowCapturesItsPortsInTheSettingPass)
{
    for (const int first_source : {4, 3}) {
        SCOPED_TRACE(first_source);
        show(first_source);
        model_->clear_writes();
        dot_by_dot(1);
        const std::vector<int> c = ichs();
        ASSERT_GE(c.size(), 2u);
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(chip(c331::ICH_ACT_HW, c[i]), 1920u);
            EXPECT_EQ(chip(c331::ICH_ACT_VW, c[i]), 1080u);
            // Never programmed from a port not yet measured (capture width 0), not even for
            // the rest of the pass.
            for (const uint8_t high : writes_to(uint8_t(0x10 + 0x10 * c[i]), 0x1A))
                EXPECT_EQ(high, 1920 >> 8) << "channel " << c[i];
        }
        EXPECT_EQ(chip(c331::OCH_ACT_HW), 3840u);
        EXPECT_EQ(chip(c331::OCH_ACT_VW), 1080u);
        dot_by_dot(-1);
    }
}

// A window on source 4 (port 5) joins ports 0 and 1; port 1 (source 2) then changes to 720p:
// the next pass captures its new picture and the wall narrows to 1920 + 1280.
TEST_F(WindowOutput, JoinedWindowFollowsALaterChangeOfAJoinedPort)
{
    show(4);
    dot_by_dot(1);
    board(R"({"inputs": [{}, {}, {"format": "720p60"}]})");
    publish(2, row({1280, 1650, 720, 750, 74.25f}));
    mgr_->c331managerdeal(mgr_);
    const std::vector<int> c = ichs();
    ASSERT_GE(c.size(), 2u);
    EXPECT_EQ(chip(c331::ICH_ACT_HW, c[1]), 1280u);
    EXPECT_EQ(chip(c331::ICH_ACT_VW, c[1]), 720u);
    EXPECT_EQ(chip(c331::OCH_ACT_HW), 1920u + 1280u);
}

// The V-by-One join (indexes 8 side by side, 9 stacked) of port 4 (source 5, 1080p) and port
// 5 (source 4, 720p): each channel captures the port its selector names.
TEST_F(WindowOutput, VByOneJoinCapturesThePortEachChannelSelects)
{
    board(R"({"inputs": [{}, {}, {}, {}, {"format": "720p60"}]})");
    publish(4, row({1280, 1650, 720, 750, 74.25f}));
    mgr_->c331managerdeal(mgr_);
    struct Case {
        int index;
        uint32_t wall_w, wall_h;
    } cases[] = {{8, 1920 + 1280, 1080}, {9, 1920, 1080 + 720}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.index);
        dot_by_dot(k.index);
        const std::vector<int> c = ichs();
        ASSERT_EQ(c.size(), 4u);
        uint32_t width[6] = {};
        for (int ch : c) {
            const uint32_t sel = chip(c331::ICHSEL_BASE + (uint32_t(ch) << 8));
            const int port = sel >= 12 ? 5 : 4;
            EXPECT_EQ(chip(c331::ICH_ACT_VW, ch), port == 4 ? 1080u : 720u) << "channel " << ch;
            width[port] += chip(c331::ICH_ACT_HW, ch);
        }
        EXPECT_EQ(width[4], 1920u);
        EXPECT_EQ(width[5], 1280u);
        EXPECT_EQ(chip(c331::OCH_ACT_HW), k.wall_w);
        EXPECT_EQ(chip(c331::OCH_ACT_VW), k.wall_h);
        dot_by_dot(-1);
    }
}

// What an input channel holds once no scaled window uses it, as a start leaves it: its
// vertical shrink rows clear, the horizontal set of the bring-up, the input processing's
// memory 0, and, when no window owns it, nothing captured, not joined to its partner, and the
// port select, write mode and hold of the bring-up (bit 0 of the hold is output channel c's
// enable).
constexpr uint32_t kHoldAtStart = 0x10;
constexpr uint32_t kHshrinkSetAtStart = 0x2E;
constexpr uint32_t kIpMemory = 0x170804;   // eight 4-byte addresses
constexpr uint32_t kJoinStartAtStart = 192, kJoinWidthAtStart = 3840;   // V-by-One pairs

// A scaled window turned to dot-by-dot keeps its channels but no longer shrinks or joins them:
// they keep nothing of the scaled set-up. A window moved from a V-by-One source on two
// channels (four lanes) to an HDMI source on one: the channel it leaves is as at start-up.
TEST_F(WindowOutput, ChannelsLeftByAScaledWindowReadAsAtStartUp)
{
    auto shrink_rows_zero = [&](int c) {
        for (uint32_t i = 0; i < 24; ++i)
            if (chip(c331::VSHRINK_LUT + (i << 8), c) != 0)
                return false;
        return true;
    };
    auto ip_memory_zero = [&](int c) {
        for (uint32_t i = 0; i < 8; ++i)
            if (chip(kIpMemory + (4 * i << 8), c) != 0)
                return false;
        return true;
    };
    edit_and_pass([&](uint8_t*) { window(0, 0, 960, 540); });

    // Dot-by-dot.
    show(2);
    std::vector<int> c = ichs();
    ASSERT_EQ(c.size(), 1u);
    ASSERT_FALSE(shrink_rows_zero(c[0])) << "scaled first";
    ASSERT_FALSE(ip_memory_zero(c[0]));
    dot_by_dot(0);
    ASSERT_EQ(ichs(), c);
    EXPECT_TRUE(shrink_rows_zero(c[0]));
    EXPECT_TRUE(ip_memory_zero(c[0]));
    EXPECT_EQ(chip(c331::HSHRINK_SET), kHshrinkSetAtStart);
    dot_by_dot(-1);

    // From two channels to one.
    HDMI_INFO four_lanes = row_1080p60();
    four_lanes.lanes = 4;
    publish(4, four_lanes);
    show(4);
    const std::vector<int> pair = ichs();
    ASSERT_EQ(pair.size(), 2u);
    for (int ch : pair) {
        ASSERT_FALSE(shrink_rows_zero(ch)) << "channel " << ch << " scaled first";
    }
    show(2);
    c = ichs();
    ASSERT_EQ(c.size(), 1u);
    for (int ch : pair) {
        if (ch == c[0])
            continue;
        SCOPED_TRACE("channel " + std::to_string(ch));
        EXPECT_LT(mgr_->ich_owner[ch], 0);
        for (uint32_t id : {c331::ICH_SYNC_CTRL, c331::ICH_ACT_HST, c331::ICH_ACT_HW, c331::ICH_ACT_VST, c331::ICH_ACT_VW})
            EXPECT_EQ(chip(id, ch), 0u) << std::hex << id;
        EXPECT_EQ(chip(c331::ICHSEL_BASE + (uint32_t(ch) << 8)), 2u * ch) << "the port select of the bring-up";
        EXPECT_EQ(chip(c331::ISCWCT_BASE + (uint32_t(ch) << 8)), 0u);
        EXPECT_TRUE(shrink_rows_zero(ch));
        const uint32_t och_enable = mgr_->PM_WIN_NUM[ch] < 6 ? 1 : 0;
        EXPECT_EQ(chip(c331::CH_HOLD_BASE + (uint32_t(ch) << 8)), kHoldAtStart | och_enable);
    }
    const uint32_t join = uint32_t(9 * (pair[0] / 2)) << 8;
    auto joined_as_at_start = [&] {
        return chip(c331::IDUAL_CTRL + join) == 0 && chip(c331::IDUAL_HST + join) == kJoinStartAtStart &&
               chip(c331::IDUAL_HW + join) == kJoinWidthAtStart;
    };
    EXPECT_TRUE(joined_as_at_start()) << "the pair left";

    // A joined pair turned to dot-by-dot keeps its channels, no longer joined.
    show(4);
    ASSERT_EQ(ichs(), pair);
    ASSERT_EQ(chip(c331::IDUAL_CTRL + join), 3u) << "joined first";
    dot_by_dot(0);
    ASSERT_EQ(ichs(), pair);
    EXPECT_TRUE(joined_as_at_start()) << "dot-by-dot";
    dot_by_dot(-1);
}

// A 1080p picture zoomed over one channel, two columns and two rows. The horizontal mirror
// swaps the columns' parts and shows each right to left; the vertical mirror reads from the
// picture's bottom line upwards and swaps the rows: the wall shows one mirrored picture.
TEST_F(WindowOutput, MirrorsShowOneMirroredPicture)
{
    struct Layout {
        int w, h, splice, out_w, out_h;
        size_t cols, rows;
    } layouts[] = {{4096, 2048, 0, 0, 0, 1, 1}, {7680, 2160, 0, 0, 0, 2, 1}, {3840, 4320, 2, 3840, 2160, 1, 2}};
    for (const Layout& l : layouts) {
        SCOPED_TRACE(std::to_string(l.w) + "x" + std::to_string(l.h));
        led(l.w, l.h, l.splice, l.out_w, l.out_h);
        const std::vector<sim::OchRead> plain = reads();
        ASSERT_EQ(plain.size(), l.cols * l.rows);
        for (size_t a = 0; a < plain.size(); ++a) {
            EXPECT_EQ(plain[a].hdir, 1);
            EXPECT_EQ(plain[a].vdir, 1);
            EXPECT_NE(plain[a].hzoom, 0u);
            EXPECT_NE(plain[a].vzoom, 0u);
        }
        EXPECT_EQ(plain[0].x, 0);
        EXPECT_EQ(plain[0].line, 0);

        rotate(1);
        const std::vector<sim::OchRead> h = reads();
        for (size_t j = 0; j < l.rows; ++j) {
            for (size_t i = 0; i < l.cols; ++i) {
                const sim::OchRead& m = h[j * l.cols + i];
                EXPECT_EQ(m.hdir, -1);
                EXPECT_EQ(m.x, plain[j * l.cols + (l.cols - 1 - i)].x) << "column " << i;
                EXPECT_EQ(m.line, plain[j * l.cols + i].line);
            }
        }

        rotate(2);
        const std::vector<sim::OchRead> v = reads();
        for (size_t j = 0; j < l.rows; ++j) {
            for (size_t i = 0; i < l.cols; ++i) {
                const sim::OchRead& m = v[j * l.cols + i];
                EXPECT_EQ(m.vdir, -1);
                EXPECT_EQ(m.hdir, 1);
                EXPECT_EQ(m.x, plain[j * l.cols + i].x);
                // Row j starts at the bottom of the picture part it mirrors (a zoomed part
                // reads a few lines beyond its seam).
                EXPECT_NEAR(double(m.line), 1080.0 * double(l.rows - j) / double(l.rows) - 1, 4.0) << "row " << j;
            }
        }
        EXPECT_EQ(v[0].line, 1079);
        rotate(0);
    }
}

// A crop of a 1080p source shrunk into a small window: the input side shrinks the captured
// picture, the output side starts reading at the crop's corner in the shrunk picture.
TEST_F(WindowOutput, CropThroughTheInputShrink)
{
    show_crop_of_1080p_in_a_small_window();
    const std::vector<int> c = ichs();
    ASSERT_FALSE(c.empty());
    EXPECT_EQ(chip(c331::ICH_ACT_HW, c[0]), 1920u);   // the whole picture is captured
    EXPECT_NEAR(double(chip(c331::SHR_HRATIO, c[0])), 65536.0 * 1000 / 1600, 64);
    EXPECT_NEAR(double(chip(c331::SHR_VRATIO, c[0])), 65536.0 * 500 / 900, 64);
    const std::vector<sim::OchRead> r = reads();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].ich, c[0]);
    EXPECT_EQ(r[0].x, 100);   // 160 of 1600 in 1000
    EXPECT_EQ(r[0].line, 50);  // 90 of 900 in 500
    EXPECT_EQ(r[0].hw, 1000u);
    EXPECT_EQ(r[0].vw, 500u);
    EXPECT_EQ(r[0].hzoom, 0u);
}

// A crop that does not fit the input's active size, or names no area (width or height 0), shows
// the whole input, whether the row is written while shown or the input's timing changes under
// it; the stored row is kept, so the crop shows again when the input is back to a size it fits.
TEST_F(WindowOutput, CropBeyondTheInputShowsTheWholeInput)
{
    led(1920, 1080);
    auto crop = [&](int x, int y, int w, int h) {
        edit_and_pass([&](uint8_t*) {
            set_word(ram_crop_addr(1, CROP_KEY), CROP_KEY_USED | 3);
            set_word(ram_crop_addr(1, CROP_X), uint16_t(x));
            set_word(ram_crop_addr(1, CROP_Y), uint16_t(y));
            set_word(ram_crop_addr(1, CROP_WIDTH), uint16_t(w));
            set_word(ram_crop_addr(1, CROP_HEIGHT), uint16_t(h));
            set_word(ram_window_addr(0, WIN_SOURCE), WIN_SOURCE_CROP | 1);
        });
    };
    auto expect_read = [&](int64_t x, int64_t line, int iw, int ih) {
        const std::vector<sim::OchRead> r = reads();
        ASSERT_EQ(r.size(), 1u);
        EXPECT_EQ(r[0].x, x);
        EXPECT_EQ(r[0].line, line);
        EXPECT_NEAR(double(r[0].hzoom), iw == 1920 ? 0.0 : 65536.0 * iw / 1920, 64);
        EXPECT_NEAR(double(r[0].vzoom), ih == 1080 ? 0.0 : 65536.0 * ih / 1080, 64);
    };
    for (const ST_RECT& c : {ST_RECT{1900, 0, 100, 1080}, ST_RECT{0, 1000, 1920, 200}, ST_RECT{100, 100, 0, 50},
                             ST_RECT{100, 100, 50, 0}}) {
        SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y) + " " + std::to_string(c.w) + "x" +
                     std::to_string(c.h));
        crop(c.x, c.y, c.w, c.h);
        expect_read(0, 0, 1920, 1080);
    }
    crop(0, 600, 1280, 400);
    expect_read(0, 600, 1280, 400);
    board(R"({"inputs": [{}, {}, {}, {"format": "720p60"}]})");
    publish(3, row({1280, 1650, 720, 750, 74.25f}));
    follow_inputs();
    {
        SCOPED_TRACE("source at 720p");
        expect_read(0, 0, 1280, 720);
        EXPECT_EQ(ram_rd16(img(), ram_crop_addr(1, CROP_Y)), 600);
        EXPECT_EQ(ram_rd16(img(), ram_crop_addr(1, CROP_HEIGHT)), 400);
    }
    board(R"({"inputs": [{}, {}, {}, {"format": "1080p60"}]})");
    publish(3, row_1080p60());
    follow_inputs();
    SCOPED_TRACE("source back at 1080p");
    expect_read(0, 600, 1280, 400);
}

// An edit of the crop row a window shows (the crop editor rewrites the row, the window record
// stays as it was) reaches the window in the same pass: its rectangle and its source.
TEST_F(WindowOutput, CropRowEditReachesTheWindowShowingIt)
{
    show_crop_of_1080p_in_a_small_window();
    edit_and_pass([&](uint8_t*) {
        set_word(ram_crop_addr(0, CROP_X), 320);
        set_word(ram_crop_addr(0, CROP_Y), 180);
        set_word(ram_crop_addr(0, CROP_WIDTH), 1280);
        set_word(ram_crop_addr(0, CROP_HEIGHT), 720);
    });
    std::vector<int> c = ichs();
    ASSERT_FALSE(c.empty());
    EXPECT_NEAR(double(chip(c331::SHR_HRATIO, c[0])), 65536.0 * 1000 / 1280, 64);
    EXPECT_NEAR(double(chip(c331::SHR_VRATIO, c[0])), 65536.0 * 500 / 720, 64);
    std::vector<sim::OchRead> r = reads();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].x, 250);    // 320 of 1280 in 1000
    EXPECT_EQ(r[0].line, 125); // 180 of 720 in 500

    edit_and_pass([&](uint8_t*) { set_word(ram_crop_addr(0, CROP_KEY), CROP_KEY_USED | 2); });
    EXPECT_EQ(mgr_->PM_INPUT[0], uint32_t(mgr_->tlxApi_inputCvtC331(2)));
    r = reads();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].x, 250);   // the same rectangle of the other source
    EXPECT_EQ(r[0].line, 125);
}

// A source word (or a crop row's key) is read by a change as a re-layout, and so a start on the
// same image, reads it: the low three bits of its low byte; one naming no input (above 5) puts
// the list back to the one dark window a start shows, and a valid word afterwards lists the
// windows again.
TEST_F(WindowOutput, SourceWordChangeShowsWhatAStartShows)
{
    g_force_bkcolor = 2;   // the outputs have started: no forced background
    struct Case {
        uint16_t word, key;
        int source;   // -1: no input, the window dark
    } cases[] = {{8, 0, 0}, {0x0102, 0, 2}, {6, 0, -1}, {3, 0, 3},
                 {WIN_SOURCE_CROP | 1, CROP_KEY_USED | 0x0A, 2}, {WIN_SOURCE_CROP | 1, CROP_KEY_USED | 6, -1},
                 {WIN_SOURCE_CROP | 1, CROP_KEY_USED | 3, 3}};
    for (const Case& k : cases) {
        SCOPED_TRACE(std::to_string(k.word) + " key " + std::to_string(k.key));
        edit_and_pass([&](uint8_t*) {
            if (k.key)
                set_word(ram_crop_addr(1, CROP_KEY), k.key);
            set_word(ram_window_addr(0, WIN_SOURCE), k.word);
        });
        if (k.source < 0) {
            EXPECT_EQ(window0_background(), 1);
        } else {
            EXPECT_EQ(mgr_->PM_INPUT[0], uint32_t(mgr_->tlxApi_inputCvtC331(k.source)));
            EXPECT_EQ(window0_background(), 0);
        }
    }
}

// On the default 4096 x 2048 screen a V-by-One picture wider than 2176 pixels that is zoomed
// vertically is captured 2176 wide and zoomed from there; without a vertical zoom it is not
// capped.
TEST_F(WindowOutput, VByOneWidthCapOnlyWithAVerticalZoom)
{
    led(4096, 2048);
    struct Case {
        int vact, vtotal;
        bool capped;
    } cases[] = {{1440, 1481, true}, {2160, 2222, false}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.vact);
        const Timing t{2560, 2720, k.vact, k.vtotal, float(2720.0 * k.vtotal * 60 / 1e6)};
        board(R"({"inputs": [{}, {}, {}, {}, {}, {"hactive": 2560, "htotal": 2720, "hfront": 48, "hsync": 32,
              "vactive": )" + std::to_string(k.vact) + R"(, "vtotal": )" + std::to_string(k.vtotal) +
              R"(, "vfront": 3, "vsync": 5, "pclk_khz": )" + std::to_string(int(t.pclk_mhz * 1000)) + "}]}");
        publish(5, row(t));
        show(5);
        ASSERT_EQ(mgr_->PI_STATE[4], 1u);
        const std::vector<int> c = ichs();
        ASSERT_EQ(c.size(), 2u);
        const uint32_t read_w = k.capped ? 2176 : 2560;
        EXPECT_NEAR(double(chip(c331::ZOOM_HRATIO)), 65536.0 * read_w / 4096, 32);
        if (k.capped)
            EXPECT_NEAR(double(chip(c331::SHR_HRATIO, c[0])), 65536.0 * 2176 / 2560, 32);
        else
            EXPECT_EQ(chip(c331::SHR_HRATIO, c[0]), 0u);
    }
}

// A mirror or rotate change alone recomputes no window: a capped window's output side must
// go on zooming from the 2176 pixels its input side stores, both ways.
TEST_F(WindowOutput, RotateOnlyChangeKeepsTheWidthCap)
{
    led(4096, 2048);
    board(R"({"inputs": [{}, {}, {}, {}, {}, {"hactive": 2560, "htotal": 2720, "hfront": 48, "hsync": 32,
          "vactive": 1440, "vtotal": 1481, "vfront": 3, "vsync": 5, "pclk_khz": 241700}]})");
    publish(5, row(Timing{2560, 2720, 1440, 1481, 241.7f}));
    show(5);
    const uint32_t capped = chip(c331::ZOOM_HRATIO);
    ASSERT_NEAR(double(capped), 65536.0 * 2176 / 4096, 32);
    for (int attr : {1, 2, 3, 0}) {
        SCOPED_TRACE(attr);
        rotate(attr);
        EXPECT_EQ(chip(c331::ZOOM_HRATIO), capped);
        const std::vector<sim::OchRead> r = reads();
        ASSERT_EQ(r.size(), 1u);
        EXPECT_EQ(r[0].hdir, (attr & 1) ? -1 : 1);
        EXPECT_EQ(r[0].vdir, (attr & 2) ? -1 : 1);
    }
}

// Window 1's black flag holds whatever else the pass or the input following reprograms:
// set in the edit that also moves window 0, set after window 0 moved (while its ports are
// measured again), or set before it; cleared, the picture comes back. A full-width window 0
// moved right takes a second column and window 1 another channel: the channel it leaves reads
// as on a fresh start whatever the order (background on, as every channel no window uses).
TEST_F(WindowOutput, BlackWindowStaysBlackThroughARelayout)
{
    auto slot_word = [&](int slot, uint32_t field, uint16_t v) { set_word(ram_window_addr(slot, field), v); };
    auto bkg = [&] {
        int och[8];
        mgr_->get_och(mgr_->slot_pos[1], och);
        return och[0] < 0 ? -1 : int(chip(c331::OCH_BKG_EN, och[0]));
    };
    auto unused_channels_as_fresh = [&] {
        for (int k = 0; k < 8; ++k)
            if (mgr_->PM_WIN_NUM[k] >= 6 && chip(c331::OCH_BKG_EN, k) != 1)
                return false;
        return true;
    };
    auto settle = [&] {
        for (int i = 0; i < 20; ++i)
            mgr_->c331managerdeal(mgr_);
    };
    g_force_bkcolor = 2;   // the outputs have started: no forced background
    enum Order { OneEdit, BlackAfterMove, BlackBeforeMove };
    for (int width0 : {1920, 4096}) {
        for (Order order : {OneEdit, BlackAfterMove, BlackBeforeMove}) {
            SCOPED_TRACE(std::to_string(width0) + " order " + std::to_string(order));
            edit_and_pass([&](uint8_t*) {
                window(0, 0, width0, 1080);
                slot_word(1, WIN_ENABLE, 1);
                slot_word(1, WIN_SOURCE, 3);
                slot_word(1, WIN_X, 1000);
                slot_word(1, WIN_Y, 500);
                slot_word(1, WIN_WIDTH, 800);
                slot_word(1, WIN_HEIGHT, 450);
                slot_word(1, WIN_OUTPUT, 0);
            });
            settle();
            ASSERT_EQ(bkg(), 0) << "window 1 shows its picture";
            const auto black = [&](uint8_t*) { slot_word(1, WIN_OUTPUT, WIN_OUT_BLACK); };
            const auto move = [&](uint8_t*) { set_word(ram_window_addr(0, WIN_X), 100); };
            if (order == OneEdit) {
                edit_and_pass([&](uint8_t* m) { black(m), move(m); });
            } else if (order == BlackAfterMove) {
                edit_and_pass(move);
                edit_and_pass(black);
            } else {
                edit_and_pass(black);
                edit_and_pass(move);
            }
            EXPECT_EQ(bkg(), 1) << "right after the pass";
            settle();
            EXPECT_EQ(bkg(), 1) << "after the input following";
            EXPECT_TRUE(unused_channels_as_fresh());
            edit_and_pass([&](uint8_t*) { slot_word(1, WIN_OUTPUT, 0); });
            settle();
            EXPECT_EQ(bkg(), 0) << "black cleared";
            EXPECT_TRUE(unused_channels_as_fresh());
            edit_and_pass([&](uint8_t*) { slot_word(1, WIN_ENABLE, 0); window(0, 0, 1920, 1080); });
        }
    }
    g_force_bkcolor = 1;
}

// When the LED outputs have started, the forced start-up colour ends: each window shows its
// picture, but a window saved black stays black.
TEST_F(WindowOutput, BlackWindowStaysBlackWhenTheStartUpColourEnds)
{
    for (uint16_t output : {WIN_OUT_BLACK, uint16_t(0)}) {
        SCOPED_TRACE(output);
        g_force_bkcolor = 1;
        edit_and_pass([&](uint8_t*) { set_word(ram_window_addr(0, WIN_OUTPUT), output); });
        int och[8];
        mgr_->get_och(0, och);
        ASSERT_GE(och[0], 0);
        EXPECT_EQ(chip(c331::OCH_BKG_EN, och[0]), 1u) << "forced colour";
        g_force_bkcolor = 0;   // the FPGA thread has started the outputs and raised the flag
        edit_and_pass([](uint8_t*) {});
        EXPECT_EQ(g_force_bkcolor, 2);
        EXPECT_EQ(chip(c331::OCH_BKG_EN, och[0]), output ? 1u : 0u);
    }
    g_force_bkcolor = 1;
}

// A lost source shows the background of the windows it feeds, but a dot-by-dot window shows
// none; set black, either kind stays black while its source is gone and after it returns,
// without showing its picture for a single update on the way.
TEST_F(WindowOutput, BlackWindowStaysBlackWhenItsSourceIsLost)
{
    g_force_bkcolor = 2;   // the outputs have started: no forced background
    auto bkg = [&] { return window0_background(); };
    auto picture_shown = [&] {
        const std::vector<uint8_t> w = writes_to(uint8_t(0x08 + 0x10 * window0_och()), 0x48);
        return std::count(w.begin(), w.end(), 0) != 0;
    };
    struct Case {
        uint16_t output;
        int lost;   // the background while the source is gone
    } cases[] = {{WIN_OUT_BLACK, 1}, {WIN_OUT_P2P | WIN_OUT_BLACK, 1}, {WIN_OUT_P2P, 0}, {0, 1}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.output);
        board(R"({"inputs": [{}, {}, {}, {}]})");
        edit_and_pass([&](uint8_t*) {
            set_word(ram_window_addr(0, WIN_SOURCE), 3);
            set_word(ram_window_addr(0, WIN_P2P_MODE), 0);
            set_word(ram_window_addr(0, WIN_OUTPUT), k.output);
        });
        follow_inputs();
        ASSERT_EQ(mgr_->PI_STATE[mgr_->PM_INPUT[0]], 4u);
        EXPECT_EQ(bkg(), (k.output & WIN_OUT_BLACK) ? 1 : 0) << "source present";
        model_->clear_writes();
        board(R"({"inputs": [{}, {}, {}, {"signal": false}]})");
        follow_inputs();
        EXPECT_EQ(bkg(), k.lost) << "source lost";
        board(R"({"inputs": [{}, {}, {}, {}]})");
        follow_inputs();
        EXPECT_EQ(bkg(), (k.output & WIN_OUT_BLACK) ? 1 : 0) << "source back";
        if (k.output & WIN_OUT_BLACK) {
            EXPECT_FALSE(picture_shown());
        }
    }
    edit_and_pass([&](uint8_t*) { set_word(ram_window_addr(0, WIN_OUTPUT), 0); });
    g_force_bkcolor = 1;
}

// A source lost while a panel change has marked every port's measurement unknown (before the
// next input check) is lost all the same: its windows show their background, and the port
// is classified again when the source returns. Both kinds of receiver: one that keeps its
// record (the HDMI inputs) and one that withdraws it (the V-by-One inputs).
TEST_F(WindowOutput, SourceLostAcrossAPanelChangeShowsTheBackground)
{
    g_force_bkcolor = 2;   // the outputs have started: no forced background
    auto bkg = [&] { return window0_background(); };
    auto follow = [&] { follow_inputs(); };
    struct Case {
        int source;
        bool withdrawn;
        const char* lost;
    } cases[] = {{3, false, R"({"inputs": [{}, {}, {}, {"signal": false}]})"},
                 {4, true, R"({"inputs": [{}, {}, {}, {}, {"signal": false}]})"}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.source);
        board(R"({"inputs": [{}, {}, {}, {}, {}, {}]})");
        show(k.source);
        follow();
        const uint32_t p = mgr_->PM_INPUT[0];
        ASSERT_NE(mgr_->PI_STATE[p], 0u);
        const uint32_t state = mgr_->PI_STATE[p];
        ASSERT_EQ(bkg(), 0);

        board(k.lost);
        if (k.withdrawn)
            publish(k.source, HDMI_INFO{});
        led(3840, 2160);
        follow();
        EXPECT_EQ(mgr_->PI_STATE[p], 0u);
        EXPECT_EQ(bkg(), 1) << "source lost";

        board(R"({"inputs": [{}, {}, {}, {}, {}, {}]})");
        publish(k.source, row_1080p60());
        follow();
        EXPECT_EQ(mgr_->PI_STATE[p], state);
        EXPECT_EQ(bkg(), 0) << "source back";
        led(4096, 2048);
    }
    g_force_bkcolor = 1;
}

// A V-by-One source that changes timing and comes back while its receiver has withdrawn its
// record is programmed as a start on it programs: the port measured for a loss meanwhile keeps
// the measurement its programming was made from, so the record's return is a change.
TEST_F(WindowOutput, TimingChangedAndBackWhileTheRecordIsWithdrawnIsProgrammedAfresh)
{
    constexpr uint32_t kVboRx1ClockRange = c331::VBO_RX_CFG + c331::VBO_RX_STRIDE + c331::VBO_RX_CTRL_OFS;
    const char* k1080 = R"({"inputs": [{}, {}, {}, {}, {}, {}]})";
    const char* k2160 = R"({"inputs": [{}, {}, {}, {}, {"format": "2160p30"}, {}]})";
    HDMI_INFO vbo_1080p60 = row_1080p60();
    vbo_1080p60.type = 1, vbo_1080p60.lanes = 2;   // as the receiver sends 1080p60 on
    publish(4, vbo_1080p60);
    show(4);
    follow_inputs();
    const uint32_t p = mgr_->PM_INPUT[0];
    const double fresh_fv = mgr_->PI_FV[p];
    const uint32_t fresh_range = chip(kVboRx1ClockRange);
    ASSERT_NEAR(fresh_fv, 60.0, 0.5);

    board(k2160);   // measured before the receiver withdraws its 1080p record
    mgr_->c331managerdeal(mgr_);
    publish(4, HDMI_INFO{});
    follow_inputs();
    board(k1080);   // back while the record is still withdrawn
    follow_inputs();
    publish(4, vbo_1080p60);
    follow_inputs();
    EXPECT_NEAR(mgr_->PI_FV[p], fresh_fv, 0.5);
    EXPECT_EQ(chip(kVboRx1ClockRange), fresh_range);
}

// A freeze asked for while a test pattern holds the input following and a panel change has
// marked the ports' measurements unknown is taken (the port keeps its signal), and holds once
// the pattern is off and the following reprograms the window, as on a start with it saved.
TEST_F(WindowOutput, FreezeAfterAPanelChangeUnderAPatternIsKept)
{
    g_force_bkcolor = 2;   // the outputs have started: no forced background
    auto follow = [&] { follow_inputs(); };
    show(3);
    follow();
    ASSERT_EQ(mgr_->PI_STATE[mgr_->PM_INPUT[0]], 4u);
    edit_and_pass([](uint8_t* m) { m[ram_test_pattern] = 4; });
    led(3840, 2160);
    edit_and_pass([&](uint8_t*) { set_word(ram_window_addr(0, WIN_OUTPUT), WIN_OUT_FREEZE); });
    EXPECT_EQ(mgr_->pwinfo[0].output & 2, 2);

    edit_and_pass([](uint8_t* m) { m[ram_test_pattern] = 0; });
    follow();
    const int c = mgr_->first_ich(0);
    ASSERT_GE(c, 0);
    EXPECT_EQ(chip(c331::ICH_SYNC_CTRL, c), 2u) << "frozen";
    edit_and_pass([&](uint8_t*) { set_word(ram_window_addr(0, WIN_OUTPUT), 0); });
    g_force_bkcolor = 1;
}

// A 1080i source end to end: captured per field, deinterlaced into 1080-line frames on a
// low input channel, stored three pixels in eight bytes, and zoomed from 1080 lines.
void WindowOutput::interlaced_input_end_to_end(int source)
{
    const int port = mgr_->tlxApi_inputCvtC331(source);
    QJsonArray inputs{QJsonObject{}, QJsonObject{}, QJsonObject{}, QJsonObject{}, QJsonObject{}, QJsonObject{}};
    inputs[source] = QJsonObject{{"format", "1080i60"}, {"lanes", 1}};
    board(QJsonDocument(QJsonObject{{"inputs", inputs}}).toJson().toStdString());
    HDMI_INFO field = row({1920, 2200, 540, 562, 74.25f, 1});
    field.lanes = source >= 4 ? 1 : 0;
    publish(source, field);
    show(source);
    ASSERT_EQ(mgr_->PI_STATE[port], 5u);
    const std::vector<int> c = ichs();
    ASSERT_EQ(c.size(), source >= 4 ? 2u : 1u);   // a V-by-One port takes a pair
    ASSERT_LT(c[0], 4);
    EXPECT_EQ(chip(c331::ICH_ACT_VW, c[0]), 540u);
    EXPECT_EQ(chip(c331::IP_VW, c[0]), 1080u);
    EXPECT_EQ(chip(c331::IP_DEINT, c[0]), 0u);
    // The channel's motion mode for fields (bits 1..3) and its own field sync, on every port.
    EXPECT_EQ(chip(c331::CH_HOLD_BASE + (uint32_t(c[0]) << 8)) & 0x0Eu, 0x0Eu);
    EXPECT_EQ(chip(c331::ICH_SYNC_CTRL, c[0]), 0u);
    for (const uint16_t out : {WIN_OUT_FREEZE, uint16_t(0)})
        edit_and_pass([&](uint8_t*) { set_word(ram_window_addr(0, WIN_OUTPUT), out); });
    EXPECT_EQ(chip(c331::ICH_SYNC_CTRL, c[0]), 0u) << "frozen and released";
    EXPECT_EQ(chip(c331::ISCWCT_BASE + (uint32_t(c[0]) << 8)), 1u);
    EXPECT_EQ(chip(c331::OSCWCT_BASE), 1u);
    const std::vector<sim::OchRead> r = reads();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].ich, c[0]);
    EXPECT_EQ(r[0].x, 0);
    EXPECT_EQ(r[0].line, 0);
    EXPECT_EQ(r[0].vw, 2048u);
    EXPECT_NEAR(double(r[0].vzoom), 65536.0 * 1080 / 2048, 32);
    // Sharpened for 1080 frame lines over 2048 (a ratio between 1.25 and 2).
    edit_and_pass([](uint8_t* m) { ram_wr16(m, ram_sharpness, 60); });
    const uint32_t vset[3] = {28, 45, 5};
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(chip(c331::SHP_V_COEF0 + 0x100 * k, window0_och()), vset[k]) << "d" << k;

    // A crop of it names frame lines, its margins as its height.
    for (const ST_RECT& c : {ST_RECT{100, 60, 960, 540}, ST_RECT{0, 540, 1920, 540},
                             ST_RECT{100, 30, 960, 270}}) {
        SCOPED_TRACE("crop from line " + std::to_string(c.y));
        edit_and_pass([&](uint8_t*) {
            set_word(ram_crop_addr(0, CROP_KEY), uint16_t(CROP_KEY_USED | source));
            set_word(ram_crop_addr(0, CROP_X), uint16_t(c.x));
            set_word(ram_crop_addr(0, CROP_Y), uint16_t(c.y));
            set_word(ram_crop_addr(0, CROP_WIDTH), uint16_t(c.w));
            set_word(ram_crop_addr(0, CROP_HEIGHT), uint16_t(c.h));
            set_word(ram_window_addr(0, WIN_SOURCE), WIN_SOURCE_CROP | 0);
        });
        const std::vector<sim::OchRead> rc = reads();
        ASSERT_EQ(rc.size(), 1u);
        EXPECT_EQ(rc[0].x, c.x);   // inside a group of three stored pixels
        EXPECT_EQ(rc[0].line, c.y);
        EXPECT_NEAR(double(rc[0].vzoom), 65536.0 * c.h / 2048, 64);
    }

    // Five windows on it (three of a V-by-One port): the last finds the deinterlacing channels
    // taken and stores fields, so its crop of 270 frame lines from line 30 reads 135 field
    // lines from line 15.
    const int last = source >= 4 ? 2 : 4;
    edit_and_pass([&](uint8_t*) {
        for (int w = 0; w <= last; ++w) {
            set_word(ram_window_addr(w, WIN_ENABLE), 1);
            set_word(ram_window_addr(w, WIN_SOURCE), w == last ? WIN_SOURCE_CROP | 0 : source);
            set_word(ram_window_addr(w, WIN_X), uint16_t(800 * w));
            set_word(ram_window_addr(w, WIN_Y), 0);
            set_word(ram_window_addr(w, WIN_WIDTH), 800);
            set_word(ram_window_addr(w, WIN_HEIGHT), 540);
        }
    });
    const int n = mgr_->slot_pos[last];
    ASSERT_GE(mgr_->first_ich(n), 4);
    int och[8];
    mgr_->get_och(n, och);
    ASSERT_GE(och[0], 0);
    const sim::OchRead f = model_->och_read(och[0]);
    EXPECT_EQ(f.line, 15);
    EXPECT_NEAR(double(f.vzoom), 65536.0 * 135 / 540, 256);
    // The others shrink 1920 pixels to 799, stored from the line's padded start: read from there.
    const std::vector<sim::OchRead> r0 = reads();
    ASSERT_FALSE(r0.empty());
    EXPECT_EQ(r0[0].x, 0);
    EXPECT_EQ(r0[0].line, 0);

    // The source turns progressive: the channel keeps nothing of the deinterlacer's set-up,
    // as a start on 1080p leaves it.
    board(R"({"inputs": [{}, {}, {}, {}, {}, {}]})");
    publish(source, row_1080p60());
    follow_inputs();
    ASSERT_EQ(mgr_->PI_SCAN_MODE[port], 0u);
    for (const uint32_t id : {c331::IP_HTOTAL, c331::IP_VW, c331::IP_VST, c331::IP_PD_CTRL, c331::IP_FIELD_A})
        EXPECT_EQ(chip(id, c[0]), 0u) << std::hex << id;
}

// A window that overhangs the wall is cut at the channel canvas's edge in both directions, its
// picture at the scale of the whole window; every other window stays as it was. Window 1 (640 x
// 360 at 100,100, source 2) lies above window 0 where a case asks for it.
TEST_F(WindowOutput, WindowPastTheEdgeIsCutThere)
{
    struct Case {
        const char* name;
        int led_w, led_h, splice, out_w;
        int x, y, w, h, attr, dbd;      // window 0 (source 4); dbd: dot-by-dot index, -1 none
        bool above;                     // window 1 above it
        int64_t px, line;               // first pixel and line its first output channel reads
        uint32_t hw, vw;                // pixels and lines that channel shows
        int vdir, hdir;
    } cases[] = {
        {"one line down, mirrored", 1920, 1080, 0, 1920, 0, 1, 1920, 1080, 1, -1, true, 0, 0, 1920, 1079, 1, -1},
        {"100 lines down, mirrored", 1920, 1080, 0, 1920, 0, 100, 1920, 1080, 1, -1, true, 0, 0, 1920, 980, 1, -1},
        {"100 lines down, upside down", 1920, 1080, 0, 1920, 0, 100, 1920, 1080, 2, -1, true, 0, 1079, 1920, 980, -1, 1},
        {"half size at 1500,800", 1920, 1080, 0, 1920, 1500, 800, 960, 540, 0, -1, false, 0, 0, 420, 280, 1, 1},
        {"1:1 past the corner of a split wall", 3840, 1080, 3, 1920, 3000, 500, 1920, 1080, 0, 0, false, 0, 0, 840, 1080, 1, 1},
        {"1:1 past the corner of a split wall, mirrored", 3840, 1080, 3, 1920, 3000, 500, 1920, 1080, 1, 0, false, 1080, 0, 840,
         1080, 1, -1},
        {"CP21 at 300,0", 1280, 720, 5, 1280, 300, 0, 1280, 720, 0, -1, false, 0, 0, 340, 720, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        led(c.led_w, c.led_h, c.splice, c.out_w, c.led_h);
        dot_by_dot(c.dbd);
        edit_and_pass([&](uint8_t*) {
            window(c.x, c.y, c.w, c.h);
            set_word(ram_window_addr(0, WIN_SOURCE), 4);
            set_word(ram_window_addr(0, WIN_ROTATE), uint16_t(c.attr));
            set_word(ram_win_priority, 1);
            set_word(ram_win_priority + 2, 0);
            set_word(ram_window_addr(1, WIN_ENABLE), c.above ? 1 : 0);
            set_word(ram_window_addr(1, WIN_SOURCE), 2);
            set_word(ram_window_addr(1, WIN_X), 100);
            set_word(ram_window_addr(1, WIN_Y), 100);
            set_word(ram_window_addr(1, WIN_WIDTH), 640);
            set_word(ram_window_addr(1, WIN_HEIGHT), 360);
        });
        ASSERT_FALSE(mgr_->list_fallback);
        ASSERT_EQ(mgr_->gMwin.wincnt, c.above ? 2 : 1);
        const std::vector<sim::OchRead> r = reads();
        ASSERT_FALSE(r.empty());
        EXPECT_EQ(r[0].ich, ichs().at(0));
        EXPECT_EQ(r[0].x, c.px);
        EXPECT_EQ(r[0].line, c.line);
        EXPECT_EQ(r[0].vw, c.vw);
        EXPECT_EQ(r[0].hw, c.hw);
        EXPECT_EQ(r[0].vdir, c.vdir);
        EXPECT_EQ(r[0].hdir, c.hdir);
        EXPECT_EQ(r[0].vzoom, 0u);   // 1:1 or shrunk on the input side: the scale kept
        if (c.dbd < 0 && c.h < 1080) {
            EXPECT_NEAR(double(chip(c331::SHR_VRATIO, ichs().at(0))), 65536.0 * c.h / 1080, 64);
            EXPECT_NEAR(double(chip(c331::SHR_HRATIO, ichs().at(0))), 65536.0 * c.w / 1920, 64);
        }
        if (c.above) {
            int och[8];
            mgr_->get_och(mgr_->slot_pos[1], och);
            ASSERT_GE(och[0], 0);
            const sim::OchRead w1 = model_->och_read(och[0]);
            EXPECT_EQ(w1.ich, mgr_->first_ich(mgr_->slot_pos[1]));
            EXPECT_EQ(w1.hw, 640u);
            EXPECT_EQ(w1.vw, 360u);
        }
        if (c.attr == 2) {
            // Turned upright by the rotate word alone: the top of the input is shown.
            rotate(0);
            const std::vector<sim::OchRead> u = reads();
            ASSERT_FALSE(u.empty());
            EXPECT_EQ(u[0].line, 0);
            EXPECT_EQ(u[0].vdir, 1);
            EXPECT_EQ(u[0].vw, c.vw);
        }
        dot_by_dot(-1);
        edit_and_pass([&](uint8_t*) {
            set_word(ram_window_addr(0, WIN_ROTATE), 0);
            set_word(ram_window_addr(1, WIN_ENABLE), 0);
        });
    }
}

// A window whose part on one side of a seam is narrower than 16 pixels: the wall shows
// exactly the window's columns, each its own column of the picture (mirrored: right to
// left), on both sides of the seam; no column of the picture beyond the window is drawn.
// Split walls, equal pieces, the 2 x 2 grid and CP21; 1080p (source 0), 1080i (2), 2160p
// (4, a channel pair), a crop of 1080p, a zoomed 720p (source 3: the wall columns only).
TEST_F(WindowOutput, NarrowPartAtASeamShowsTheWindowsOwnColumns)
{
    board(R"({"inputs": [{}, {}, {"format": "1080i60"}, {"format": "720p60"}, {"format": "2160p30"}, {}]})");
    publish(2, row({1920, 2200, 540, 562, 74.25f, 1}));
    publish(3, row({1280, 1650, 720, 750, 74.25f}));
    publish(4, row({3840, 4400, 2160, 2250, 297.0f}));
    follow_inputs();
    edit_and_pass([&](uint8_t*) {
        set_word(ram_crop_addr(0, CROP_KEY), CROP_KEY_USED | 0);
        set_word(ram_crop_addr(0, CROP_X), 160);
        set_word(ram_crop_addr(0, CROP_Y), 90);
        set_word(ram_crop_addr(0, CROP_WIDTH), 1600);
        set_word(ram_crop_addr(0, CROP_HEIGHT), 900);
    });
    struct Case {
        const char* name;
        int led_w, led_h, splice, out_w, out_h;
        int x, y, w, h;
        uint16_t source;
    } cases[] = {
        {"960 wide, 10 columns past a seam at 1000", 3840, 1080, 3, 1000, 1080, 50, 100, 960, 300, 0},
        {"965 wide, 6 columns past a seam at 1000", 3840, 1080, 3, 1000, 1080, 41, 100, 965, 540, 0},
        {"960 wide, 10 columns before a seam at 1000", 3840, 1080, 3, 1000, 1080, 990, 100, 960, 540, 0},
        {"925 wide, 5 columns past the seam of equal pieces", 3840, 1080, 3, 1920, 1080, 1000, 100, 925, 540, 0},
        {"845 x 566, 5 columns past the seam of the 2 x 2 grid", 7680, 4320, 1, 7680, 2160, 3000, 1600, 845, 566, 0},
        {"CP21, 1 column before the seam", 1280, 720, 5, 1280, 720, 639, 359, 640, 360, 0},
        {"1:1, 3 columns past a seam at 1917", 3840, 1080, 3, 1917, 1080, 0, 0, 1920, 1080, 0},
        {"1080i, 10 columns past a seam at 1000", 3840, 1080, 3, 1000, 1080, 50, 100, 960, 300, 2},
        {"2160p, 7 columns before a seam at 1000", 3840, 1080, 3, 1000, 1080, 993, 100, 960, 540, 4},
        {"crop, 10 columns past a seam at 1000", 3840, 1080, 3, 1000, 1080, 50, 100, 960, 540, WIN_SOURCE_CROP | 0},
        {"zoomed 720p, 5 columns past a seam at 1280", 3840, 1080, 3, 1280, 1080, 0, 0, 1285, 1080, 3},
        {"6 lines below the seam of a split 1920 x 2160", 1920, 2160, 2, 1920, 1000, 100, 594, 960, 540, 0},
    };
    for (const Case& c : cases) {
        for (const int attr : {0, 1, 3}) {
            SCOPED_TRACE(std::string(c.name) + ", rotate " + std::to_string(attr));
            edit_and_pass([&](uint8_t*) {
                set_word(ram_splice_mode, uint16_t(c.splice));
                set_word(ram_led_width, uint16_t(c.led_w));
                set_word(ram_led_height, uint16_t(c.led_h));
                set_word(ram_output_rect + 4, uint16_t(c.out_w));
                set_word(ram_output_rect + 6, uint16_t(c.out_h));
                window(c.x, c.y, c.w, c.h);
                set_word(ram_window_addr(0, WIN_SOURCE), c.source);
                set_word(ram_window_addr(0, WIN_ROTATE), uint16_t(attr));
            });
            ASSERT_FALSE(mgr_->list_fallback);
            const int cols = int(mgr_->PM_WIN_SHAPE[0][0]), rows = int(mgr_->PM_WIN_SHAPE[0][1]);
            ASSERT_GE(cols * rows, 2);
            // The picture column the window's left edge shows: the crop's start in the store.
            const int64_t base = reads()[0].hdir > 0 ? drawn(0).at(0).x : drawn(0).back().x;
            int64_t lines = 0;
            for (int j = 0; j < rows; ++j) {
                SCOPED_TRACE("row " + std::to_string(j));
                const std::vector<Drawn> d = drawn(j);
                EXPECT_EQ(d.size(), size_t(c.w));
                // LED column:picture column of the first few drawn wrongly (zoomed: placed
                // outside the window).
                const bool zoomed = reads()[size_t(j * cols)].hzoom != 0;
                std::string wrong;
                int shown_wrong = 0;
                for (const Drawn& p : d) {
                    const int64_t u = p.led - c.x;
                    if (u >= 0 && u < c.w && (zoomed || p.x == base + ((attr & 1) ? c.w - 1 - u : u)))
                        continue;
                    if (shown_wrong++ < 8)
                        wrong += " " + std::to_string(p.led) + ":" + std::to_string(p.x);
                }
                EXPECT_EQ(wrong, "") << shown_wrong << " columns";
                lines += reads()[size_t(j * cols)].vw;
            }
            EXPECT_EQ(lines, c.h);
        }
    }
}

// An interlaced source on an HDMI 1.4 receiver (source 2, port 1) and on an HDMI 2.0 one
// (source 4, port 5, one V-by-One lane): both report it in field lines with its interlace flag.
TEST_F(WindowOutput, InterlacedInputEndToEnd) { interlaced_input_end_to_end(2); }
TEST_F(WindowOutput, InterlacedHdmi20InputEndToEnd) { interlaced_input_end_to_end(4); }

}  // namespace
