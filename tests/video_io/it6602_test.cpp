// IT6602: measurement arithmetic, equaliser choice and the audio selector byte (pure), then
// the receivers on the simulated board following their scripted inputs.
#include "source_fixture.h"

#include <cstring>
#include <functional>

#include "video_io/Drv_I2C0.h"
#include "video_io/edid_images.h"
#include "video_io/zelta_it6602.h"

namespace {

// Registers 0x90..0xA8 with the given values (register, value pairs).
std::array<uint8_t, 0x19> regs(std::initializer_list<std::pair<uint8_t, uint8_t>> values)
{
    std::array<uint8_t, 0x19> g{};
    for (auto [r, v] : values)
        g[r - 0x90] = v;
    return g;
}

const std::initializer_list<std::pair<uint8_t, uint8_t>> k1080p60 = {
    {0x99, 0x00}, {0x9A, 0x15}, {0x9C, 0x98}, {0x9D, 0x08}, {0x9E, 0x80}, {0x9F, 0x07}, {0xA0, 0x2C}, {0xA1, 0x00},
    {0xA2, 0x58}, {0xA3, 0x65}, {0xA4, 0x44}, {0xA5, 0x38}, {0xA6, 0x05}, {0xA7, 0x04}, {0xA8, 0x09}};

TEST(It6602Measure, RegistersGiveTheRecordAndGuardEveryDivisor)
{
    IT6602_TIMING t;
    auto g = regs(k1080p60);
    ASSERT_TRUE(zelta_it6602::timing_from_regs(g.data(), &t));
    EXPECT_EQ(t.Hact, 1920);
    EXPECT_EQ(t.Vact, 1080);
    EXPECT_EQ(t.Hback, 148);
    EXPECT_EQ(t.Vback, 36);
    EXPECT_EQ(zelta_it6602::recorded_refresh(zelta_it6602::refresh_hz(t)), 60);

    g[0x9C - 0x90] = uint8_t(2640), g[0x9D - 0x90] = uint8_t(2640 >> 8);  // 1080p50 line length
    ASSERT_TRUE(zelta_it6602::timing_from_regs(g.data(), &t));
    EXPECT_EQ(zelta_it6602::recorded_refresh(zelta_it6602::refresh_hz(t)), 50);
    EXPECT_EQ(zelta_it6602::recorded_refresh(75), 60);

    const auto zeros = regs({});
    EXPECT_FALSE(zelta_it6602::timing_from_regs(zeros.data(), &t));
    for (uint8_t r : {0x9A, 0x9C, 0xA3, 0x9E, 0xA5}) {  // divisor, totals, actives
        auto z = regs(k1080p60);
        z[r - 0x90] = 0;
        if (r == 0x9C)
            z[0x9D - 0x90] = 0;
        if (r == 0xA3 || r == 0xA5)
            z[0xA4 - 0x90] &= r == 0xA3 ? 0xF0 : 0x0F;
        if (r == 0x9E)
            z[0x9F - 0x90] = 0;
        EXPECT_FALSE(zelta_it6602::timing_from_regs(z.data(), &t)) << std::hex << int(r);
    }
    auto neg = regs(k1080p60);
    neg[0xA2 - 0x90] = 0xFF, neg[0xA1 - 0x90] = 0x10;  // front porch beyond the blanking
    EXPECT_FALSE(zelta_it6602::timing_from_regs(neg.data(), &t));
    auto fast = regs(k1080p60);
    fast[0x9A - 0x90] = 1;  // the largest clock: no overflow in the refresh
    ASSERT_TRUE(zelta_it6602::timing_from_regs(fast.data(), &t));
    EXPECT_EQ(zelta_it6602::refresh_hz(t), 1277u);
}

TEST(It6602Equaliser, BestOfThreeTrialSettings)
{
    struct Case {
        uint8_t c[3];
        uint8_t setting;
    };
    for (const Case& k : {Case{{12, 9, 15}, 0x9F}, Case{{12, 12, 15}, 0x9F}, Case{{12, 9, 5}, 0x83}})
        EXPECT_EQ(zelta_it6602::IT6602EQTable[zelta_it6602::JudgeBestEQ(k.c)], k.setting)
            << int(k.c[0]) << " " << int(k.c[1]) << " " << int(k.c[2]);
}

TEST(AudioSelector, SourceOfTheSelectedWindowOrItsCrop)
{
    std::vector<uint8_t> img(RAM_IMAGE_SIZE, 0);
    auto wr16 = [&](uint32_t a, uint16_t v) { img[a] = uint8_t(v), img[a + 1] = uint8_t(v >> 8); };
    img[ram_selected_window] = 1;
    wr16(ram_window_addr(1, WIN_SOURCE), 3);
    EXPECT_EQ(zeltasource::audio_selector_byte(img.data()), 0x00);  // sound off
    wr16(ram_window_addr(1, WIN_AUDIO), WIN_AUDIO_ON);
    EXPECT_EQ(zeltasource::audio_selector_byte(img.data()), 0x10);
    wr16(ram_window_addr(1, WIN_SOURCE), WIN_SOURCE_CROP | 7);  // crop row 7, unused
    EXPECT_EQ(zeltasource::audio_selector_byte(img.data()), 0x00);
    wr16(ram_crop_addr(7, CROP_KEY), CROP_KEY_USED | 0x0100 | 5);
    EXPECT_EQ(zeltasource::audio_selector_byte(img.data()), 0x08);
    wr16(ram_window_addr(1, WIN_SOURCE), WIN_SOURCE_CROP | 255);  // beyond the 40 rows
    EXPECT_EQ(zeltasource::audio_selector_byte(img.data()), 0x00);
    img[ram_selected_window] = 9;  // read as window 0
    wr16(ram_window_addr(0, WIN_AUDIO), WIN_AUDIO_ON);
    EXPECT_EQ(zeltasource::audio_selector_byte(img.data()), 0x80);
}

// ---- on the simulated board ------------------------------------------------------------------

class ReceiverTest : public SourceFixture {
protected:
    std::string board_json() const override
    {
        // The IT6805 chips (inputs 4, 5) are absent: only the IT6602 receivers signal changes.
        return R"({"inputs": [{}, {"format": "1080p50"}, {"cable": false}, {"receiver": false},
                              {"receiver": false}, {"receiver": false}]})";
    }
    HDMI_INFO info(int r)
    {
        QMutexLocker lk(&Utils::_source_hdminfo_mutex);
        return z_->hdminfo[r];
    }
    bool shows(int s, uint16_t w, uint16_t h, uint16_t hz)
    {
        return timing(s, 0) == w && timing(s, 1) == h && timing(s, 2) == hz;
    }
};

