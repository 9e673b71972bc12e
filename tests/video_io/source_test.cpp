// The supervision on the simulated board: reset cycle, EEPROM check and repair, the clock
// generator that releases the FPGA, the SDI chain, inputs followed into the image.
#include "source_fixture.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "video_io/Drv_I2C0.h"
#include "video_io/edid_images.h"
#include "video_io/it66121.h"
#include "video_io/ite6805_sys.h"

namespace {

constexpr uint8_t kClockTableHead[3] = {0x00, 0x00, 0x11};

class SourceTest : public SourceFixture {};

// ---- bus -------------------------------------------------------------------------------------

TEST_F(SourceTest, BusTransfersWithinItsLimitsAndReportsSilence)
{
    Drv_I2C0 bus;
    const int fd = z_->fd;
    auto sw = model<sim::I2cSwitch>("i2c_switch_rx");
    EXPECT_EQ(bus.i2c_write(fd, 0xEE, 0x04, nullptr, 0), 1);  // the register byte alone
    EXPECT_EQ(sw->channels(), 0x04);
    uint8_t out[101] = {0x5A};
    EXPECT_EQ(bus.i2c_read(fd, 0x98, 0x00, out, 0), 1);
    EXPECT_EQ(out[0], 0x5A);
    EXPECT_EQ(bus.i2c_read(fd, 0x98, 0x00, out, 100), 1);  // the SDI board's transmitter
    EXPECT_EQ(out[0], 0x54);
    EXPECT_EQ(out[1], 0x49);
    EXPECT_EQ(bus.i2c_read(fd, 0x98, 0x00, out, 101), 0);  // beyond the read limit
    uint8_t big[256] = {};
    EXPECT_EQ(bus.i2c_write(fd, 0xEE, 0x00, big, 256), 0);  // beyond the write limit
    out[0] = 0x5A;
    EXPECT_EQ(bus.i2c_read(fd, 0x12, 0x00, out, 1), 0);  // nobody answers
    EXPECT_EQ(out[0], 0x5A);
    EXPECT_EQ(bus.i2c_write(-1, 0xEE, 0x00, big, 1), 0);
}

// ---- EEPROM check ----------------------------------------------------------------------------

TEST_F(SourceTest, OnceRepairsBlankEepromsAndIsNotRepeated)
{
    {
        QMutexLocker lk(&g_config_text_mutex());
        g_check_edid = "Once";
    }
    reach_polling();
    for (int s = 0; s < 6; ++s) {
        auto e = model<sim::EepromModel>("edid_eeprom_" + std::to_string(s));
        ASSERT_TRUE(e);
        uint8_t want[256];
        edid::default_image(s, want);
        EXPECT_EQ(std::memcmp(e->bytes(), want, 256), 0) << "input " << s;
    }
    EXPECT_EQ(ConfigEngine::read_config_variant(ConfigItem::EDIDCheck).toString(), "Never");
    EXPECT_EQ(status(STATUS_CHIP_PRESENT) & 0x80, 0x80);
    EXPECT_EQ(status(STATUS_EDID) & 0x1F, 0x1F);
    EXPECT_EQ(pad(pads::PAD_EDID_WP), pads::kHigh);
}

// An EEPROM that holds another timing than its input's record (the record's store failed
// after the EEPROM was written, or the power was cut between the two) is written from the
// record at start, whatever "EDIDCheck" says: the card shows what the source is offered.
TEST_F(SourceTest, EepromHoldingAnotherTimingThanItsRecordFollowsTheRecord)
{
    uint8_t img[256];
    edid::default_image(2, img);
    ASSERT_TRUE(edid::custom_descriptor(2, 2560, 1440, 60, img + 54));
    std::memcpy(img + 72, img + 54, 18);
    img[127] = uint8_t(0x100 - edid::sum8(0, img, 127));
    Drv_I2C0 bus;
    platform::board().soc_window().write16(pads::PAD_EDID_WP, pads::kLow);
    ASSERT_EQ(bus.i2c_write(z_->fd, 0xE0, 0x04, nullptr, 0), 1);  // the EEPROM switch: input 2
    for (int off = 0; off < 256; off += 8) {
        ASSERT_EQ(bus.i2c_write(z_->fd, 0xA0, uint8_t(off), img + off, 8), 1);
        for (int look = 0; look < 10 && bus.i2c_write(z_->fd, 0xA0, uint8_t(off), nullptr, 0) != 1; ++look)
            platform::sleep_ms(1);  // the page's write cycle
    }
    reach_polling();
    ASSERT_TRUE(step_until([&] { return scaler_req::edid_request[2] == 0; }, 20));
    uint16_t held[3];
    ASSERT_TRUE(edid::descriptor_timing(model<sim::EepromModel>("edid_eeprom_2")->bytes(), held));
    EXPECT_EQ(std::vector<uint16_t>(held, held + 3), std::vector<uint16_t>({1920, 1080, 60}));
    EXPECT_EQ(ram_rd16(store_->ram_image, ram_edid_addr(2)), 1920);
}

class ReadOnlyEepromTest : public SourceFixture {
    std::string board_json() const override
    {
        return R"({"inputs": [{}, {}, {"eeprom": "read_only"}]})";
    }
};

TEST_F(ReadOnlyEepromTest, UnrepairableEepromCostsOneMoreResetCycleAndIsSkipped)
{
    {
        QMutexLocker lk(&g_config_text_mutex());
        g_check_edid = "Once";
    }
    int cycles = 0;
    uint8_t last = 0;
    ASSERT_TRUE(step_until([&] {
        const uint8_t s = state();
        if (s == 0 && last != 0)
            ++cycles;
        last = s;
        return s == 5;
    }, 4000));
    EXPECT_EQ(cycles, 1);
    EXPECT_EQ(status(STATUS_EDID) & 0x02, 0);     // input 2's EEPROM-good bit
    EXPECT_EQ(status(STATUS_EDID) & 0x1D, 0x1D);  // the others good
    auto e2 = model<sim::EepromModel>("edid_eeprom_2");
    EXPECT_EQ(e2->bytes()[0], 0xFF);
    EXPECT_EQ(ConfigEngine::read_config_variant(ConfigItem::EDIDCheck).toString(), "Never");
}

TEST_F(ReadOnlyEepromTest, CustomEdidThatDoesNotStickIsReportedAndConsumed)
{
    reach_polling();
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        ram_wr16(store_->ram_image, ram_edid_addr(2), 1280);
        ram_wr16(store_->ram_image, ram_edid_addr(2) + 2, 720);
        ram_wr16(store_->ram_image, ram_edid_addr(2) + 4, 60);
    }
    scaler_req::edid_done[2] = 0;
    scaler_req::edid_request[2] = 1;
    ASSERT_TRUE(step_until([&] { return scaler_req::edid_request[2] == 0; }, 5));
    EXPECT_EQ(scaler_req::edid_done[2], 1);
    EXPECT_EQ(model<sim::EepromModel>("edid_eeprom_2")->bytes()[54], 0xFF);
    const std::string log = testutil::read_file(root_.file("data/zeltaqn/log/kivEnglneLog"));
    EXPECT_NE(log.find("custom EDID of input 2 not stored in its EEPROM"), std::string::npos);

