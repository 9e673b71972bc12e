// The IT6805 driver on the simulated chips: the road of an input from identification to the
// image and hdminfo, publication and watchdog, bus safety, two equalisers at once, and CEC.
#include "ite6805_fixture.h"

#include <algorithm>

namespace {

using Road = Ite6805Fixture;

TEST_F(Road, InputTravelsFromIdentificationToImageAndBackOnUnplug)
{
    // Device 1's chip does not answer: it stays in identification and touches nothing.
    script(1, {{"receiver", false}, {"cable", true}});
    for (int i = 0; i < 5; ++i)
        step(1);
    EXPECT_EQ(sys_->init_state[1], 0);
    EXPECT_EQ(sys_->identify_failures[1], 5);
    EXPECT_EQ(store_->status_page[STATUS_CHIP_PRESENT] & 0x40, 0);
    EXPECT_EQ(mgr_->port_status[4], 0u);
    EXPECT_EQ(hdminfo(5).stable, 0u);
    EXPECT_EQ(timing_record(5), (std::vector<uint16_t>{0, 0, 0}));
    EXPECT_EQ(store_->ram_image[0x003], 0);

    // Device 0 with 1080p60.
    ASSERT_TRUE(step_until(0, [&] { return stable(0); })) << "video state " << sys_->iTE6805_DATA[0].STATEV;
    EXPECT_EQ(store_->status_page[STATUS_CHIP_PRESENT] & 0x20, 0x20);
    EXPECT_EQ(store_->ram_image[0x000], 0x80);
    EXPECT_EQ(store_->ram_image[0x001], 0x38);
    EXPECT_EQ(store_->ram_image[0x002], 0x3C);
    EXPECT_EQ(timing_record(4), (std::vector<uint16_t>{1920, 1080, 60}));
    step(0);
    EXPECT_EQ(model(0)->reg(5, 0xC0) >> 4, 5) << "4-byte mode, 2 lanes";
    EXPECT_EQ(model(0)->reg(5, 0xC9), 0x78) << "V-by-One output on";
    EXPECT_NE(std::find(codes_.begin(), codes_.end(), 1), codes_.end()) << "page refresh raised";
    ASSERT_TRUE(step_until(0, [&] { return sys_->iTE6805_DATA[0].STATEA == STATEA_AudioOn; }));
    EXPECT_EQ(sys_->iTE6805_DATA[0].Force_Sampling_Frequency, 0x02) << "48 kHz audio";

    // The source switches to 2160p60.
    script(0, {{"format", "2160p60"}});
    ASSERT_TRUE(step_until(0, [&] { return timing_record(4)[0] == 3840; }));
    EXPECT_EQ(timing_record(4), (std::vector<uint16_t>{3840, 2160, 60}));
    step(0);
    EXPECT_EQ(model(0)->reg(5, 0xC0) >> 4, 7) << "4-byte mode, 8 lanes";
    // 2560 x 1080 at 24 Hz, 99 MHz: wide enough for four lanes, but its front porch does not
    // divide by 4.
    script(0, {{"hactive", 2560}, {"vactive", 1080}, {"htotal", 3750}, {"vtotal", 1100}, {"hfront", 998},
               {"hsync", 44}, {"pclk_khz", 99000}});
    ASSERT_TRUE(step_until(0, [&] { return timing_record(4)[0] == 2560; }));
    step(0);
    EXPECT_EQ(model(0)->reg(5, 0xC0) >> 4, 5) << "4-byte mode, 2 lanes";

    // Unplugged.
    codes_.clear();
    script(0, {{"cable", false}});
    ASSERT_TRUE(step_until(0, [&] { return sys_->iTE6805_DATA[0].STATEV == STATEV_Unplug; }));
    step(0);
    EXPECT_EQ(timing_record(4), (std::vector<uint16_t>{0, 0, 0}));
    EXPECT_EQ(hdminfo(4).no_signal, 1u);
    EXPECT_EQ(hdminfo(4).Hact, 0u);
    EXPECT_EQ(model(0)->reg(5, 0xC9), 0x79) << "V-by-One output off";
    EXPECT_FALSE(model(0)->hpd_high());
    EXPECT_FALSE(codes_.empty());
}

TEST_F(Road, StableInputPublishesAfterTheScalerTakesItUpAndWatchdogResets)
{
    ASSERT_TRUE(step_until(0, [&] { return stable(0); }));
    step(0);
    EXPECT_EQ(mgr_->port_status[5], 129u) << "no signal + update pending until the scaler takes it up";
    G_timeTicks += 600;
    step(0);
    EXPECT_EQ(hdminfo(4).stable, 0u) << "never published while the scaler shows no signal";

    mgr_->port_status[5] &= ~1u;
    G_timeTicks += 501;
    step(0);
    const HDMI_INFO r = hdminfo(4);
    EXPECT_EQ(r.stable, 1u);
    EXPECT_EQ(r.no_signal, 0u);
    EXPECT_EQ(r.Hact, 1920u);
    EXPECT_EQ(r.Hsync, 44u);
    EXPECT_EQ(r.Hback, 148u);
    EXPECT_EQ(r.Htotal, 2200u);
    EXPECT_EQ(r.Vact, 1080u);
    EXPECT_EQ(r.Vsync, 5u);
    EXPECT_EQ(r.Vback, 36u);
    EXPECT_EQ(r.Vtotal, 1125u);
    EXPECT_NEAR(r.PCLK, 148.513f, 0.0005f);
    EXPECT_EQ(r.type, 1u);
    EXPECT_EQ(r.lanes, 2u);
    EXPECT_EQ(mgr_->port_status[5] & 0x80, 0u);

    // Watchdog: the scaler's measured totals of port 5 change every second.
    zs_->source_state = 5;
    zs_->reset_request[4] = 0;
    auto sample = [&](uint32_t htt) {
        mgr_->PI_PORT_INFO[5].htt = htt;
        mgr_->PI_PORT_INFO[5].vtt = 1125;
        G_timeTicks += 101;
        step(0);
    };
    for (uint32_t i = 1; i <= 5; ++i)
        sample(2200 + i);
    sample(2205);  // one unchanged sample
    EXPECT_EQ(sys_->wd_count[0], 0u);
    for (uint32_t i = 1; i <= 10; ++i)
        sample(3000 + i);
    EXPECT_EQ(zs_->source_state, 5) << "ten changes are tolerated";
    sample(4000);
    EXPECT_EQ(zs_->source_state, 0);
    EXPECT_EQ(zs_->reset_request[4], 1);
}

// An interlaced source is measured as a real receiver measures it: per field, every vertical
// count a field's (the scaler finds its first active line where it finds a 1080i field's), with
// the interlace flag.
TEST_F(Road, InterlacedInputIsMeasuredPerField)
{
    script(0, {{"format", "1080i60"}});
    sys_->restart(0);
    ASSERT_TRUE(step_until(0, [&] { return stable(0); }));
    const iTE6805_Data& D = sys_->iTE6805_DATA[0];
    EXPECT_EQ(D.interlaced, 1);
    EXPECT_EQ(D.t.vactive, 540u);
    EXPECT_EQ(D.t.vtotal, 562u);
    EXPECT_EQ(D.t.vsync, 5u);
    EXPECT_EQ(D.t.vfp, 2u);
    EXPECT_EQ(D.t.vbp, 15u);
}

// Leaving the video-stable state clears the record's stable flag (under its lock).
TEST_F(Road, LosingSyncClearsTheStableFlag)
{
    ASSERT_TRUE(step_until(0, [&] { return stable(0); }));
    sys_->fill_hdminfo(0, false);
    ASSERT_EQ(hdminfo(4).stable, 1u);
    script(0, {{"signal", false}});
    ASSERT_TRUE(step_until(0, [&] { return !stable(0); }));
    EXPECT_EQ(hdminfo(4).stable, 0u);
}

// Every road out of the stable video that restarts the chip (a reset of the chips, a custom
// EDID, a hot-plug command) withdraws the timing as a video loss does, also when the chip
// then comes up without video.
TEST_F(Road, RestartedChipWithdrawsItsTiming)
{
    for (bool whole_reset : {true, false}) {
        script(0, {{"signal", true}});
        ASSERT_TRUE(step_until(0, [&] { return stable(0); }));
        sys_->fill_hdminfo(0, false);
        ASSERT_EQ(timing_record(4), (std::vector<uint16_t>{1920, 1080, 60}));
        script(0, {{"signal", false}});
        if (whole_reset)
            sys_->ite6805_sys_reset_init();
        else
            sys_->restart(0);
        EXPECT_EQ(timing_record(4), (std::vector<uint16_t>{0, 0, 0})) << whole_reset;
        EXPECT_EQ(hdminfo(4).stable, 0u) << whole_reset;
        ASSERT_TRUE(step_until(0, [&] { return sys_->init_state[0] == 1; }));
        for (int i = 0; i < 5; ++i)
            step(0);
        EXPECT_EQ(timing_record(4), (std::vector<uint16_t>{0, 0, 0})) << whole_reset;
    }
}

// Virtual time that shows each pause to the test: the video logic reset holds the set-up's
// only 1 ms pause.
struct PauseClock : platform::VirtualClock {
    using VirtualClock::VirtualClock;
    std::function<void(uint64_t)> on_sleep;
    void sleep_us(uint64_t us) override
    {
        if (on_sleep)
            on_sleep(us);
        VirtualClock::sleep_us(us);
    }
};

// The first lock measures the input for seconds and then resets the video logic, which clears
// a pending sync change: a source that changes its timing anywhere in that window (also in
// the reset itself) is followed to the new timing, as it is later on.
TEST_F(Road, TimingChangedWhileTheFirstLockIsSetUpIsFollowed)
{
    PauseClock pc(clock_.now_us());
    platform::set_clock(&pc);
    constexpr uint64_t kInTheReset = 0;
    for (uint64_t after_ms : {uint64_t(300), uint64_t(1000), uint64_t(1700), uint64_t(3000), uint64_t(4100),
                              kInTheReset}) {
        SCOPED_TRACE(after_ms);
        script(0, {{"format", "1080p60"}});
        sys_->restart(0);
        ASSERT_TRUE(step_until(0, [&] {
            return sys_->iTE6805_DATA[0].STATEV == STATEV_CheckSync && sys_->Current_SCDTCheck_Count[0] == 0;
        }));
        const uint64_t at = pc.now_us() + after_ms * 1000;
        bool changed = false;
        pc.on_sleep = [&](uint64_t us) {
            if (changed || (after_ms == kInTheReset ? us != 1000 : pc.now_us() < at))
                return;
            script(0, {{"format", "2160p60"}});
            changed = true;
        };
        step(0);  // the video-stable set-up
        ASSERT_TRUE(changed);
        pc.on_sleep = nullptr;
        EXPECT_TRUE(step_until(0, [&] { return stable(0) && timing_record(4)[0] == 3840; }, 100));
        step(0);
        EXPECT_EQ(timing_record(4), (std::vector<uint16_t>{3840, 2160, 60}));
        EXPECT_EQ(model(0)->reg(5, 0xC0) >> 4, 7) << "4-byte mode, 8 lanes";
    }
    platform::set_clock(&clock_);
}

// A CEC controller that never answers costs one warning; the video comes up without CEC.
TEST_F(Road, SilentCecControllerLeavesTheVideoAlone)
{
    script(0, {{"cec", false}});
    ASSERT_TRUE(step_until(0, [&] { return stable(0); }));
    EXPECT_EQ(timing_record(4), (std::vector<uint16_t>{1920, 1080, 60}));
    EXPECT_TRUE(sys_->cec_sys->dev[0].silent);
    const uint32_t cec_failures = sys_->cec_failures[0];
    for (int i = 0; i < 5; ++i)
        step(0);
    EXPECT_EQ(sys_->cec_failures[0], cec_failures) << "CEC stays off";
    const std::string log = testutil::read_file(root_.file("data/zeltaqn/log/kivEnglneLog"));
    const std::string warning = "IT6805 input 4: CEC controller does not answer, CEC off";
    const size_t at = log.find(warning);
    EXPECT_NE(at, std::string::npos);
    EXPECT_EQ(log.find(warning, at + 1), std::string::npos) << "one warning";
}

// A stand-in for another receiver answering at the IT6805's address on another channel.
class Listener : public sim::I2cModel {
public:
    Listener() : I2cModel("listener") {}
    bool i2c_write(const uint8_t* data, size_t len) override
    {
        note_bytes("W", data, len);
        return true;
    }
    bool i2c_read(uint8_t* data, size_t len) override
    {
        note("R");
        std::fill(data, data + len, 0);
        return true;
    }
};

TEST_F(Road, HotPlugCommandsReachOnlyTheirChipAndSilentChipsGetNoWrites)
{
    ASSERT_TRUE(step_until(0, [&] { return sys_->init_state[0] == 1; }));
    auto other = std::make_shared<Listener>();
    board_->add_i2c(0x48, other, rx_switch_, 0x01);
    uint8_t ch = 0x01;
    Drv_I2C0::p_drv_i2c0->i2c_write(sys_->fd, 0xEE, 0x00, &ch, 1);
    const uint64_t chip_before = model(0)->record().total();

    sys_->drv->iTE6805_Set_HPD_Ctrl(0, 0, 0);
    EXPECT_EQ(other->record().total(), 0u) << "another receiver got the hot-plug bytes";
    EXPECT_GT(model(0)->record().total(), chip_before);
    EXPECT_FALSE(model(0)->hpd_high());
    EXPECT_EQ(rx_switch_->channels(), 0x01) << "the supervision's channel is restored";

    // A failed channel selection skips the step: nothing reaches the wrong chip.
    sys_->iTE6805_FSM(0);
    EXPECT_EQ(other->record().total(), 0u);
    EXPECT_EQ(sys_->skipped_passes[0], 1u);

    // The chip goes silent in the middle of its life: reads fail, nothing is written back.
    sys_->drv->iTE6805_Set_HPD_Ctrl(0, 1, 0);
    EXPECT_TRUE(model(0)->hpd_high());
    ASSERT_TRUE(step_until(0, [&] { return stable(0); }));
    script(0, {{"receiver", false}});
    const uint32_t writes_failed = sys_->write_failures[0], reads_failed = sys_->read_failures[0];
    const uint32_t statev = sys_->iTE6805_DATA[0].STATEV;
    for (int i = 0; i < 5; ++i)
        step(0);
    EXPECT_GT(sys_->read_failures[0], reads_failed);
    EXPECT_EQ(sys_->write_failures[0], writes_failed) << "a failed read was written back";
    EXPECT_EQ(sys_->iTE6805_DATA[0].STATEV, statev);
    EXPECT_EQ(timing_record(4)[0], 1920) << "a silent chip is not an unplugged input";
}

TEST_F(Road, InitialisationCutShortByTheBusIsRunAgain)
{
    // The chip is held in reset at the first pause of its initialisation.
    clock_.at_next_sleep = [&] { board_->soc().write16(pads::PAD_RX6805_RST, pads::kLow); };
    step(0);
    EXPECT_EQ(sys_->init_state[0], 0);
    EXPECT_GT(sys_->write_failures[0] + sys_->read_failures[0], 0u);
    board_->soc().write16(pads::PAD_RX6805_RST, pads::kHigh);
    ASSERT_TRUE(step_until(0, [&] { return stable(0); }));
    EXPECT_EQ(timing_record(4), (std::vector<uint16_t>{1920, 1080, 60}));
}

TEST_F(Road, TwoInputsEqualisingAtOnceEndWithTheirOwnBestValues)
{
    script(0, {{"eq_best", 0x07}});
    script(1, {{"cable", true}, {"format", "720p60"}, {"eq_best", 0x01}});
    bool done = false;
    for (int i = 0; i < 80 && !done; ++i) {
        step(0);
        step(1);
        done = sys_->iTE6805_DATA[0].STATEEQ == STATEEQ_EQDone && sys_->iTE6805_DATA[1].STATEEQ == STATEEQ_EQDone;
        ASSERT_LE(sys_->eq->dev[0].trial, 4);
        ASSERT_LE(sys_->eq->dev[1].trial, 4);
    }
    ASSERT_TRUE(done) << "EQ states " << sys_->iTE6805_DATA[0].STATEEQ << ", " << sys_->iTE6805_DATA[1].STATEEQ;
    for (uint8_t r = 0x27; r <= 0x29; ++r) {
        EXPECT_EQ(model(0)->reg(3, r) & 0x7F, 0x07);
        EXPECT_EQ(model(1)->reg(3, r) & 0x7F, 0x01);
    }
    EXPECT_EQ(sys_->eq->dev[0].trial, 3) << "0x07 is the third trial of the HDMI 1.x table";
    EXPECT_EQ(sys_->eq->dev[1].trial, 1);
}

using Cec = Ite6805Fixture;

TEST_F(Cec, SourceRequestsAreAnsweredMalformedOnesDropped)
{
    ASSERT_TRUE(step_until(0, [&] { return sys_->init_state[0] == 1; }));
    step(0);
    auto deliver = [&](QJsonArray frames) {
        cec(0)->reset();
        script(0, {{"cec_in", frames}});
        step(0);
        return cec(0)->cec_sent();
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(deliver({"40 83"}), (V{"0F 84 00 00 00"}));
    EXPECT_EQ(deliver({"40 9F", "0F 85", "4F 83"}), (V{"04 9E 06"}));
    // Sizes 1 and 17 stop the filling; the FIFO reset drops what follows.
    std::string seventeen = "40 83";
    for (int i = 0; i < 15; ++i)
        seventeen += " 00";
    EXPECT_EQ(deliver({"40 9F", QString::fromStdString(seventeen), "40 83"}), (V{"04 9E 06"}));
    EXPECT_EQ(deliver({"40", "40 83"}), V{});
    // Four messages of 16 queued bytes would fill the ring exactly: the first three are answered.
    std::string fifteen = "40 83";
    for (int i = 0; i < 13; ++i)
        fifteen += " 00";
    const QString f = QString::fromStdString(fifteen);
    EXPECT_EQ(deliver({f, f, f, QString(f).replace("00", "01")}),
              (V{"0F 84 00 00 00", "0F 84 00 00 00", "0F 84 00 00 00"}));
}

}  // namespace