TEST_F(ReceiverTest, InputsAreFollowedIntoTheImageAndHdminfo)
{
    reach_polling();
    ASSERT_TRUE(step_until([&] { return shows(0, 1920, 1080, 60) && shows(1, 1920, 1080, 50); }, 100));
    EXPECT_TRUE(shows(2, 0, 0, 0));
    EXPECT_TRUE(shows(3, 0, 0, 0));
    const HDMI_INFO i0 = info(0);
    EXPECT_EQ(i0.Htotal, 2200u);
    EXPECT_EQ(i0.Vback, 36u);
    EXPECT_FLOAT_EQ(i0.PCLK, 148.5f);
    EXPECT_EQ(i0.no_signal, 0u);
    EXPECT_EQ(i0.stable, 1u);
    EXPECT_EQ(info(2).no_signal, 1u);
    EXPECT_EQ(status(STATUS_CHIP_PRESENT) & 0x1D, 0x0D);  // receivers 0..2 answer, 3 does not
    EXPECT_TRUE(model<sim::It6602Model>("it6602_0")->hot_plug_high());
    EXPECT_FALSE(model<sim::It6602Model>("it6602_2")->hot_plug_high());

    // An absent chip is not reset and its zero record is not signalled again.
    const uint64_t writes = model<sim::It6602Model>("it6602_3")->record().total();
    int signalled = 0;
    auto c = QObject::connect(store_, &TlxRamPara::sig_update_para, [&](int) { ++signalled; });
    step(10);
    QObject::disconnect(c);
    EXPECT_EQ(model<sim::It6602Model>("it6602_3")->record().total(), writes);
    EXPECT_EQ(signalled, 0);

    // Cable out: the record is zero and no-signal set, hot-plug low.
    write_board(R"({"inputs": [{"cable": false}, {"format": "720p60"}, {}, {"receiver": false}]})");
    ASSERT_TRUE(step_until([&] { return shows(0, 0, 0, 0); }, 20));
    EXPECT_EQ(info(0).no_signal, 1u);
    EXPECT_FALSE(model<sim::It6602Model>("it6602_0")->hot_plug_high());
    // A timing change is followed; a newly plugged cable comes up.
    ASSERT_TRUE(step_until([&] { return shows(1, 1280, 720, 60) && shows(2, 1920, 1080, 60); }, 100));
    // An interlaced input is published per field.
    write_board(R"({"inputs": [{"format": "1080i60"}]})");
    ASSERT_TRUE(step_until([&] { return shows(0, 1920, 540, 60); }, 100));
    EXPECT_EQ(info(0).interlaced, 1u);
    EXPECT_EQ(info(0).Vsync + info(0).Vback, 20u);   // a 1080i field's first active line
    EXPECT_EQ(info(0).Vsync, 5u);
    // A chip that stops answering: its reads give 0 and are counted.
    const uint32_t failures = z_->it6602->read_failures;
    write_board(R"({"inputs": [{"format": "1080i60", "receiver": false}]})");
    step(2);
    EXPECT_GT(z_->it6602->read_failures, failures);
    // ... and a read-modify-write writes nothing back.
    uint8_t ch = 0x01;
    Drv_I2C0().i2c_write(z_->fd, 0xEE, 0x00, &ch, 1);
    const uint32_t write_failures = z_->it6602->write_failures;
    z_->it6602->hdmirxset_it6602(0x10, 0x01, 0x01);
    EXPECT_EQ(z_->it6602->write_failures, write_failures);
}