    // A timing the EDID builder refuses is consumed without touching the EEPROM, the log says
    // why, and the record goes back to the timing the EEPROM holds.
    auto e0 = model<sim::EepromModel>("edid_eeprom_0");
    const uint64_t writes = e0->page_writes();
    uint16_t held[3];
    ASSERT_TRUE(edid::descriptor_timing(e0->bytes(), held));
    for (const auto& bad : {std::array<uint16_t, 3>{0, 1080, 60}, std::array<uint16_t, 3>{4096, 2160, 60}}) {
        {
            QMutexLocker lk(&c331_shared::c331_lock);
            for (int i = 0; i < 3; ++i)
                ram_wr16(store_->ram_image, ram_edid_addr(0) + 2 * i, bad[i]);
            c331_shared::param_changed = 0;
        }
        scaler_req::edid_done[0] = 0;
        scaler_req::edid_request[0] = 1;
        step();
        EXPECT_EQ(scaler_req::edid_request[0], 0);
        EXPECT_EQ(scaler_req::edid_done[0], 1);
        EXPECT_EQ(e0->page_writes(), writes);
        QMutexLocker lk(&c331_shared::c331_lock);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(ram_rd16(store_->ram_image, ram_edid_addr(0) + 2 * i), held[i]) << bad[0];
        EXPECT_EQ(c331_shared::param_changed.load(), 1);  // persisted by the next pass
        // A file that cannot take it does not set it back to its own: the EEPROM holds this one.
        EXPECT_TRUE(c331_shared::eeprom_held[0].valid);
        EXPECT_EQ(c331_shared::eeprom_held[0].timing[0], held[0]);
    }
    c331_shared::eeprom_held[0].valid = false;
    const std::string refused = testutil::read_file(root_.file("data/zeltaqn/log/kivEnglneLog"));
    EXPECT_NE(refused.find("4096x2160@60: the width or height is not 1 to 4095; the EEPROM keeps its EDID"), std::string::npos);
    EXPECT_NE(refused.find("EDID record of input 0 set back to"), std::string::npos);
}

