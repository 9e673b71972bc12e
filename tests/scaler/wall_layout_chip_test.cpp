// LED screens and window lists through the apply pass to what each output channel of the
// simulated chip puts on the wall: every splice mode, windows on the 2 x 2 grid, windows
// beyond the eight channels, and screens the channels cannot show.
#include <fstream>
#include <string>

#include "core/ram_map.h"
#include "core/store_files.h"
#include "scaler/c331_regs.h"
#include "scaler/pipeline_regs.h"
#include "scaler_fixture.h"

namespace {

struct Screen {
    int w, h, splice, out_w, out_h;
};

std::string name(const Screen& s)
{
    return std::to_string(s.w) + "x" + std::to_string(s.h) + " splice " + std::to_string(s.splice) + " first " +
           std::to_string(s.out_w) + "x" + std::to_string(s.out_h);
}

struct Win {
    int x, y, w, h;
};

class WallLayout : public ScalerFixture {
protected:
    void SetUp() override
    {
        ScalerFixture::SetUp();
        bring_up_with_every_input_at_1080p60();
    }
    // The screen's words as a remote tool writes them, window 0 over the whole screen and the
    // other windows off.
    void put_screen(const Screen& s)
    {
        set_word(ram_splice_mode, uint16_t(s.splice));
        set_word(ram_led_width, uint16_t(s.w));
        set_word(ram_led_height, uint16_t(s.h));
        set_word(ram_output_rect + 4, uint16_t(s.out_w));
        set_word(ram_output_rect + 6, uint16_t(s.out_h));
        put_window(0, Win{0, 0, s.w, s.h});
        for (int w = 1; w < 6; ++w)
            set_word(ram_window_addr(w, WIN_ENABLE), 0);
    }
    void screen(const Screen& s)
    {
        edit_and_pass([&](uint8_t*) { put_screen(s); });
    }
    void put_window(int slot, const Win& r, int source = 0)
    {
        set_word(ram_window_addr(slot, WIN_ENABLE), 1);
        set_word(ram_window_addr(slot, WIN_SOURCE), uint16_t(source));
        set_word(ram_window_addr(slot, WIN_X), uint16_t(r.x));
        set_word(ram_window_addr(slot, WIN_Y), uint16_t(r.y));
        set_word(ram_window_addr(slot, WIN_WIDTH), uint16_t(r.w));
        set_word(ram_window_addr(slot, WIN_HEIGHT), uint16_t(r.h));
    }
    int list_pos(int slot) const { return mgr_->slot_pos[slot]; }
    // How a window's output channels read the frame store, in area order (row by row).
    std::vector<sim::OchRead> reads(int slot) const
    {
        int och[8];
        std::vector<sim::OchRead> r;
        if (list_pos(slot) < 0)
            return r;
        mgr_->get_och(list_pos(slot), och);
        for (int a = 0; a < 8 && och[a] >= 0; ++a)
            r.push_back(model_->och_read(och[a]));
        return r;
    }
    // The window is on the wall whole: each of its channels reads a picture, its columns add
    // up to its width and its rows to its height.
    void expect_whole(int slot, int width, int height, int cols, int rows)
    {
        SCOPED_TRACE("window " + std::to_string(slot));
        const int n = list_pos(slot);
        ASSERT_GE(n, 0);
        EXPECT_EQ(int(mgr_->PM_WIN_SHAPE[n][0]), cols);
        EXPECT_EQ(int(mgr_->PM_WIN_SHAPE[n][1]), rows);
        const std::vector<sim::OchRead> r = reads(slot);
        ASSERT_EQ(int(r.size()), cols * rows);
        for (const sim::OchRead& c : r) {
            EXPECT_GE(c.ich, 0);
            EXPECT_GT(c.hw, 0u);
            EXPECT_GT(c.vw, 0u);
        }
        int64_t across = 0, down = 0;
        for (int i = 0; i < cols; ++i)
            across += r[i].hw;
        for (int j = 0; j < rows; ++j)
            down += r[j * cols].vw;
        EXPECT_EQ(across, width);
        EXPECT_EQ(down, height);
    }
    // A power cycle: the image as the parameter file, the chip reset, then the store's load
    // and a bring-up with the same inputs.
    void power_cycle()
    {
        ASSERT_TRUE(store_files::write_param_file(img() + RAM_VOLATILE_END));
        c331_manage::p_c331_manage = nullptr;
        delete mgr_;
        model_->reset();
        start_manager();
        bring_up_with_every_input_at_1080p60();
    }
    // What each output channel puts on the wall: on or off, and how it reads the frame store.
    std::vector<std::string> wall() const
    {
        std::vector<std::string> v;
        for (int k = 0; k < 8; ++k) {
            const sim::OchRead r = model_->och_read(k);
            v.push_back("och " + std::to_string(k) + " on " + std::to_string(chip(c331::OCH_ENABLE_BASE + 0x100 * k) & 1) +
                        " ich " + std::to_string(r.ich) + " x " + std::to_string(r.x) + " line " + std::to_string(r.line) +
                        " dir " + std::to_string(r.hdir) + "," + std::to_string(r.vdir) + " size " + std::to_string(r.hw) +
                        "x" + std::to_string(r.vw) + " zoom " + std::to_string(r.hzoom) + "," + std::to_string(r.vzoom));
        }
        return v;
    }
    std::array<uint16_t, 7> layout_words()
    {
        std::array<uint16_t, 7> w{};
        for (int i = 0; i < 7; ++i)
            w[i] = uint16_t(img()[ram_och_layout + 2 * i] | img()[ram_och_layout + 2 * i + 1] << 8);
        return w;
    }
};

// A window over the whole screen fills the wall in every splice mode: split side by side it
// takes both pieces' channels (the second output is not left black).
TEST_F(WallLayout, FullScreenWindowFillsTheWallInEverySpliceMode)
{
    struct Case {
        Screen s;
        int cols, rows;
    } cases[] = {
        {{4096, 2048, 0, 4096, 2048}, 1, 1},
        {{7680, 2160, 0, 7680, 2160}, 2, 1},
        {{3840, 4320, 1, 3840, 2160}, 1, 2},
        {{7680, 4320, 1, 7680, 2160}, 2, 2},
        {{3840, 4320, 2, 3840, 2160}, 1, 2},
        {{7680, 4320, 2, 7680, 2160}, 2, 2},
        {{1920, 2160, 2, 1920, 1000}, 1, 2},   // the lower piece the taller
        {{1920, 2160, 1, 1920, 1000}, 1, 2},
        {{7680, 2160, 3, 3840, 2160}, 2, 1},
        {{3840, 1080, 3, 1920, 1080}, 2, 1},
        {{3840, 1080, 3, 1000, 1080}, 2, 1},
        {{7680, 4320, 3, 3840, 4320}, 4, 1},
        {{1920, 1080, 4, 1920, 1080}, 1, 1},
        {{640, 480, 5, 640, 480}, 1, 1},
        {{1280, 720, 5, 1280, 720}, 2, 1},     // wider than one 640-pixel channel
        {{1000, 720, 5, 1000, 720}, 2, 1},
        {{1280, 1080, 5, 1280, 1080}, 2, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(name(c.s));
        screen(c.s);
        EXPECT_EQ(mgr_->pnl.w, c.s.w);
        expect_whole(0, c.s.w, c.s.h, c.cols, c.rows);
        // The window's margins lie inside its channels.
        for (int k = 0; k < 4; ++k)
            EXPECT_GE(int32_t(mgr_->PM_WIN_OFFSET[0][k]), 0) << "side " << k;
    }
}

// On the 2 x 2 grid three full-height windows side by side: the outer ones lie in one
// column each and take its two channels, the middle one spans both columns. Eight channels
// in all, and every part of each window is drawn.
TEST_F(WallLayout, WindowsOnTheGridTakeTheColumnsTheyLieIn)
{
    edit_and_pass([&](uint8_t*) {
        put_screen(Screen{7680, 4320, 2, 7680, 2160});
        for (int w = 0; w < 3; ++w)
            put_window(w, Win{2560 * w, 0, 2560, 4320}, w);
    });
    expect_whole(0, 2560, 4320, 1, 2);
    expect_whole(1, 2560, 4320, 2, 2);
    expect_whole(2, 2560, 4320, 1, 2);
    int shown = 0;
    for (int k = 0; k < 8; ++k)
        shown += mgr_->PM_WIN_NUM[k] != 6;
    EXPECT_EQ(shown, 8);
}

// On the 2 x 2 grid, the top right position no window covers any more shows the background and
// reads nothing, though its output channel stays on (its enable is the hold bit of the input
// channel of the same number, which window 1 owns): never the picture a window left on it.
TEST_F(WallLayout, PositionNoWindowCoversShowsTheBackground)
{
    g_force_bkcolor = 2;   // the outputs have started: no forced background
    screen(Screen{7680, 4320, 2, 7680, 2160});
    ASSERT_EQ(model_->och_read(1).ich, 0) << "window 0 over the whole screen draws position 1";
    ASSERT_EQ(chip(c331::OCH_BKG_EN, 1), 0u);
    edit_and_pass([&](uint8_t*) {
        put_window(0, Win{0, 0, 3840, 2160}, 0);
        put_window(1, Win{0, 2160, 3840, 2160}, 1);
    });
    ASSERT_EQ(mgr_->PM_WIN_NUM[1], 6u) << "no window on position 1";
    ASSERT_EQ(chip(c331::OCH_ENABLE_BASE + 0x100) & 1, 1u);
    EXPECT_EQ(chip(c331::OCH_BKG_EN, 1), 1u);
    EXPECT_EQ(chip(c331::OCH_ACT_HW, 1), 0u);
    EXPECT_EQ(model_->och_read(1).ich, -1);
    g_force_bkcolor = 1;
}

// Six windows over the whole 8K-wide screen want twelve channels: the two on the lowest
// layers go dark, whatever their slots; the four above them are drawn whole.
TEST_F(WallLayout, WindowsBeyondTheEightChannelsGoDarkByLayer)
{
    const uint16_t layer[6] = {5, 0, 1, 4, 2, 3};   // windows 0 and 3 lowest
    edit_and_pass([&](uint8_t*) {
        put_screen(Screen{7680, 2160, 0, 7680, 2160});
        for (int w = 0; w < 6; ++w) {
            put_window(w, Win{0, 0, 7680, 2160}, w);
            set_word(ram_win_priority + 2 * w, layer[w]);
        }
    });
    for (int w : {1, 2, 4, 5})
        expect_whole(w, 7680, 2160, 2, 1);
    for (int w : {0, 3}) {
        EXPECT_TRUE(reads(w).empty()) << "window " << w;
        EXPECT_EQ(mgr_->PM_WIN_SHAPE[list_pos(w)][0], 0u) << "window " << w;
    }
    // The screen, the layers and the windows each lay the windows out: one line for the apply.
    EXPECT_EQ(logged("windows need 12 output channels of 8; not shown (lowest layers): window 0, 3"), 1);
}

// Four small windows on the V-by-One sources take the eight input channels (two each); a
// full-screen window on the top layer, listed first or last, is drawn, and the window on the
// lowest layer goes without: whole, its channel reading no other window's store.
TEST_F(WallLayout, WindowsBeyondTheEightInputChannelsGoDarkByLayer)
{
    for (const int top_source : {5, 2, 3}) {
        for (const bool top_listed_first : {false, true}) {
            SCOPED_TRACE("top window on source " + std::to_string(top_source) + (top_listed_first ? ", listed first" : ""));
            const int top = top_listed_first ? 0 : 4, first_small = top_listed_first ? 1 : 0;
            edit_and_pass([&](uint8_t*) {
                put_screen(Screen{1920, 1080, 0, 1920, 1080});
                for (int i = 0; i < 4; ++i) {
                    put_window(first_small + i, Win{400 * i, 0, 400, 300}, 4 + i % 2);
                    set_word(ram_win_priority + 2 * (first_small + i), uint16_t(1 + i));
                }
                put_window(top, Win{0, 0, 1920, 1080}, top_source);
                set_word(ram_win_priority + 2 * top, 0);
            });
            expect_whole(top, 1920, 1080, 1, 1);
            for (int i = 0; i < 3; ++i)
                expect_whole(first_small + i, 400, 300, 1, 1);
            const int lowest = first_small + 3;
            EXPECT_LT(mgr_->first_ich(list_pos(lowest)), 0);
            for (const sim::OchRead& r : reads(lowest))
                EXPECT_EQ(r.ich, -1) << "the lowest window reads no input channel";
        }
    }
}

// A layer written on its own orders the windows as a re-layout of the same image does: of two
// windows on one layer the later in the list goes below, and where windows are dark for want
// of channels, the new layers decide which ones.
TEST_F(WallLayout, LayerChangesOrderTheWindowsAsAReLayout)
{
    auto overlays = [&] {
        std::vector<uint32_t> v;
        for (int c = 0; c < 8; ++c)
            v.push_back(chip(c331::OVERLAY, c));
        return v;
    };
    screen(Screen{3840, 2160, 0, 3840, 2160});
    edit_and_pass([&](uint8_t*) {
        put_window(1, Win{0, 0, 1920, 1080}, 1);
        set_word(ram_win_priority, 0);
        set_word(ram_win_priority + 2, 1);
    });
    edit_and_pass([&](uint8_t*) { set_word(ram_win_priority + 2, 0); });
    const std::vector<uint32_t> written = overlays();
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        mgr_->full_relayout();
    }
    EXPECT_EQ(written, overlays()) << "two windows on layer 0";

    const uint16_t layer[6] = {5, 0, 1, 4, 2, 3};   // windows 0 and 3 dark
    edit_and_pass([&](uint8_t*) {
        put_screen(Screen{7680, 2160, 0, 7680, 2160});
        for (int w = 0; w < 6; ++w) {
            put_window(w, Win{0, 0, 7680, 2160}, w);
            set_word(ram_win_priority + 2 * w, layer[w]);
        }
    });
    edit_and_pass([&](uint8_t*) {
        set_word(ram_win_priority, 0);
        set_word(ram_win_priority + 2, 5);
    });
    for (int w : {0, 2, 4, 5})
        expect_whole(w, 7680, 2160, 2, 1);
    for (int w : {1, 3})
        EXPECT_TRUE(reads(w).empty()) << "window " << w;
}

// Three windows side by side, each on its own source, as a start on that image gives them:
// window n captures its port on input channel n, and its output channel reads that channel.
// Whatever came before (the windows listed one by one, a re-layout, a source change), the
// channels are the same.
TEST_F(WallLayout, InputChannelsFollowTheLayoutNotThePath)
{
    const int sources[3] = {0, 1, 2};
    auto expect_as_a_start = [&](const char* after) {
        SCOPED_TRACE(after);
        for (int w = 0; w < 3; ++w) {
            const int n = list_pos(w);
            ASSERT_EQ(mgr_->first_ich(n), w) << "window " << w;
            EXPECT_EQ(chip(c331::ICHSEL_BASE + (uint32_t(w) << 8)), 2u * mgr_->tlxApi_inputCvtC331(sources[w]))
                << "window " << w;
            for (const sim::OchRead& r : reads(w))
                EXPECT_EQ(r.ich, w) << "window " << w;
        }
    };
    screen(Screen{3840, 2160, 0, 3840, 2160});
    edit_and_pass([&](uint8_t*) { put_window(0, Win{0, 0, 960, 540}, sources[0]); });
    edit_and_pass([&](uint8_t*) {
        for (int w = 1; w < 3; ++w)
            put_window(w, Win{960 * w, 0, 960, 540}, sources[w]);
    });
    expect_as_a_start("windows 1 and 2 listed");
    edit_and_pass([&](uint8_t*) { set_word(ram_window_addr(0, WIN_HEIGHT), 720); });
    expect_as_a_start("window 0 re-laid out");
    edit_and_pass([&](uint8_t*) { set_word(ram_window_addr(0, WIN_SOURCE), 3); });
    edit_and_pass([&](uint8_t*) { set_word(ram_window_addr(0, WIN_SOURCE), uint16_t(sources[0])); });
    expect_as_a_start("window 0's source changed and back");
}

// Windows of which one lies wholly off a screen made smaller (nothing of it can be shown) fall
// back to one window over it, shown unrotated as a start on that image shows it: neither the
// rotate the window had before nor one written meanwhile mirrors it. Once the windows fit
// again, their rotate is taken.
TEST_F(WallLayout, WindowsThatDoNotFitFallBackToOneUnrotatedWindow)
{
    auto mirrors = [&](int hdir, int vdir) {
        const std::vector<sim::OchRead> r = reads(0);
        ASSERT_FALSE(r.empty());
        for (const sim::OchRead& c : r) {
            EXPECT_EQ(c.hdir, hdir);
            EXPECT_EQ(c.vdir, vdir);
        }
    };
    auto led = [&](int w, int h) {
        edit_and_pass([&](uint8_t*) {
            set_word(ram_led_width, uint16_t(w));
            set_word(ram_led_height, uint16_t(h));
            set_word(ram_output_rect + 4, uint16_t(w));
            set_word(ram_output_rect + 6, uint16_t(h));
        });
    };
    screen(Screen{3840, 2160, 0, 3840, 2160});
    edit_and_pass([&](uint8_t*) {
        put_window(0, Win{0, 1200, 3840, 960});
        set_word(ram_window_addr(0, WIN_ROTATE), 1);
    });
    mirrors(-1, 1);

    led(1920, 1080);   // window 0 now begins below the screen
    expect_whole(0, 1920, 1080, 1, 1);
    {
        SCOPED_TRACE("fallen back");
        mirrors(1, 1);
    }
    edit_and_pass([&](uint8_t*) { set_word(ram_window_addr(0, WIN_ROTATE), 3); });
    {
        SCOPED_TRACE("rotate written while fallen back");
        mirrors(1, 1);
    }
    led(3840, 2160);
    expect_whole(0, 3840, 960, 1, 1);
    {
        SCOPED_TRACE("fitting again");
        mirrors(-1, -1);
    }
}

// The fallback window shows the first listed window's source (window 0's when none is
// listed), and a change of that window's source reaches it.
TEST_F(WallLayout, FallbackWindowShowsTheFirstListedSource)
{
    auto shows = [&](int source) {
        ASSERT_EQ(mgr_->gMwin.wincnt, 1);
        const int c = mgr_->first_ich(0);
        ASSERT_GE(c, 0);
        EXPECT_EQ(chip(c331::ICHSEL_BASE + (uint32_t(c) << 8)), 2u * mgr_->tlxApi_inputCvtC331(source));
    };
    screen(Screen{3840, 2160, 0, 3840, 2160});
    edit_and_pass([&](uint8_t*) {
        put_window(0, Win{0, 0, 1920, 1080}, 0);
        put_window(1, Win{1920, 0, 1920, 1080}, 1);
    });
    edit_and_pass([&](uint8_t*) {
        set_word(ram_window_addr(0, WIN_ENABLE), 0);
        set_word(ram_window_addr(1, WIN_WIDTH), 8000);   // beyond the screen
    });
    {
        SCOPED_TRACE("window 1 first listed");
        shows(1);
    }
    edit_and_pass([&](uint8_t*) { set_word(ram_window_addr(1, WIN_SOURCE), 2); });
    {
        SCOPED_TRACE("window 1's source changed");
        shows(2);
    }
    edit_and_pass([&](uint8_t*) { set_word(ram_window_addr(1, WIN_ENABLE), 0); });
    {
        SCOPED_TRACE("none listed");
        shows(0);
    }
}

// An 8K x 4K screen in one piece does not fit the channels' totals: the layout on the wall
// stays as it was (no start line beyond the total), and a screen that fits is taken later.
TEST_F(WallLayout, ScreenBeyondTheChannelsKeepsTheLayoutShown)
{
    screen(Screen{3840, 2160, 0, 3840, 2160});
    const std::array<uint16_t, 7> words = layout_words();
    const uint32_t vst = chip(c331::OCH_ACT_VST), vtotal = chip(c331::OCH_VTOTAL);
    for (int splice : {0, 4}) {
        SCOPED_TRACE(splice);
        screen(Screen{7680, 4320, splice, 7680, 4320});
        for (int k = 0; k < 8; ++k) {
            EXPECT_EQ(chip(c331::OCH_VTOTAL, k), vtotal) << "channel " << k;
            EXPECT_LT(chip(c331::OCH_ACT_VST, k), chip(c331::OCH_VTOTAL, k)) << "channel " << k;
        }
        EXPECT_EQ(chip(c331::OCH_ACT_VST), vst);
        EXPECT_EQ(layout_words(), words);
        EXPECT_EQ(mgr_->pnl.w, 3840);
        // The window list falls back to the screen shown.
        expect_whole(0, 3840, 2160, 1, 1);
    }
    screen(Screen{7680, 4320, 2, 7680, 2160});
    EXPECT_EQ(mgr_->pnl.w, 7680);
    expect_whole(0, 7680, 4320, 2, 2);
}

// A wall the output channels show only split (8K x 4K in splice HV, V or H, with one window or
// two) is on the wall after a power cycle as before it: the start keeps its splice mode. A
// wall that shows in one piece starts in one piece (the splice mode cleared), as does one
// that shows in neither.
TEST_F(WallLayout, PowerCycleShowsTheWallShownBefore)
{
    struct Case {
        Screen s;
        std::vector<Win> wins;
        int splice_after;
        int cols, rows;   // window 0's channels after the start
    } cases[] = {
        {{7680, 4320, 1, 7680, 2160}, {{0, 0, 7680, 4320}}, 1, 2, 2},
        {{7680, 4320, 1, 7680, 2160}, {{0, 0, 3840, 4320}, {3840, 0, 3840, 4320}}, 1, 1, 2},
        {{7680, 4320, 3, 3840, 4320}, {{0, 0, 7680, 4320}}, 3, 4, 1},
        {{7680, 4320, 3, 3840, 4320}, {{0, 0, 7680, 2160}, {1000, 2160, 5000, 2160}}, 3, 4, 1},
        {{7680, 4320, 2, 7680, 2160}, {{0, 0, 7680, 4320}}, 2, 2, 2},
        {{8192, 4096, 3, 4096, 4096}, {{0, 0, 8192, 4096}}, 3, 4, 1},
        {{3840, 2160, 3, 1920, 2160}, {{0, 0, 3840, 2160}}, 0, 1, 1},
        {{3840, 4320, 1, 3840, 2160}, {{0, 0, 3840, 4320}}, 0, 2, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(name(c.s) + ", " + std::to_string(c.wins.size()) + " window(s)");
        edit_and_pass([&](uint8_t*) {
            put_screen(c.s);
            for (size_t w = 0; w < c.wins.size(); ++w)
                put_window(int(w), c.wins[w], int(w));
        });
        const std::vector<std::string> before = wall();
        const std::array<uint16_t, 7> words = layout_words();
        power_cycle();
        EXPECT_EQ(ram_rd16(img(), ram_splice_mode), c.splice_after);
        EXPECT_EQ(mgr_->pnl.w, c.s.w);
        EXPECT_EQ(mgr_->pnl.h, c.s.h);
        expect_whole(0, c.wins[0].w, c.wins[0].h, c.cols, c.rows);
        if (c.splice_after != SPLICE_NONE) {
            EXPECT_EQ(wall(), before);
            EXPECT_EQ(layout_words(), words);
        }
    }
    EXPECT_EQ(logged("cannot be shown by the output channels"), 0);
}

// A first output taller (or wider) than the screen is kept inside it: the channels are the
// screen's size, not a sliver of a wrapped 8K plan.
TEST_F(WallLayout, FirstOutputBeyondTheScreenIsKeptInsideIt)
{
    for (int splice : {1, 2}) {
        SCOPED_TRACE(splice);
        screen(Screen{1920, 1080, splice, 1920, 3000});
        EXPECT_EQ(mgr_->pnl.och.width, 1920);
        EXPECT_EQ(mgr_->pnl.och.height, 1080);
        EXPECT_EQ(layout_words()[4], 1920);
        EXPECT_EQ(layout_words()[5], 1080);
        expect_whole(0, 1920, 1080, 1, 1);
    }
    screen(Screen{3840, 1080, 3, 5000, 1080});
    EXPECT_EQ(mgr_->pnl.och.width, 3840);
    expect_whole(0, 3840, 1080, 1, 1);
    EXPECT_EQ(logged("first output 1920x3000 beyond the LED 1920x1080 in SPLICE MODE: V; kept inside the LED"), 1);
    EXPECT_EQ(logged("first output 5000x1080 beyond the LED 3840x1080 in SPLICE MODE: H; kept inside the LED"), 1);
}

class WallLayoutStart : public WallLayout {
protected:
    void SetUp() override
    {
        ScalerFixture::SetUp();
        put_screen(Screen{7680, 4320, 0, 7680, 4320});
        std::memcpy(shd(), img(), RAM_IMAGE_SIZE);
        bring_up();
        for (int s = 0; s < kSourceCount; ++s)
            publish(s, row_1080p60());
        mgr_->c331managerdeal(mgr_);
    }
};

// A stored screen the channels cannot show starts on the factory layout, not on a timing
// with its start lines beyond the totals.
TEST_F(WallLayoutStart, StoredScreenBeyondTheChannelsStartsOnTheFactoryLayout)
{
    EXPECT_EQ(mgr_->pnl.w, 4096);
    EXPECT_EQ(mgr_->pnl.h, 2048);
    for (int k = 0; k < 8; ++k)
        EXPECT_LT(chip(c331::OCH_ACT_VST, k), chip(c331::OCH_VTOTAL, k)) << "channel " << k;
    EXPECT_EQ(layout_words(), (std::array<uint16_t, 7>{0, 0, 1, 1, 4096, 2048, 0}));
    expect_whole(0, 4096, 2048, 1, 1);
}

}  // namespace