// A measurement lost when the video turns on is taken again on the next passes.
TEST_F(ReceiverTest, MeasurementLostAtVideoOnIsTakenAgain)
{
    std::function<void()> drop_bus = [&] {
        if (z_->it6602->dev[0].video_state != zelta_it6602::VSTATE_VideoOn) {
            clock_.at_next_sleep = drop_bus;
            return;
        }
        uint8_t none = 0;  // receiver 0 unreachable until the next pass selects it again
        Drv_I2C0().i2c_write(z_->fd, 0xEE, 0x00, &none, 1);
    };
    reach_polling();
    clock_.at_next_sleep = drop_bus;
    ASSERT_TRUE(step_until([&] { return !clock_.at_next_sleep; }, 100));
    EXPECT_TRUE(shows(0, 0, 0, 0));
    EXPECT_TRUE(step_until([&] { return shows(0, 1920, 1080, 60); }, 3));
    EXPECT_EQ(info(0).stable, 1u);
}

TEST_F(ReceiverTest, CustomEdidIsWrittenThenTheSourceIsMadeToReadIt)
{
    reach_polling();
    ASSERT_TRUE(step_until([&] { return shows(0, 1920, 1080, 60); }, 100));
    auto rx = model<sim::It6602Model>("it6602_0");
    const uint64_t rises = rx->hot_plug_rises();
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        uint8_t* rec = store_->ram_image + ram_edid_addr(0);
        rec[0] = 0x00, rec[1] = 0x05, rec[2] = 0xD0, rec[3] = 0x02, rec[4] = 0x3C, rec[5] = 0x00;  // 1280x720@60
    }
    scaler_req::edid_done[0] = 0;
    scaler_req::edid_request[0] = 1;
    ASSERT_TRUE(step_until([&] { return rx->hot_plug_rises() > rises; }, 100));
    // The level went low before it rose again: the init table drops it on the restart.
    bool low_then_high = false;
    const auto& lines = rx->record().lines();
    for (size_t i = 0; i + 1 < lines.size(); ++i)
        low_then_high = low_then_high || lines[i] == "W b0 00";
    EXPECT_TRUE(low_then_high);
    EXPECT_EQ(scaler_req::edid_request[0], 0);
    EXPECT_EQ(scaler_req::edid_done[0], 1);
    uint8_t want[12];
    ASSERT_TRUE(edid::custom_descriptor(0, 1280, 720, 60, want));
    const uint8_t* e = model<sim::EepromModel>("edid_eeprom_0")->bytes();
    EXPECT_EQ(std::memcmp(e + 54, want, 12), 0);
    EXPECT_EQ(std::memcmp(e + 72, want, 12), 0);
    EXPECT_TRUE(edid::base_block_valid(e));
    EXPECT_EQ(pad(pads::PAD_EDID_WP), pads::kHigh);
    EXPECT_TRUE(step_until([&] { return shows(0, 1920, 1080, 60); }, 100));  // the video is back
}

}  // namespace

