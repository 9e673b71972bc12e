// The apply pass end to end on the simulated chip: picture words, requests for the other
// components, the change signal, raw register and debug requests, the LED-size hand-over.
#include "scaler_fixture.h"

#include <atomic>
#include <thread>

#include "common/hook_clock.h"
#include "common/remote_client.h"
#include "core/ram_map.h"
#include "core/requests.h"
#include "platform/virtual_clock.h"
#include "remote/message_deal.h"

namespace {

using testutil::operator+;

class ApplyPassTest : public ScalerFixture {
protected:
    void SetUp() override
    {
        ScalerFixture::SetUp();
        bring_up();
        for (int p = 0; p < 6; ++p)
            scaler_req::edid_request[p] = 0, scaler_req::edid_done[p] = 1;
        scaler_req::audio_select_request = 0;
        scaler_req::output_status_dirty = 0;
        scaler_req::applied_black_screen = 0;
        scaler_req::applied_och_offsets = 0;
        scaler_req::net_para_dirty = 0;
        g_set_led_para = 0;
        g_led_handback_owed = false;
    }
    void raw_request(uint32_t id, uint8_t op, uint8_t n, uint32_t data, uint16_t stride)
    {
        edit_and_pass([&](uint8_t* m) {
            ram_wr32(m, 0xF88, id);
            m[0xF8C] = op;
            m[0xF8D] = n;
            ram_wr32(m, 0xF8E, data);
            ram_wr16(m, 0xF92, stride);
        });
    }
    size_t chip_writes() const { return model_->writes().size(); }
};

TEST_F(ApplyPassTest, BrightnessReachesEveryChannelInsideTheUpdateHold)
{
    edit_and_pass([](uint8_t* m) { ram_wr16(m, ram_brightness, 100); });
    for (uint32_t c = 0; c < 8; ++c)
        for (uint32_t id : {0x0C3A02u, 0x0C3C02u, 0x0C3E02u})
            EXPECT_EQ(model_->value(id, 16 * c), 0x0400u) << std::hex << id << " ch " << c;
    const long hold = index_of(0x00, 0x22, 0xFF);
    const long first = index_of(0x0C, 0x3A);
    const long last = index_of(0x7C, 0x3F);
    const long release = index_of(0x00, 0x28, 0x99, last);
    ASSERT_GE(hold, 0);
    EXPECT_LT(hold, first);
    EXPECT_GT(release, last);
    EXPECT_EQ(codes_, (std::vector<int>{1}));
    EXPECT_EQ(c331_shared::param_changed, 0);
}

TEST_F(ApplyPassTest, ColourTemperatureAppliedOncePerPass)
{
    edit_and_pass([](uint8_t* m) { ram_wr16(m, ram_colour_temp_rgb, 70); });
    const size_t one_word = chip_writes();
    ASSERT_GT(one_word, 0u);
    model_->clear_writes();
    edit_and_pass([](uint8_t* m) {
        ram_wr16(m, ram_colour_temp_type, 0);
        ram_wr16(m, ram_colour_temp_rgb, 80);
        ram_wr16(m, ram_colour_temp_rgb + 2, 81);
        ram_wr16(m, ram_colour_temp_rgb + 4, 82);
    });
    EXPECT_EQ(chip_writes(), one_word);   // four words changed, one application
}

TEST_F(ApplyPassTest, PassWithoutTheFlagTouchesNothing)
{
    ram_wr16(img(), ram_brightness, 90);   // written without raising the flag
    mgr_->c331managerdeal(mgr_);
    EXPECT_EQ(chip_writes(), 0u);
    EXPECT_TRUE(codes_.empty());
    EXPECT_EQ(ram_rd16(img(), ram_brightness), 90);
}

TEST_F(ApplyPassTest, RequestsForTheOtherComponents)
{
    edit_and_pass([](uint8_t* m) {
        ram_wr16(m, ram_edid_addr(4), 1920);
        ram_wr16(m, ram_edid_addr(2) + 4, 50);
    });
    EXPECT_EQ(scaler_req::edid_request[2], 1);
    EXPECT_EQ(scaler_req::edid_done[2], 0);
    EXPECT_EQ(scaler_req::edid_request[4], 1);   // every changed record reaches its EEPROM
    EXPECT_EQ(scaler_req::edid_done[4], 0);
    EXPECT_EQ(scaler_req::edid_request[3], 0);
    EXPECT_EQ(scaler_req::output_status_dirty, 0);

    edit_and_pass([](uint8_t* m) { ram_wr16(m, ram_black_screen, 1); });
    EXPECT_EQ(scaler_req::output_status_dirty, 1);
    EXPECT_EQ(scaler_req::net_para_dirty, 0);

    edit_and_pass([](uint8_t* m) { ram_wr16(m, ram_och_layout, 16); });
    EXPECT_EQ(scaler_req::net_para_dirty, 1);
    EXPECT_EQ(scaler_req::applied_och_offsets, 16u);

    edit_and_pass([](uint8_t* m) { m[ram_selected_window] = 1; });
    EXPECT_EQ(scaler_req::audio_select_request, 1);
    EXPECT_EQ(codes_, (std::vector<int>{1, 1, 1, 1}));
}

// The played window's new source reaches the audio selection also when the same edit moves
// an earlier window (the re-layout ends the walk of the window records before its source).
TEST_F(ApplyPassTest, PlayedWindowSourceChangedWithARelayoutSelectsItsAudio)
{
    const uint16_t source = ram_rd16(img(), ram_window_addr(1, WIN_SOURCE));
    edit_and_pass([](uint8_t* m) { m[ram_selected_window] = 1; });
    for (bool move : {false, true}) {
        SCOPED_TRACE(move);
        scaler_req::audio_select_request = 0;
        edit_and_pass([&](uint8_t* m) {
            ram_wr16(m, ram_window_addr(1, WIN_SOURCE), source == 2 ? 3 : 2);
            if (move)
                ram_wr16(m, ram_window_addr(0, WIN_WIDTH), ram_rd16(m, ram_window_addr(0, WIN_WIDTH)) - 16);
        });
        EXPECT_EQ(scaler_req::audio_select_request, 1);
        edit_and_pass([&](uint8_t* m) { ram_wr16(m, ram_window_addr(1, WIN_SOURCE), source); });
    }
}

// A tool's frames arriving back to back: RAM writes and an apply (register 11 bit 1), then
// the scaler's pass; the parameter file is not written between two such applies (its write
// waits while a change is pending), so a change and its undo must both reach the wall.
class RemoteApplyTest : public ApplyPassTest {
protected:
    void ram_write_frame(uint32_t addr, const testutil::Bytes& b)
    {
        ASSERT_EQ(request(0x60, testutil::le32(addr) + testutil::le16(uint16_t(b.size())) + testutil::le16(0) + b), 0);
    }
    // The apply frame, then the scaler thread's pass.
    void apply_frame_and_pass()
    {
        ASSERT_EQ(request(0x62, testutil::Bytes{11, 2, 2}), 0);
        ASSERT_EQ(c331_shared::param_changed, 1);
        mgr_->c331managerdeal(mgr_);
    }
    int request(uint8_t cmd, const testutil::Bytes& data)
    {
        const testutil::Bytes req = testutil::make_frame(testutil::kProcessor, testutil::kTool, cmd, data);
        std::vector<u8> reply(message_deal::kReplyCapacity);
        const u32 n = deal_.message_group_deal(req.data(), u32(req.size()), reply.data(), 1);
        return n > remote::kHeaderLen ? reply[remote::kHeaderLen] : -1;
    }
    uint32_t brightness_reg() const { return model_->value(0x0C3A02); }
    message_deal deal_{0};
};

TEST_F(RemoteApplyTest, ChangeAndUndoBeforeTheFileWriteBothReachTheChip)
{
    ASSERT_EQ(ram_rd16(shd(), ram_brightness), 50);
    const uint32_t at50 = brightness_reg();
    ram_write_frame(ram_brightness, testutil::le16(60));
    apply_frame_and_pass();
    const uint32_t at60 = brightness_reg();
    ASSERT_NE(at60, at50);
    ram_write_frame(ram_brightness, testutil::le16(50));
    apply_frame_and_pass();
    EXPECT_EQ(brightness_reg(), at50) << "the undo";
    ram_write_frame(ram_brightness, testutil::le16(60));
    apply_frame_and_pass();
    EXPECT_EQ(brightness_reg(), at60) << "the change again";
    EXPECT_EQ(ram_rd16(shd(), ram_brightness), 50) << "the shadow is still the persisted image";

    // The output offsets go to the FPGA thread, which rebuilds its page from the image.
    for (uint16_t v : {100, 0, 100, 0}) {
        SCOPED_TRACE(v);
        scaler_req::net_para_dirty = 0;
        ram_write_frame(ram_och_layout, testutil::le16(v) + testutil::le16(v / 2));
        apply_frame_and_pass();
        EXPECT_EQ(scaler_req::net_para_dirty, 1);
    }
}

// A window's source changed and changed back before the file write: the window follows both.
TEST_F(RemoteApplyTest, WindowSourceChangeAndUndoReprogramTheWindow)
{
    const uint16_t first = ram_rd16(img(), ram_window_addr(0, WIN_SOURCE));
    const uint16_t other = first == 2 ? 3 : 2;
    for (uint16_t s : {other, first, other}) {
        SCOPED_TRACE(s);
        ram_write_frame(ram_window_addr(0, WIN_SOURCE), testutil::le16(s));
        apply_frame_and_pass();
        EXPECT_EQ(mgr_->PM_INPUT[0], uint32_t(mgr_->tlxApi_inputCvtC331(uint8_t(s))));
    }
}

TEST_F(ApplyPassTest, UserModeFlagIsSignalledAsTwo)
{
    edit_and_pass([](uint8_t*) {}, 2);
    EXPECT_EQ(codes_, (std::vector<int>{2}));
    EXPECT_EQ(c331_shared::param_changed, 0);
}

TEST_F(ApplyPassTest, RawWriteGoesToEachChannelAndRunsAgainWhenRepeated)
{
    raw_request(0x0C4001, 0, 3, 0x5A, 0);
    EXPECT_EQ(writes_to(0x0C, 0x40), (std::vector<uint8_t>{0x5A}));
    EXPECT_EQ(writes_to(0x1C, 0x40), (std::vector<uint8_t>{0x5A}));
    EXPECT_EQ(writes_to(0x2C, 0x40), (std::vector<uint8_t>{0x5A}));
    EXPECT_TRUE(writes_to(0x3C, 0x40).empty());
    EXPECT_LT(index_of(0x00, 0x22, 0xFF), index_of(0x0C, 0x40));
    EXPECT_GT(index_of(0x00, 0x28, 0x99, index_of(0x2C, 0x40)), 0);
    // The whole request group is back at the shadow's values.
    for (uint32_t a = 0xF88; a < 0xF94; ++a)
        EXPECT_EQ(img()[a], shd()[a]) << std::hex << a;

    model_->clear_writes();
    raw_request(0x0C4001, 0, 3, 0x5A, 0);   // the same request again runs again
    EXPECT_EQ(writes_to(0x2C, 0x40), (std::vector<uint8_t>{0x5A}));

    model_->clear_writes();
    raw_request(0x0C4101, 0, 12, 0x11, 0);  // at most eight channels
    for (uint32_t c = 0; c < 8; ++c)
        EXPECT_EQ(writes_to(static_cast<uint8_t>(0x0C + 16 * c), 0x41).size(), 1u) << c;
    EXPECT_EQ(model_->total_writes() > 0, true);

    model_->clear_writes();
    raw_request(0x0C4202, 0, 3, 0xBEEF, 0x0200);   // stride: 0x0C42, 0x0C44, 0x0C46 in one bank
    EXPECT_EQ(model_->value(0x0C4602), 0xBEEFu);
    EXPECT_TRUE(writes_to(0x1C, 0x42).empty());
}

TEST_F(ApplyPassTest, RawRequestsOutsideTheRegisterSpaceAreRefused)
{
    const struct {
        uint32_t id;
        uint8_t n;
        uint16_t stride;
    } bad[] = {
        {0x0C4005, 1, 0},        // five bytes
        {0x0C4000, 1, 0},        // no bytes
        {0x0C7E04, 1, 0},        // runs past register 0x7F
        {0x0C4001, 0, 0},        // no repeat
        {0xF04001, 2, 0},        // second channel would be bank 0x100
        {0x0C7C02, 4, 0x0100},   // the fourth id runs past register 0x7F
        {0x010C4001, 1, 0},      // bits above the bank
    };
    for (const auto& b : bad) {
        model_->clear_writes();
        raw_request(b.id, 0, b.n, 0x77, b.stride);
        EXPECT_EQ(chip_writes(), 0u) << std::hex << b.id;
        EXPECT_EQ(img()[0xF8D], shd()[0xF8D]);
    }
}

TEST_F(ApplyPassTest, RawReadWritesNothing)
{
    raw_request(0x0C3A02, 1, 8, 0, 0);
    for (const auto& w : model_->writes())
        EXPECT_EQ(w.reg, 0) << "only bank selects";
}

TEST_F(ApplyPassTest, DebugCommandRunsEachTimeItIsWritten)
{
    for (int i = 0; i < 2; ++i)
        edit_and_pass([](uint8_t* m) {
            m[0xF80] = 253;
            m[0xF81] = 0x41;
            m[0xF82] = 0x02;
        });
    EXPECT_EQ(writes_to(0x00, 0x55), (std::vector<uint8_t>{0x41, 0x41}));
    EXPECT_EQ(model_->value(0x005502), 0x0241u);
    EXPECT_EQ(img()[0xF80], shd()[0xF80]);
}

TEST_F(ApplyPassTest, DebugPauseStopsThePerPassWork)
{
    edit_and_pass([](uint8_t* m) { m[0xF80] = 254; m[0xF81] = 1; });
    EXPECT_NE(mgr_->debug_run_bits & 0x80000000u, 0u);
    edit_and_pass([](uint8_t* m) { m[0xF80] = 254; m[0xF81] = 1; });
    EXPECT_EQ(mgr_->debug_run_bits & 0x80000000u, 0u);
}

TEST_F(ApplyPassTest, DebugRegisterActsOnItsLowestBitOnly)
{
    store_->reg_byte(162)[0] = 0x03;   // input bars and output bars asked together
    edit_and_pass([](uint8_t*) {});
    EXPECT_EQ(model_->reg(0x48, 0x57), 0x89);
    EXPECT_EQ(model_->value(0x586102), 2752u);
    EXPECT_TRUE(writes_to(0x08, 0x57).empty());
    EXPECT_EQ(store_->reg_byte(162)[0], 0);

    model_->clear_writes();
    store_->reg_byte(162)[0] = 0x18;   // both V-by-One receivers: only receiver 0 restarts
    edit_and_pass([](uint8_t*) {});
    EXPECT_EQ(writes_to(0x02, 0x7F), (std::vector<uint8_t>{0x0E, 0x0F}));
    EXPECT_EQ(model_->value(0x024F01), 0xFFu);
    EXPECT_EQ(model_->value(0x024C01), 0xABu);
    EXPECT_TRUE(writes_to(0x02, 0x6B).empty());
}

TEST_F(ApplyPassTest, LedSizeChangeWaitsForTheHandOverThenHandsBack)
{
    edit_and_pass([](uint8_t* m) { ram_wr16(m, ram_led_width, 3840); });
    EXPECT_EQ(g_set_led_para, 2);
    EXPECT_EQ(ram_rd16(img(), ram_och_layout + 8), 3840);

    // While the FPGA blanks for a requested size, the pass waits without c331_lock: the panel
    // (whose tick paces the FPGA's steps) and the tools take it meanwhile. The FPGA is handed
    // back also when the size went back to the one applied before the pass came, and when the
    // blank ended before the pass started (a late pass, which has nothing to wait for).
    struct Case {
        const char* what;
        uint16_t width;
        bool late;
    } cases[] = {{"a new size", 1920, false},
                 {"the size back to the applied one", 1920, false},
                 {"the size back, the blank ended before the pass", 1920, true}};
    for (const Case& c : cases) {
        testutil::HookClock clock;
        platform::set_clock(&clock);
        bool waiting = false, lock_free = false;
        clock.at_next_sleep = [&] {
            waiting = g_set_led_para == 1;
            std::thread([&] {
                lock_free = c331_shared::c331_lock.tryLock();
                if (lock_free)
                    c331_shared::c331_lock.unlock();
            }).join();
            g_led_handback_owed = true;   // the FPGA is done blanking
            g_set_led_para = 0;
        };
        g_led_handback_owed = c.late;
        g_set_led_para = c.late ? 0 : 1;
        edit_and_pass([&](uint8_t* m) { ram_wr16(m, ram_led_width, c.width); });
        platform::set_clock(nullptr);
        EXPECT_TRUE(c.late ? !waiting : waiting && lock_free) << c.what;
        EXPECT_EQ(g_set_led_para, 2) << c.what;
        EXPECT_EQ(ram_rd16(img(), ram_och_layout + 8), 1920) << c.what;
    }
}

TEST_F(ApplyPassTest, StuckHandOverIsBoundedAndThePanelStillApplied)
{
    platform::VirtualClock vclock(1000);
    platform::set_clock(&vclock);
    g_set_led_para = 1;   // the FPGA thread never clears it
    std::atomic<bool> done{false};
    std::thread ticker([&] {
        while (!done) {
            vclock.advance_us(500000);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    edit_and_pass([](uint8_t* m) { ram_wr16(m, ram_led_width, 1920); });
    done = true;
    ticker.join();
    platform::set_clock(nullptr);
    EXPECT_GE(vclock.now_us() - 1000, 3000000u);
    EXPECT_EQ(g_set_led_para, 2);
    EXPECT_EQ(ram_rd16(img(), ram_och_layout + 8), 1920);
    EXPECT_EQ(codes_, (std::vector<int>{1}));
}

TEST_F(ApplyPassTest, CropRowBeyondTheTableIsRefused)
{
    edit_and_pass([](uint8_t* m) {
        m[ram_selected_window] = 0;
        ram_wr16(m, ram_window_addr(0, WIN_SOURCE), 0x8000 | 200);
    });
    EXPECT_EQ(scaler_req::audio_select_request, 0);
    EXPECT_EQ(codes_, (std::vector<int>{1}));
}

}  // namespace