// A second record applied while the first is being written is written too.
TEST_F(SourceTest, EdidAppliedDuringAWriteEndsInTheEeprom)
{
    reach_polling();
    step(3);
    auto apply = [&](uint16_t w, uint16_t h) {
        {
            QMutexLocker lk(&c331_shared::c331_lock);
            ram_wr16(store_->ram_image, ram_edid_addr(0), w);
            ram_wr16(store_->ram_image, ram_edid_addr(0) + 2, h);
            ram_wr16(store_->ram_image, ram_edid_addr(0) + 4, 60);
        }
        scaler_req::raise_edid(0);
    };
    apply(1280, 720);
    clock_.at_next_sleep = [&] { apply(1920, 1200); };  // the first page is written then
    ASSERT_TRUE(step_until([&] { return scaler_req::edid_request[0] == 0; }, 10));
    EXPECT_EQ(scaler_req::edid_done[0], 1);
    uint8_t want[12];
    ASSERT_TRUE(edid::custom_descriptor(0, 1920, 1200, 60, want));
    EXPECT_EQ(std::memcmp(model<sim::EepromModel>("edid_eeprom_0")->bytes() + 54, want, 12), 0);
}

// An EDID asked for during the reset cycle is written in its waits, not seconds later in the
// first polling pass, and one asked for during a long receiver step inside that step: a
// restart right after it need not wait long.
TEST_F(SourceTest, EdidAskedForDuringTheResetCycleIsWrittenInItsWaits)
{
    ASSERT_TRUE(step_until([&] { return state() == 3; }));
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        ram_wr16(store_->ram_image, ram_edid_addr(0), 1280);
        ram_wr16(store_->ram_image, ram_edid_addr(0) + 2, 720);
    }
    scaler_req::raise_edid(0);
    step();
    EXPECT_EQ(state(), 3);
    EXPECT_EQ(scaler_req::edid_done[0], 1);
    uint8_t want[12];
    ASSERT_TRUE(edid::custom_descriptor(0, 1280, 720, 60, want));
    EXPECT_EQ(std::memcmp(model<sim::EepromModel>("edid_eeprom_0")->bytes() + 54, want, 12), 0);
    EXPECT_EQ(pad(pads::PAD_EDID_WP), pads::kHigh);

    // So is one asked for while an IT6805 measures a new input (over two seconds of short
    // waits in one step): the request waits well under a second, not for the step.
    ite6805_drv* drv = z_->ite6805->drv;
    drv->delay1ms(300);  // the step's first wait
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        ram_wr16(store_->ram_image, ram_edid_addr(4), 1280);
        ram_wr16(store_->ram_image, ram_edid_addr(4) + 2, 720);
    }
    scaler_req::raise_edid(4);
    const uint64_t asked = clock_.now_us();
    for (int i = 0; i < 200 && scaler_req::edid_done[4] == 0; ++i)
        drv->delay1ms(10);
    EXPECT_EQ(scaler_req::edid_done[4], 1);
    EXPECT_LE(clock_.now_us() - asked, 500000u);  // the write included
    EXPECT_EQ(pad(pads::PAD_EDID_WP), pads::kHigh);
}