namespace {

class EqualiserTest : public SourceFixture {
protected:
    std::string board_json() const override { return R"({"inputs": [{"link_errors": 20}]})"; }
    // The values register 0x27 of receiver 0 (port 0's equaliser setting) took, in order.
    std::vector<int> settings_;
    void watch_setting()
    {
        std::lock_guard<std::recursive_mutex> lk(rx()->device_lock());
        const int v = rx()->reg(0, 0x27);
        if (settings_.empty() || settings_.back() != v)
            settings_.push_back(v);
    }
    std::shared_ptr<sim::It6602Model> rx() { return model<sim::It6602Model>("it6602_0"); }
    void start_search()
    {
        uint8_t ch = 0x01;
        Drv_I2C0().i2c_write(z_->fd, 0xEE, 0x00, &ch, 1);  // the step after the start runs at once
        z_->it6602->HDMIStartEQDetect(0, 0);
    }
};

TEST_F(EqualiserTest, PersistentErrorsTryEverySettingAndKeepTheBest)
{
    reach_polling();
    ASSERT_TRUE(step_until([&] { return timing(0, 0) == 1920; }, 100));
    watch_setting();
    start_search();
    const uint8_t step = z_->it6602->dev[0].eq[0].step;
    z_->it6602->HDMIStartEQDetect(0, 0);  // one search per port at a time
    EXPECT_EQ(z_->it6602->dev[0].eq[0].step, step);
    ASSERT_TRUE(step_until([&] {
        watch_setting();
        return z_->it6602->dev[0].eq[0].step == 255;
    }, 200));
    // From the init table's value through the three trial settings; equal counts keep the last.
    EXPECT_EQ(settings_, (std::vector<int>{0x1F, 0xFF, 0x9F, 0x83}));
    EXPECT_EQ(z_->it6602->dev[0].eq[0].busy, 0);
}

class CleanLinkTest : public EqualiserTest {
    std::string board_json() const override { return "{}"; }
};

// Equaliser events are not acknowledged by the interrupt write-back of 0xD0 (its low four
// bits only); a port's amplitude overwrite acknowledges that port's two events.
TEST_F(CleanLinkTest, EqualiserEventRegisterIsWrittenWithItsOwnBits)
{
    reach_polling();
    ASSERT_TRUE(step_until([&] { return timing(0, 0) == 1920; }, 100));
    auto writes_of_d0 = [&] {
        std::vector<std::string> w;
        std::lock_guard<std::recursive_mutex> lk(rx()->device_lock());
        for (const std::string& l : rx()->record().lines())
            if (l.rfind("W d0 ", 0) == 0)
                w.push_back(l);
        rx()->record().clear();
        return w;
    };
    {
        std::lock_guard<std::recursive_mutex> lk(rx()->device_lock());
        rx()->latch(0xD0, 0x03);
        rx()->record().clear();
    }
    step();
    EXPECT_EQ(writes_of_d0(), (std::vector<std::string>{"W d0 03"}));

    uint8_t ch = 0x01;
    Drv_I2C0().i2c_write(z_->fd, 0xEE, 0x00, &ch, 1);
    zelta_it6602& drv = *z_->it6602;
    drv.chgbank_it6602(1);
    const uint8_t amps[4] = {0x3F, 20, 21, 22};  // all three channels valid, then their values
    drv.hdmirxwr_it6602(0xD8, amps[0]);
    drv.hdmirxbwr_it6602(0xDD, amps + 1, 3);
    drv.chgbank_it6602(0);
    drv.AmpValidCheck(0, 1);
    EXPECT_EQ(writes_of_d0(), (std::vector<std::string>{"W d0 c0"}));
}

TEST_F(CleanLinkTest, FewErrorsSettleAtOnceWithoutATrial)
{
    reach_polling();
    ASSERT_TRUE(step_until([&] { return timing(0, 0) == 1920; }, 100));
    start_search();
    int steps = 0;
    watch_setting();
    ASSERT_TRUE(step_until([&] {
        ++steps;
        watch_setting();
        return z_->it6602->dev[0].eq[0].step == 255;
    }, 200));
    EXPECT_LT(steps, 40);
    EXPECT_EQ(settings_, (std::vector<int>{0x1F}));  // no trial setting applied
    EXPECT_EQ(timing(0, 0), 1920);
}

}  // namespace
