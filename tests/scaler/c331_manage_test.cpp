// Probe gate, bring-up, initial register image, update timing and the default parameters.
#include "scaler_fixture.h"

#include "core/ram_map.h"
#include "core/requests.h"
#include "platform/virtual_clock.h"

namespace {

class ProbeTest : public ScalerFixture {
protected:
    int id_fail_reads() const override { return 3; }
};

TEST_F(ProbeTest, BadReadsThenFiveGoodOpenTheGateOnlyAfterBringUp)
{
    // The start-up read of the identifier took the first bad answer.
    for (int i = 0; i < 2; ++i) {
        mgr_->thread_pass();
        EXPECT_EQ(mgr_->thread_state, 0) << "bad read " << i;
    }
    for (int i = 1; i <= 5; ++i) {
        mgr_->thread_pass();
        EXPECT_EQ(mgr_->thread_state, i);
    }
    EXPECT_EQ(g_fpga_c331_start, 0u);   // probed, not yet brought up
    mgr_->thread_pass();
    EXPECT_EQ(mgr_->thread_state, c331_manage::kStateRunning);
    EXPECT_EQ(g_fpga_c331_start, 1u);
    EXPECT_EQ(model_->id_reads(), 1u + 2u + 5u);
}

class SilentChipTest : public ScalerFixture {
protected:
    int id_fail_reads() const override { return 1000; }
};

size_t count_of(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TEST_F(SilentChipTest, ProbeReportsASilentChipAtMostOncePerSecond)
{
    platform::VirtualClock vclock(5000000);
    platform::set_clock(&vclock);
    const uint8_t dbg = g_debugSwitch;
    g_debugSwitch = 254;
    testing::internal::CaptureStdout();
    for (int i = 0; i < 200; ++i)
        mgr_->thread_pass();
    vclock.advance_us(1000000);
    for (int i = 0; i < 200; ++i)
        mgr_->thread_pass();
    const std::string out = testing::internal::GetCapturedStdout();
    g_debugSwitch = dbg;
    platform::set_clock(nullptr);
    EXPECT_EQ(count_of(out, "error c331_id = 00"), 2u);
    EXPECT_EQ(mgr_->thread_state, 0);
    EXPECT_EQ(g_fpga_c331_start, 0u);
}

TEST_F(ScalerFixture, BringUpWritesTheFactoryLayoutBack)
{
    bring_up();
    const uint16_t want[7] = {0, 0, 1, 1, 4096, 2048, 0};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(ram_rd16(img(), ram_och_layout + 2 * i), want[i]) << "word " << i;
    // The forced background colour of every output channel (start value 1).
    for (uint32_t c = 0; c < 8; ++c) {
        EXPECT_EQ(model_->value(0x084903, 16 * c), 0x00FF00u) << "channel " << c;
        EXPECT_EQ(model_->value(0x084801, 16 * c), 1u);
    }
    EXPECT_EQ(model_->value(0x002901) & 1, 0u);   // update timing released
}

// The file held output offsets the panel set-up does not give (a tool wrote them before the
// restart): the start runs the computed ones, and a tool writing the file's offsets again
// has them sent to the FPGA.
TEST_F(ScalerFixture, OffsetsOfTheFileWrittenAgainAfterAStartReachTheFpga)
{
    auto offsets = [](uint8_t* m, uint16_t x, uint16_t y) {
        ram_wr16(m, ram_och_layout, x);
        ram_wr16(m, ram_och_layout + 2, y);
    };
    offsets(img(), 100, 50);   // as the start's load of the file leaves the image and its copies
    offsets(store_->ram_applied, 100, 50);
    offsets(shd(), 100, 50);
    scaler_req::applied_och_offsets = 100 | 50 << 16;
    bring_up();
    EXPECT_EQ(ram_rd16(img(), ram_och_layout), 0);
    EXPECT_EQ(ram_rd16(img(), ram_och_layout + 2), 0);
    EXPECT_EQ(scaler_req::applied_och_offsets, 0u);   // handed over before the FPGA's first page
    scaler_req::net_para_dirty = 0;
    edit_and_pass([&](uint8_t* m) { offsets(m, 100, 50); });
    EXPECT_EQ(scaler_req::net_para_dirty, 1);
    scaler_req::net_para_dirty = 0;
    edit_and_pass([&](uint8_t* m) { offsets(m, 0, 0); });
    EXPECT_EQ(scaler_req::net_para_dirty, 1);
    scaler_req::net_para_dirty = 0;
}

TEST_F(ScalerFixture, ReprobeRequestRepeatsTheBringUp)
{
    bring_up();
    edit_and_pass([](uint8_t*) {});
    store_->reg_byte(162)[0] = 0x40;
    edit_and_pass([](uint8_t*) {});
    EXPECT_EQ(mgr_->thread_state, 0);
    EXPECT_EQ(store_->reg_byte(162)[0], 0);
    bring_up();   // five probes and a full bring-up again
    EXPECT_EQ(g_fpga_c331_start, 1u);
}

TEST_F(ScalerFixture, UpdateTimingHoldAndRelease)
{
    mgr_->set_rtct(mgr_->c331_fd, 2);
    for (uint32_t r = 0x22; r <= 0x28; ++r)
        EXPECT_EQ(model_->reg(0x00, r), 0xFF);
    mgr_->set_rtct(mgr_->c331_fd, 1);
    const uint8_t want[7] = {0x99, 0x99, 0x21, 0x43, 0x55, 0x77, 0x99};
    for (uint32_t i = 0; i < 7; ++i)
        EXPECT_EQ(model_->reg(0x00, 0x22 + i), want[i]);
    EXPECT_EQ(model_->reg(0x00, 0x29) & 1, 0);
    // Bit 0 of 0x29 was pulsed around each change.
    EXPECT_EQ(writes_to(0x00, 0x29), (std::vector<uint8_t>{1, 0, 1, 0}));
}

TEST_F(ScalerFixture, InitialSettingWithoutPllSkipsPllMemoryAndVboStart)
{
    mgr_->load_system_param();
    mgr_->define_param();
    EXPECT_EQ(mgr_->vbo_band_value(1), 76);
    EXPECT_EQ(mgr_->vbo_band_value(0), 0);
    model_->clear_writes();
    mgr_->write_initial_setting(mgr_->c331_fd, 0);
    for (const auto& w : model_->writes()) {
        ASSERT_NE(w.bank, 0xFF);
        ASSERT_NE(w.bank, 0x01);
        ASSERT_FALSE(w.bank == 0x02 && w.reg == 0x7F);
    }
    // Spot checks across the image.
    EXPECT_EQ(writes_to(0x00, 0x7A).size(), 16u);
    EXPECT_EQ(writes_to(0x00, 0x7A).back(), 0x9D);
    EXPECT_EQ(model_->value(0x035504), 0x73625140u);
    EXPECT_EQ(model_->value(0x042B02), 0xF000u);
    EXPECT_EQ(model_->value(0x661C04), 0x8000u + 0x1E00u);          // group 4 plus the offset
    EXPECT_EQ(model_->value(0x862004), 0x08800000u + 0xA000u + 0x1E00u);
    EXPECT_EQ(model_->value(0x175B04, 48), 0x6B913800u);
    EXPECT_EQ(model_->value(0x080A02, 112), 2198u);
    EXPECT_EQ(model_->value(0x084602, 16), 2161u);
    EXPECT_EQ(model_->value(0x034401), 43u);                           // HSW / 2 - 1
    EXPECT_EQ(model_->value(0x0E0904, 0x70), 15u);
    EXPECT_EQ(model_->value(0x600901), 12u);
}

TEST_F(ScalerFixture, InitialSettingWithPllStartsPllAndVboWithTheBand)
{
    mgr_->load_system_param();
    mgr_->define_param();
    model_->clear_writes();
    mgr_->write_initial_setting(mgr_->c331_fd, 1);
    EXPECT_EQ(writes_to(0x02, 0x18), (std::vector<uint8_t>{76}));
    EXPECT_EQ(writes_to(0xFF, 0x02), (std::vector<uint8_t>{0xC8, 0, 0x88, 0xC8}));
    EXPECT_EQ(model_->value(0x015803 + (7 * 3 << 8)), 0x6DB6DBu);
    EXPECT_EQ(writes_to(0x02, 0x78), (std::vector<uint8_t>{76, 9}));
    // Reset pulses of receivers 0, 1 and the two transmitter halves, each back to idle.
    EXPECT_EQ(writes_to(0x02, 0x7F), (std::vector<uint8_t>{0x0E, 0x0F, 0x0D, 0x0F, 0x0B, 0x0F, 0x07, 0x0F}));
    for (uint32_t id : {0x024F01u, 0x026B01u})
        EXPECT_EQ(model_->value(id), 0x80u) << std::hex << id;
    for (uint32_t id : {0x024C01u, 0x026801u})
        EXPECT_EQ(model_->value(id), 0xA3u) << std::hex << id;
    // Each transmitter half: enabled 0 then 1 around its set-up, control word ends at 0x8011.
    EXPECT_EQ(writes_to(0x02, 0x1C), (std::vector<uint8_t>{0, 1}));
    EXPECT_EQ(writes_to(0x02, 0x34), (std::vector<uint8_t>{0, 1}));
    EXPECT_EQ(model_->value(0x020A02), 0x8011u);
    EXPECT_EQ(model_->value(0x027A02), 0x8011u);
    EXPECT_EQ(model_->value(0x020801), 9u);
    EXPECT_EQ(model_->value(0x022B01), 0x11u);
}

TEST_F(ScalerFixture, DefaultParametersRaiseFlagsOnlyForChanges)
{
    mgr_->load_param();
    EXPECT_EQ(mgr_->PM_INPUT[0], 4u);
    EXPECT_EQ(mgr_->PM_OVERLAY_PRI[0], 1u);
    for (int w = 0; w < 5; ++w)
        EXPECT_EQ(mgr_->g_chg_input[w], 1u) << w;
    EXPECT_EQ(mgr_->g_chg_input[5], 0u);   // PM_INPUT[5] was already 0
    EXPECT_EQ(mgr_->g_chg_pri, 1u);
    EXPECT_EQ(mgr_->PM_WIN_STITCHING[3], 3u);

    mgr_->load_param();
    for (int w = 0; w < c331_manage::kWindows; ++w) {
        EXPECT_EQ(mgr_->g_chg_win[w] | mgr_->g_chg_input[w] | mgr_->g_chg_attr[w] | mgr_->g_chg_fade[w] |
                      mgr_->g_chg_dbd[w],
                  0u)
            << w;
    }
    EXPECT_EQ(mgr_->g_chg_overlay | mgr_->g_chg_pri | mgr_->g_chg_osd, 0u);
    EXPECT_EQ(mgr_->g_chg_osd_extra[0], 0u);
}

TEST_F(ScalerFixture, SystemParametersAndPanelShape)
{
    mgr_->load_system_param();
    mgr_->define_param();
    EXPECT_EQ(mgr_->PS_OAOIHST, 176u);
    EXPECT_EQ(mgr_->PS_OAOIHED, 2096u);
    EXPECT_EQ(mgr_->PS_OAOIVED, 82u + 2160u);
    EXPECT_EQ(mgr_->PS_PANEL_HW, 4u * 1920u);
    EXPECT_EQ(mgr_->PS_PANEL_HSHAPE, 4u);
    EXPECT_EQ(mgr_->PS_CLK[4], 200000000u);
    mgr_->PS_VBOTX_MODE = 2;
    mgr_->PS_VBOTX_LAYOUT = 1;
    mgr_->define_param();
    EXPECT_EQ(mgr_->PS_PANEL_HW, 1920u);
    EXPECT_EQ(mgr_->PS_PANEL_VW, 4320u);
    EXPECT_EQ(mgr_->och_assign[3][1], 3);
    EXPECT_EQ(mgr_->mwin_preset[9].count, 6);
}

TEST_F(ScalerFixture, SimulatedChipIgnoresFramesWhileTheBusIsSteeredElsewhere)
{
    board_->soc().write16(sim::C331Model::kPadMuxA, 0);   // as the FPGA side leaves it mid-access
    const uint8_t tx[2] = {0x80, 0x33};
    uint8_t rx[2];
    model_->transfer(tx, rx, 2);
    EXPECT_NE(model_->selected_bank(), 0x33);
    EXPECT_EQ(model_->ignored_frames(), 1u);
    // The transport steers the bus itself before every transfer.
    mgr_->drv->write_C331(mgr_->c331_fd, 0x330501, 7, 0);
    EXPECT_EQ(model_->reg(0x33, 0x05), 7);
    EXPECT_EQ(mgr_->drv->read_C331(mgr_->c331_fd, 0x330001, 0), 0x33u);   // register 0 is the bank
}

}  // namespace

#include <sys/resource.h>

#include <chrono>
#include <thread>

namespace {

double cpu_seconds()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

TEST_F(ScalerFixture, ThreadIdlesCheaplyAndStillAppliesAnEditPromptly)
{
    using namespace std::chrono;
    ASSERT_EQ(mgr_->initialize(), 0);
    const auto deadline = steady_clock::now() + seconds(20);
    while (mgr_->thread_state != c331_manage::kStateRunning && steady_clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(5));
    ASSERT_EQ(mgr_->thread_state, c331_manage::kStateRunning);
    std::this_thread::sleep_for(milliseconds(50));

    const double c0 = cpu_seconds();
    const auto t0 = steady_clock::now();
    std::this_thread::sleep_for(milliseconds(400));
    const double used = (cpu_seconds() - c0) / duration<double>(steady_clock::now() - t0).count();
    EXPECT_LT(used, 0.10) << "idle scaler thread uses " << used * 100 << "% of a core";

    {
        QMutexLocker lk(&c331_shared::c331_lock);
        ram_wr16(img(), ram_brightness, 100);
        c331_shared::param_changed = 1;
    }
    const auto t1 = steady_clock::now();
    while (c331_shared::param_changed != 0 && steady_clock::now() - t1 < seconds(5))
        std::this_thread::sleep_for(milliseconds(1));
    EXPECT_EQ(c331_shared::param_changed, 0);
    EXPECT_LT(steady_clock::now() - t1, milliseconds(500));
    {
        std::lock_guard<std::recursive_mutex> lk(model_->device_lock());
        EXPECT_EQ(model_->value(0x0C3A02, 0x70), 0x0400u);
    }
    mgr_->stop_thread = true;
    std::this_thread::sleep_for(milliseconds(50));   // the thread leaves its loop within a period
}

}  // namespace