// A window's sound chosen while the selector is being written is written too.
TEST_F(SourceTest, AudioChosenDuringTheSelectorWriteIsWrittenToo)
{
    reach_polling();
    step(3);
    auto choose = [&](uint16_t source) {
        {
            QMutexLocker lk(&c331_shared::c331_lock);
            uint8_t* img = store_->ram_image;
            img[ram_selected_window] = 0;
            ram_wr16(img, ram_window_addr(0, WIN_AUDIO), WIN_AUDIO_ON);
            ram_wr16(img, ram_window_addr(0, WIN_SOURCE), source);
        }
        scaler_req::audio_select_request = 1;
    };
    auto sel = model<sim::RegChipModel>("audio_selector");
    choose(2);
    // The selector's write waits for its lock: the second choice comes while it waits.
    std::atomic<bool> held{false};
    std::thread tool([&] {
        std::lock_guard<std::recursive_mutex> lk(sel->device_lock());
        held = true;
        for (int i = 0; i < 200 && scaler_req::audio_select_request; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        choose(3);
    });
    while (!held)
        std::this_thread::yield();
    step();
    tool.join();
    step();
    EXPECT_EQ(sel->reg(0x00), 0x10);
    EXPECT_EQ(scaler_req::audio_select_request, 0);
}

// Every receiver step is followed by 10 ms: the pass is the time base of the receivers'
// state machines. A pass without receivers still lasts 10 ms.
TEST_F(SourceTest, PassLastsTenMillisecondsPerReceiver)
{
    reach_polling();
    step(50);  // past the one-time bring-up of the clock generator, the SDI chain and the inputs
    auto pass_ms = [&](int passes) {
        const uint64_t t0 = clock_.now_us();
        step(passes);
        return double(clock_.now_us() - t0) / 1000.0 / passes;
    };
    const double six = pass_ms(10);
    EXPECT_GE(six, 60.0);
    EXPECT_LT(six, 70.0);
    z_->port_mask = 0x01 | 0x20;
    EXPECT_GE(pass_ms(10), 20.0);
    z_->port_mask = 0;
    EXPECT_GE(pass_ms(5), 10.0);
}

TEST_F(SourceTest, ReceiversAreSupervisedWithoutEthernetToo)
{
    g_check_source = 0;  // not read: the network settings were skipped
    ASSERT_EQ(z_->initialize(), 0);
    EXPECT_EQ(z_->port_mask, 255u);
}

// Whatever the setting, the check reads every EEPROM and rewrites only a torn base block:
// from its record when that holds a custom timing (an EDID applied before a restart that cut
// its write short), else with the standard image. "Never" still reports every EEPROM good.
TEST_F(SourceTest, EverySettingRepairsTornBaseBlocksFromTheirRecords)
{
    auto put_eeprom = [&](int s, const uint8_t* bytes) {
        Drv_I2C0 bus;
        uint8_t ch = zeltasource::kChannel[s];
        ASSERT_EQ(bus.i2c_write(z_->fd, zeltasource::kEepromSwitch, 0x00, &ch, 1), 1);
        board_->soc().write16(pads::PAD_EDID_WP, pads::kLow);
        for (int off = 0; off < 256; off += 8) {
            uint8_t page[8];
            std::memcpy(page, bytes + off, 8);
            ASSERT_EQ(bus.i2c_write(z_->fd, zeltasource::kEeprom, uint8_t(off), page, 8), 1);
            clock_.sleep_us(sim::EepromModel::kWriteCycleUs);
        }
        board_->soc().write16(pads::PAD_EDID_WP, pads::kHigh);
    };
    auto set_record = [&](int s, uint16_t w, uint16_t h) {
        QMutexLocker lk(&c331_shared::c331_lock);
        ram_wr16(store_->ram_image, ram_edid_addr(s), w);
        ram_wr16(store_->ram_image, ram_edid_addr(s) + 2, h);
        ram_wr16(store_->ram_image, ram_edid_addr(s) + 4, 60);
    };
    auto eeprom = [&](int s) { return model<sim::EepromModel>("edid_eeprom_" + std::to_string(s)); };
    for (const char* setting : {"Never", ""}) {
        {
            QMutexLocker lk(&g_config_text_mutex());
            g_check_edid = setting;
        }
        uint8_t image[6][256];
        for (int s = 0; s < 6; ++s) {
            edid::default_image(s, image[s]);
            put_eeprom(s, image[s]);
        }
        // Input 1 had 1280x720 applied: its descriptors were written, its checksum not.
        set_record(1, 1280, 720);
        uint8_t custom[256];
        std::memcpy(custom, image[1], 256);
        ASSERT_TRUE(edid::custom_descriptor(1, 1280, 720, 60, custom + 54));
        std::memcpy(custom + 72, custom + 54, 18);
        custom[127] = uint8_t(0x100 - edid::sum8(0, custom, 127));
        uint8_t torn[256];
        std::memcpy(torn, custom, 256);
        torn[127] = image[1][127];
        put_eeprom(1, torn);
        // Input 2, with the factory record, lost its checksum too.
        set_record(2, 1920, 1080);
        uint8_t bad[256];
        std::memcpy(bad, image[2], 256);
        bad[127] ^= 0x55;
        put_eeprom(2, bad);

        uint64_t writes[6];
        for (int s = 0; s < 6; ++s)
            writes[s] = eeprom(s)->page_writes();
        store_->status_page[STATUS_CHIP_PRESENT] |= 0x80;  // as at start: every EEPROM is looked at
        store_->status_page[STATUS_EDID] = 0x1F;
        {
            QMutexLocker lk(&Utils::_source_init_mutex);
            z_->source_state = 4;
        }
        step();
        EXPECT_EQ(state(), 5) << "'" << setting << "'";
        EXPECT_EQ(std::memcmp(eeprom(1)->bytes(), custom, 256), 0) << setting;
        EXPECT_EQ(std::memcmp(eeprom(2)->bytes(), image[2], 256), 0) << setting;
        for (int s : {0, 3, 4, 5})
            EXPECT_EQ(eeprom(s)->page_writes(), writes[s]) << setting << " input " << s;
        EXPECT_EQ(status(STATUS_EDID) & 0x1F, 0x1F) << setting;
        EXPECT_EQ(pad(pads::PAD_EDID_WP), pads::kHigh);
        set_record(1, 1920, 1080);
    }
}

// ---- requests of the remote register file and the apply pass ------------------------------

TEST_F(SourceTest, HotPlugCommandBytesAndTheAudioSelectorAreServed)
{
    reach_polling();
    const uint64_t resets = board_->soc().write_count(pads::PAD_RX6805_RST);
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        *store_->reg_byte(0) = 0x03;    // low, then high: the pair ends released
        *store_->reg_byte(160) = 0x05;  // low twice
    }
    step();
    EXPECT_EQ(board_->soc().write_count(pads::PAD_RX6805_RST), resets + 4);
    EXPECT_EQ(pad(pads::PAD_RX6805_RST), pads::kHigh);  // byte 160 first, then byte 0
    EXPECT_EQ(*store_->reg_byte(0), 0);
    EXPECT_EQ(*store_->reg_byte(160), 0);

    // The selected window's sound follows its source; a failed write is retried.
    auto sel = model<sim::RegChipModel>("audio_selector");
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        uint8_t* img = store_->ram_image;
        img[ram_selected_window] = 0;
        ram_wr16(img, ram_window_addr(0, WIN_AUDIO), WIN_AUDIO_ON);
        ram_wr16(img, ram_window_addr(0, WIN_SOURCE), 2);
    }
    write_board(R"({"audio_selector": false})");
    scaler_req::audio_select_request = 1;
    step(2);
    EXPECT_EQ(scaler_req::audio_select_request, 1);
    write_board("{}");
    step();
    EXPECT_EQ(scaler_req::audio_select_request, 0);
    EXPECT_EQ(sel->reg(0x00), 0x20);
}

