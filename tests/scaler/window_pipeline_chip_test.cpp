// The window pipeline on the simulated chip: input channels, layers, fade and freeze, input
// following from the receivers' records, and window slots versus list positions.
#include "platform/virtual_clock.h"
#include "scaler/c331_regs.h"
#include "scaler/pipeline_regs.h"
#include "scaler_fixture.h"

namespace {

class WindowPipeline : public ScalerFixture {
protected:
    void TearDown() override
    {
        platform::set_clock(nullptr);
        g_force_bkcolor = 1;
        ScalerFixture::TearDown();
    }
    int fd() const { return mgr_->c331_fd; }
};

TEST_F(WindowPipeline, InputChannelBudget)
{
    c331_manage& m = *mgr_;
    auto reset = [&] {
        for (int w = 0; w < 6; ++w) {
            m.PM_WIN_SHAPE[w][0] = m.PM_WIN_SHAPE[w][1] = 0;
            m.PM_WIN_DBD_MODE[w] = m.g_chg_dbd[w] = m.g_chg_input[w] = 0;
            m.PM_INPUT[w] = 6;
        }
        for (int c = 0; c < 8; ++c)
            m.ich_owner[c] = -1;
        for (int p = 0; p < 6; ++p)
            m.PI_SCAN_MODE[p] = 0;
    };
    auto place = [&](int w, uint32_t port) {
        m.PM_WIN_SHAPE[w][0] = m.PM_WIN_SHAPE[w][1] = 1;
        m.PM_INPUT[w] = port;
        return m.set_input(w, int(port));
    };
    reset();
    EXPECT_EQ(place(0, 0), 0);
    EXPECT_EQ(place(1, 1), 0);
    EXPECT_EQ(place(2, 2), 0);
    EXPECT_EQ(place(3, 3), 0);
    EXPECT_EQ(m.win_ich[3][0], 3);   // the partner of a used channel, not a free pair
    EXPECT_EQ(place(4, 4), 0);        // V-by-One: a whole pair
    EXPECT_EQ(m.win_ich[4][0], 4);
    EXPECT_EQ(m.win_ich[4][1], 5);
    EXPECT_EQ(place(5, 5), 0);        // exactly eight
    EXPECT_EQ(m.win_ich[5][0], 6);
    m.PM_INPUT[3] = 4;                // nine: refused, the window keeps nothing new
    EXPECT_EQ(m.check_ich_all(3), -1);
    EXPECT_EQ(m.set_input(3, 4), 2);
    // Handed out afresh, the windows before the one that does not fit keep theirs.
    m.assign_ichs();
    for (int w = 0; w < 5; ++w)
        EXPECT_GE(m.first_ich(w), 0) << "window " << w;
    EXPECT_EQ(m.first_ich(5), -1);

    // An interlaced port needs a deinterlacer channel (0..3): an ordinary window moves out.
    reset();
    for (int w = 0; w < 4; ++w)
        place(w, w == 1 ? 2 : uint32_t(w));
    m.PI_SCAN_MODE[1] = 1;
    EXPECT_EQ(place(4, 1), 1);
    EXPECT_EQ(m.win_ich[4][0], 0);
    EXPECT_EQ(m.win_ich[0][0], 4);
    EXPECT_EQ(m.g_chg_input[0], 2u);

    // A port past the six (a stale source) gets no channel and addresses nothing.
    reset();
    EXPECT_EQ(place(0, 255), 2);
    EXPECT_EQ(m.first_ich(0), -1);
}

TEST_F(WindowPipeline, ChannelsOutsideTheChipAreNeverAddressed)
{
    bring_up();
    c331_manage& m = *mgr_;
    for (int c = 0; c < 8; ++c)
        m.ich_owner[c] = -1;
    m.rebuild_win_ich();
    m.PM_INPUT[0] = 1;
    m.PI_STATE[1] = 4;
    model_->clear_writes();
    m.set_ichsel(fd(), 0);
    m.set_idual(fd(), -1, 1, 1);
    m.set_idual(fd(), 8, 1, 1);
    m.win_freeze_sel(fd(), 0, 2);
    m.set_mct(fd(), 0, 0);
    m.set_display_window_ich(fd(), {0, 1920, 0, 1080}, {0, 1920, 0, 1080}, 0);
    m.set_lut_hshrnk(fd(), 65536, 8, 0);
    m.set_lut_vshrnk_4sym(fd(), 65536, 8, 1);
    m.set_lut_vzoom_4sym(fd(), 0, 8);
    m.set_ip(fd(), 4);
    EXPECT_TRUE(model_->writes().empty());

    // Coefficients of the filters for a real channel: set 44 for no shrink, row 9.
    m.set_lut_hshrnk(fd(), 65536, 2, 1);
    EXPECT_EQ(writes_to(0x00, 0x79), std::vector<uint8_t>{44});
    EXPECT_EQ(writes_to(0x00, 0x7A), (std::vector<uint8_t>{131 + 8, 135 + 8}));
    m.set_lut_vshrnk_4sym(fd(), 32768, 6, 1);   // row 3, also in the partner's block
    EXPECT_EQ(chip(0x117F01, 6), 26u);
    EXPECT_EQ(chip(0x117F01, 7), 26u);
}

TEST_F(WindowPipeline, LayersFollowWindowPriorities)
{
    bring_up();
    c331_manage& m = *mgr_;
    m.gMwin.wincnt = 2;
    for (int k = 0; k < 8; ++k)
        m.PM_WIN_NUM[k] = 6, m.PM_OVERLAY[k] = 0;
    m.PM_WIN_NUM[0] = 0, m.PM_WIN_NUM[1] = 1;
    m.PM_OVERLAY[0] = m.PM_OVERLAY[1] = 1;
    m.pwinfo[0].priority = 0;
    m.pwinfo[1].priority = 1;
    m.c331_SetWinPriority1(fd());
    EXPECT_EQ(chip(c331::OVERLAY, 0), 0x89u);
    EXPECT_EQ(chip(c331::OVERLAY, 1), 0u);
    // Combination 3 (both layers): the priority-0 window, layer slot 1, is opaque alone.
    EXPECT_EQ(chip(c331::LAYER_COEF + (15u << 8)), 0u);
    EXPECT_EQ(chip(c331::LAYER_COEF + (16u << 8)), 128u);
    EXPECT_EQ(chip(c331::LAYER_COEF + (5u << 8)), 128u);   // combination 1: the lower one alone
    // A channel that shows no window (6) sorts lowest.
    m.PM_OVERLAY[2] = 1;
    m.PM_OVERLAY_PRI[0] = 9;
    m.update_overlay_info();
    m.set_overlay(fd());
    EXPECT_EQ(chip(c331::OVERLAY, 0), 0x89Au);
    // Image priority words are folded to the six layers.
    m.c331_SetWinPriority(1, 9);
    EXPECT_EQ(m.pwinfo[1].priority, 3);
}

TEST_F(WindowPipeline, InputFollowingReachesTheWindow)
{
    bring_up();
    c331_manage& m = *mgr_;
    g_force_bkcolor = 2;   // the outputs have started: no forced background any more
    publish(2, row_1080p60());
    m.load_hdmi();
    m.c331_SetInputsource(0, 2);   // source 2 is port 1, receiver row 2
    EXPECT_EQ(m.PM_INPUT[0], 1u);
    EXPECT_EQ(m.PI_STATE[1], 4u);
    EXPECT_EQ(m.PI_UPDATE[1], 1u);
    EXPECT_EQ(m.PI_PORT_INFO[1].htt, 2200u);
    EXPECT_EQ(m.PI_PORT_INFO[1].period, 3333333u);
    const int c = m.first_ich(0);
    ASSERT_GE(c, 0);
    EXPECT_EQ(chip(c331::ICHSEL_BASE + (uint32_t(c) << 8)), 2u);
    EXPECT_EQ(chip(c331::ICH_ACT_HST, c), 44u + 148u - 7u);
    EXPECT_EQ(chip(c331::ICH_ACT_HW, c), 1920u);
    EXPECT_EQ(chip(c331::ICH_ACT_VST, c), 5u + 36u + 1u);
    EXPECT_EQ(chip(c331::ICH_ACT_VW, c), 1080u);
    EXPECT_EQ(chip(c331::OCH_BKG_EN, 0), 0u);

    board(R"({"inputs": [{}, {}, {"signal": false}]})");
    model_->clear_writes();
    m.c331managerdeal(&m);
    EXPECT_EQ(m.PI_STATE[1], 0u);
    EXPECT_EQ(chip(c331::OCH_BKG_EN, 0), 1u);
    EXPECT_EQ(m.PI_ACT[1][0], 16u);
    EXPECT_EQ(m.PI_ACT[1][1], 0u);
    EXPECT_EQ(m.PI_ACT[1][2], 16u);
    EXPECT_EQ(m.PI_ACT[1][3], 0u);
}

TEST_F(WindowPipeline, VByOneWindowSelectsItsLanes)
{
    bring_up();
    c331_manage& m = *mgr_;
    HDMI_INFO uhd = row_1080p60();
    uhd.Hact = 3840, uhd.Htotal = 4400, uhd.Vact = 2160, uhd.Vtotal = 2250, uhd.type = 1, uhd.lanes = 8;
    publish(4, uhd);
    board(R"({"inputs": [{}, {}, {}, {}, {"format": "2160p60", "lanes": 8}]})");
    m.load_hdmi();
    m.c331_SetInputsource(0, 4);   // port 5
    EXPECT_EQ(m.PI_STATE[5], 1u);
    EXPECT_EQ(m.PI_ACT[5][1], 1920u);
    const int c = m.first_ich(0);
    ASSERT_GE(c, 0);
    EXPECT_EQ(chip(c331::ICHSEL_BASE + (uint32_t(c) << 8)), 12u);
    EXPECT_EQ(chip(c331::ICHSEL_BASE + (uint32_t(c + 1) << 8)), 14u);
    EXPECT_EQ(chip(c331::VBO_RX_LANES + c331::VBO_RX_STRIDE), 0xFFu);
}

TEST_F(WindowPipeline, SourceSwitchFadesWithTheEffectBitElseFreezes)
{
    bring_up();
    const uint32_t out = ram_window_addr(0, WIN_OUTPUT);
    edit_and_pass([&](uint8_t*) {
        set_word(out, WIN_OUT_SWITCH_EFFECT);
        set_word(ram_fade_frames, 4);
        set_word(ram_fade_frames + 2, 4);
    });
    model_->clear_writes();
    edit_and_pass([&](uint8_t*) { set_word(ram_window_addr(0, WIN_SOURCE), 2); });
    // Combination 1, slot 0 of output channel 0: out over five frames, in over five.
    EXPECT_EQ(writes_to(0x0E, 0x12 + 5), (std::vector<uint8_t>{128, 96, 64, 32, 0, 0, 32, 64, 96, 128}));
    const int c = mgr_->first_ich(0);
    ASSERT_GE(c, 0);
    EXPECT_EQ(index_of(uint8_t(0x10 + 16 * c), 0x09, 2), -1);

    edit_and_pass([&](uint8_t*) { set_word(out, 0); });
    model_->clear_writes();
    edit_and_pass([&](uint8_t*) { set_word(ram_window_addr(0, WIN_SOURCE), 3); });
    const int c2 = mgr_->first_ich(0);
    const long frozen = index_of(uint8_t(0x10 + 16 * c), 0x09, 2);
    ASSERT_GE(frozen, 0);
    EXPECT_GE(index_of(0x16, 0x6C, -1, frozen), frozen);   // released after reprogramming
    EXPECT_GE(c2, 0);
    EXPECT_TRUE(writes_to(0x0E, 0x12 + 5).empty());
}

TEST_F(WindowPipeline, FadeWithoutOutputSyncIsBounded)
{
    board(R"({"c331_vsync": false})");
    bring_up();
    platform::VirtualClock vclock(1000);
    platform::set_clock(&vclock);
    const uint32_t out = ram_window_addr(0, WIN_OUTPUT);
    edit_and_pass([&](uint8_t*) {
        set_word(out, WIN_OUT_SWITCH_EFFECT);
        set_word(ram_fade_frames, 0xFFFF);
        set_word(ram_fade_frames + 2, 0xFFFF);
    });
    const uint64_t start = vclock.now_us();
    edit_and_pass([&](uint8_t*) { set_word(ram_window_addr(0, WIN_SOURCE), 2); });
    EXPECT_LT(vclock.now_us() - start, 2000000u);
    // The fade ended on its end coefficients (fully in) and left the image lock free.
    EXPECT_EQ(writes_to(0x0E, 0x12 + 5).back(), 128);
    EXPECT_TRUE(c331_shared::c331_lock.tryLock());
    c331_shared::c331_lock.unlock();
}

TEST_F(WindowPipeline, WindowSlotsMapToListPositions)
{
    bring_up();
    const uint32_t s2 = ram_window_addr(2, 0);
    edit_and_pass([&](uint8_t*) {
        set_word(s2 + WIN_ENABLE, 1);
        set_word(s2 + WIN_X, 0);
        set_word(s2 + WIN_Y, 0);
        set_word(s2 + WIN_WIDTH, 1000);
        set_word(s2 + WIN_HEIGHT, 800);
        set_word(s2 + WIN_SOURCE, 3);
    });
    c331_manage& m = *mgr_;
    ASSERT_EQ(m.gMwin.wincnt, 2);
    ASSERT_EQ(m.slot_pos[2], 1);
    EXPECT_EQ(m.PM_INPUT[1], 0u);
    edit_and_pass([&](uint8_t*) { set_word(s2 + WIN_SOURCE, 1); });   // source 1: port 2
    EXPECT_EQ(m.PM_INPUT[1], 2u);
    EXPECT_EQ(m.PM_INPUT[0], 5u);
    const int c = m.first_ich(1);
    ASSERT_GE(c, 0);
    EXPECT_EQ(chip(c331::ICHSEL_BASE + (uint32_t(c) << 8)), 4u);
    // The disabled slot 1 switches nothing.
    edit_and_pass([&](uint8_t*) { set_word(ram_window_addr(1, WIN_SOURCE), 0); });
    EXPECT_EQ(m.PM_INPUT[1], 2u);
}

TEST_F(WindowPipeline, FreezeBitAndEffectBitInOneWrite)
{
    bring_up();
    c331_manage& m = *mgr_;
    const uint32_t out = ram_window_addr(0, WIN_OUTPUT);
    // Without signal a freeze is refused; the effect bit is taken all the same.
    edit_and_pass([&](uint8_t*) { set_word(out, WIN_OUT_FREEZE | WIN_OUT_SWITCH_EFFECT); });
    EXPECT_EQ(m.pwinfo[0].output & 2, 0);
    EXPECT_EQ(m.win_switch_effect[0], 1u);
    edit_and_pass([&](uint8_t*) { set_word(out, 0); });
    publish(4, row_1080p60());   // source 4: port 5, the window's
    m.c331managerdeal(&m);
    ASSERT_EQ(m.PI_STATE[5], 4u);
    edit_and_pass([&](uint8_t*) { set_word(out, WIN_OUT_FREEZE | WIN_OUT_SWITCH_EFFECT); });
    EXPECT_EQ(m.pwinfo[0].output & 2, 2);
    EXPECT_EQ(m.win_switch_effect[0], 1u);
    // A later reprogramming leaves the frozen window frozen.
    const int c = m.first_ich(0);
    ASSERT_GE(c, 0);
    edit_and_pass([&](uint8_t*) { set_word(ram_window_addr(0, WIN_ROTATE), 1); });
    EXPECT_EQ(chip(c331::ICH_SYNC_CTRL, c), 2u);
}

TEST_F(WindowPipeline, DebugListingsShowTheChannelTables)
{
    bring_up();
    c331_manage& m = *mgr_;
    const int c = m.first_ich(0);
    ASSERT_GE(c, 0);
    testing::internal::CaptureStdout();
    m.tlxDbg_c331_print_regGrp(0);
    m.tlxDbg_c331_param(2);
    m.tlxDbg_c331_param(0);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("ich_used: ICH" + std::to_string(c + 1)), std::string::npos);
    EXPECT_NE(out.find("INPUT_VBORX_1"), std::string::npos);
    EXPECT_NE(out.find("g_och_layer[0][0]:0 , g_och_layer_cnt=1"), std::string::npos);
    EXPECT_NE(out.find("PM_24SF[5]"), std::string::npos);
}

TEST_F(WindowPipeline, OneWindowPresetLeavesTheLiveListAlone)
{
    bring_up();
    c331_manage& m = *mgr_;
    const ST_RECT live = m.gMwin_rects[0] = ST_RECT{10, 20, 300, 400};
    ST_MWIN preset{};
    m.tlxApi_MultiWinGet(&preset);
    ASSERT_EQ(preset.wincnt, 1);
    EXPECT_EQ(preset.pwin, m.mwin_preset[0].win);
    EXPECT_EQ(preset.pwin[0].w, m.pnl.w);
    EXPECT_EQ(preset.pwin[0].h, m.pnl.h);
    EXPECT_EQ(m.gMwin_rects[0].x, live.x);
    EXPECT_EQ(m.gMwin_rects[0].w, live.w);
}

}  // namespace