// ---- clock generator and SDI chain -----------------------------------------------------------

TEST_F(SourceTest, ClockTableReleasesTheFpgaOnePassLater)
{
    reach_polling();
    auto clk = model<sim::RegChipModel>("clkgen");
    ASSERT_TRUE(clk);
    EXPECT_EQ(pad(pads::PAD_FPGA0_CFG), 0);
    step();  // writes the table
    EXPECT_EQ(clk->writes(), 63u);
    EXPECT_EQ(clk->reg(0x02), kClockTableHead[2]);
    EXPECT_EQ(clk->reg(0x3E), 0x05);
    EXPECT_EQ(z_->clock_setup_state[0], 1);
    EXPECT_EQ(pad(pads::PAD_FPGA0_CFG), 0);
    step();
    EXPECT_EQ(pad(pads::PAD_FPGA0_CFG), pads::kHigh);
    EXPECT_EQ(z_->clock_setup_state[0], 2);
    EXPECT_EQ(status(STATUS_EDID) & 0x80, 0x80);
    step(3);
    EXPECT_EQ(clk->writes(), 63u);  // written once per run
}

class ClockNackTest : public SourceFixture {
    std::string board_json() const override { return R"({"clkgen_nack": 1})"; }
};

TEST_F(ClockNackTest, RefusedWriteRestartsTheTableFromTheFirstRegister)
{
    reach_polling();
    auto clk = model<sim::RegChipModel>("clkgen");
    step();
    EXPECT_EQ(z_->clock_setup_state[0], 0);
    EXPECT_EQ(clk->writes(), 0u);
    step();
    EXPECT_EQ(clk->record().lines().front().rfind("W 00 00", 0), 0u);
    EXPECT_EQ(clk->writes(), 63u);
    step();
    EXPECT_EQ(pad(pads::PAD_FPGA0_CFG), pads::kHigh);
}

class NoEepromSwitchTest : public SourceFixture {
    std::string board_json() const override { return R"({"eeprom_switch": false})"; }
};

TEST_F(NoEepromSwitchTest, ClockGeneratorWaitsForTheEepromSwitch)
{
    reach_polling();
    step(5);
    EXPECT_EQ(model<sim::RegChipModel>("clkgen")->record().total(), 0u);
    EXPECT_EQ(pad(pads::PAD_FPGA0_CFG), 0);
}

TEST_F(SourceTest, SdiTransmitterIsIdentifiedAndLoadedOnce)
{
    reach_polling();
    auto tx = model<sim::RegChipModel>("it66121");
    ASSERT_TRUE(step_until([&] { return z_->sdi_state == 3; }, 10));
    EXPECT_EQ(z_->it66121->chip_test_ok, 1);
    EXPECT_EQ(tx->reg(0x8D), 0x9C);   // init table
    EXPECT_EQ(tx->reg(0x99), 0xDA);   // channel status table
    EXPECT_EQ(tx->reg(0xE2), 0xE4);   // S/PDIF table
    EXPECT_EQ(z_->it66121->tx_sys.video_code, 16);
    EXPECT_EQ(model<sim::SdiRxModel>("sdi_rx")->pulses(), 1u);  // the receiver's reset at the end
    const uint64_t writes = tx->writes();
    step(3);
    EXPECT_EQ(tx->writes(), writes);

    // A reset request holds the receiver's line low for more than 15 ticks; one raised while
    // the pulse runs is absorbed by it.
    z_->sdi_reset_request = 1;
    step();
    ASSERT_EQ(pad(pads::PAD_SDI_RST), 0);
    int low_ticks = 0;
    for (; pad(pads::PAD_SDI_RST) == 0 && low_ticks < 100; ++low_ticks) {
        z_->sdi_reset_request = 1;
        step();
    }
    EXPECT_EQ(low_ticks, 16);
    EXPECT_EQ(model<sim::SdiRxModel>("sdi_rx")->pulses(), 2u);
}

TEST_F(SourceTest, ReversedIdentifierFailsAndTenFailuresGiveUp)
{
    auto tx = model<sim::RegChipModel>("it66121");
    tx->set_reg(0x00, 0x49);
    tx->set_reg(0x01, 0x54);
    reach_polling();
    step(15);
    EXPECT_EQ(z_->it66121->chip_test_failures, it66121_sys::kMaxTestFailures);
    EXPECT_EQ(z_->sdi_state, 1u);
    const uint64_t seen = tx->record().total();
    step(3);
    EXPECT_EQ(tx->record().total(), seen);  // given up: no more tests
}

}  // namespace
