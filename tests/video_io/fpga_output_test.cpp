// LED-size hand-over with the scaler, output ports, brightness and the power relays.
#include <QJsonArray>

#include "core/ram_map.h"
#include "fpga_fixture.h"

using Bytes = std::vector<uint8_t>;

class FpgaOutput : public FpgaFixture {
protected:
    QJsonObject board_json() const override
    {
        return QJsonObject{{"cards", QJsonArray{0, 0, 0, 0, 0, 2}}, {"vmf", QJsonObject{{"port", 5}}}};
    }
    void TearDown() override
    {
        ram_wr16(store_->ram_image, ram_black_screen, 0);
        scaler_req::applied_black_screen = 0;
        ram_wr32(store_->ram_image, ram_och_layout, 0);
        for (int w = 0; w < 6; ++w)
            ram_wr16(store_->ram_image, ram_window_addr(w, WIN_ENABLE), 0);
        set_signal(false);
        FpgaFixture::TearDown();
    }
    // The timing record of the source window 0 shows.
    void set_signal(bool on)
    {
        int16_t crop = 0;
        u8 row = 0;
        const u8 src = store_->TlxGetImageSource(store_->ram_image, 0, &crop, &row, 0);
        ASSERT_LT(src, 6);
        u8* t = store_->ram_image + ram_input_timing_addr(src);
        ram_wr16(t, 0, on ? 1920 : 0);
        ram_wr16(t, 2, on ? 1080 : 0);
        ram_wr16(t, 4, on ? 60 : 0);
    }
    // Ticks at which relay frames went out, with their on/off byte.
    std::vector<std::pair<u32, Bytes>> run_collecting_relays(int ticks)
    {
        std::vector<std::pair<u32, Bytes>> v;
        for (int i = 0; i < ticks; ++i) {
            const size_t n = fpga0_->sent().size();
            run(1);
            for (size_t k = n; k < fpga0_->sent().size(); ++k)
                if (fpga0_->sent()[k].bytes[9] == 0xA0)
                    v.emplace_back(G_timeTicks.load(), fpga0_->sent()[k].bytes);
        }
        return v;
    }
};

TEST_F(FpgaOutput, port_addresses_and_offsets)
{
    unsigned short x, y, w, h;
    f_->get_eth_param_addr(0, &x, &y, &w, &h);
    EXPECT_EQ((Bytes{u8(x), u8(y), u8(w), u8(h)}), (Bytes{8, 10, 12, 14}));
    f_->get_eth_param_addr(16, &x, &y, &w, &h);
    EXPECT_EQ(x, 8);
    f_->get_eth_param_addr(15, &x, &y, &w, &h);
    EXPECT_EQ(x, 632);
}

TEST_F(FpgaOutput, handover_blanks_waits_for_the_scaler_and_restarts_keeping_a_black_screen)
{
    start_output();
    c331_shared::c331_lock.lock();
    fpga_manage::request_led_size_handover();
    c331_shared::c331_lock.unlock();
    EXPECT_EQ(g_set_led_para.load(), 1);
    ASSERT_TRUE(run_until([] { return g_set_led_para == 0; }, 100));
    EXPECT_TRUE(fpga0_->reg(0) & 0x04);    // blanked
    EXPECT_FALSE(fpga0_->reg(3) & 0x20);   // output stopped
    EXPECT_TRUE(g_led_handback_owed);      // a pass that sees no change still hands back
    // The user blacks the screen meanwhile (applied); the image's 0 is a tool's write no pass
    // has applied yet, which the output does not follow.
    scaler_req::applied_black_screen = 1;
    g_set_led_para = 2;                    // the scaler re-initialised its panel
    // Black off, then on again, while the output restarts: it stays blanked meanwhile.
    ASSERT_TRUE(run_until([] { return g_freeze_out == 1 && g_set_led_setup == 2; }, 100));
    scaler_req::applied_black_screen = 0;
    scaler_req::output_status_dirty = 1;
    run(1);
    EXPECT_TRUE(fpga0_->reg(0) & 0x04);
    EXPECT_EQ(scaler_req::output_status_dirty.load(), 0);
    scaler_req::applied_black_screen = 1;
    scaler_req::output_status_dirty = 1;
    ASSERT_TRUE(run_until([] { return g_freeze_out == 0 && g_set_led_para == 0; }, 400));
    EXPECT_FALSE(g_led_handback_owed);
    EXPECT_TRUE(fpga0_->reg(3) & 0x20);
    EXPECT_TRUE(fpga0_->reg(23) & 0x01);
    EXPECT_TRUE(fpga0_->reg(0) & 0x04);    // still black
    EXPECT_EQ(g_set_led_setup.load(), 0);

    // The screen shown again, and blacked once more while that state is being sent: the
    // second change is not lost.
    auto armed = std::make_shared<bool>(true);
    board_->soc().watch(pads::PAD_FPGA0_SEL, [this, armed](uint32_t, uint16_t) {
        if (!*armed || ScreenState.load() != 1)
            return;
        *armed = false;
        scaler_req::applied_black_screen = 1;
        scaler_req::output_status_dirty = 1;
    });
    scaler_req::applied_black_screen = 0;
    scaler_req::output_status_dirty = 1;
    run(2);
    EXPECT_FALSE(*armed);
    EXPECT_TRUE(fpga0_->reg(0) & 0x04);
    EXPECT_EQ(scaler_req::output_status_dirty.load(), 0);

    // The chip restarted (its registers cleared): brought up again, it still shows the black
    // screen the user asked for, and its page takes the applied offsets, not a tool's x of
    // 100 in the image that no pass has applied; the next applied offsets reach the page.
    ram_wr16(store_->ram_image, ram_och_layout, 100);
    f_->reset_chip(0);
    start_output();
    EXPECT_TRUE(fpga0_->reg(0) & 0x04);
    EXPECT_EQ(fpga0_->ram(1, 8, 4), (Bytes{0, 0, 0, 0}));   // port 0 at the applied offsets
    apply_offsets(16, 8);
    scaler_req::net_para_dirty = 1;
    run(1);
    EXPECT_EQ(fpga0_->ram(1, 8, 4), (Bytes{16, 0, 8, 0}));
}

// Sizes applied one after the other: a request that comes in while a step of the restart is
// being sent starts its blank at the first step, and the restart waits for the scaler's next
// hand-back; a request while a blank is under way joins it.
TEST_F(FpgaOutput, handover_requests_in_quick_succession_each_complete)
{
    start_output();
    fpga_manage::request_led_size_handover();
    ASSERT_TRUE(run_until([] { return g_set_led_para == 0; }, 100));
    g_set_led_para = 2;
    ASSERT_TRUE(run_until([] { return g_freeze_out == 1 && g_set_led_setup == 2; }, 100));
    ASSERT_FALSE(fpga0_->reg(23) & 0x01);
    auto armed = std::make_shared<bool>(true);
    board_->soc().watch(pads::PAD_SPI_MUX_A, [this, armed](uint32_t, uint16_t) {   // the bus let go
        if (*armed && (fpga0_->reg(23) & 0x01)) {   // restart step 2 was sent, not yet counted
            *armed = false;
            fpga_manage::request_led_size_handover();
        }
    });
    ASSERT_TRUE(run_until([&] { return !*armed; }, 100));
    EXPECT_EQ(g_set_led_setup.load(), 0);
    ASSERT_TRUE(run_until([] { return g_set_led_para == 0; }, 50));
    run(200);   // no hand-back yet: the output stays blanked and stopped
    EXPECT_TRUE(fpga0_->reg(0) & 0x04);
    EXPECT_FALSE(fpga0_->reg(3) & 0x20);

    // Brought up anew during the blank, the chip shows its output; the restart after the
    // hand-back runs blanked again.
    f_->reset_chip(0);
    start_output();
    EXPECT_FALSE(g_led_handback_owed);
    ram_wr16(store_->ram_image, ram_black_screen, 1);   // a tool's write no pass has applied
    g_set_led_para = 2;
    ASSERT_TRUE(run_until([] { return g_freeze_out == 1 && g_set_led_setup == 2; }, 100));
    EXPECT_TRUE(fpga0_->reg(0) & 0x04);
    ASSERT_TRUE(run_until([] { return g_freeze_out == 0 && g_set_led_para == 0; }, 400));
    EXPECT_FALSE(fpga0_->reg(0) & 0x04);
    fpga_manage::request_led_size_handover();
    run(20);
    fpga_manage::request_led_size_handover();
    EXPECT_TRUE(run_until([] { return g_set_led_para == 0; }, 30));   // 42 ticks from the first
}

TEST_F(FpgaOutput, handover_is_released_at_once_when_the_fpga_does_not_run)
{
    fpga_manage::request_led_size_handover();
    EXPECT_EQ(g_set_led_para.load(), 0);  // not requested while not running
    g_set_led_para = 1;                   // a requester that did not ask first
    run(1);
    EXPECT_EQ(g_set_led_para.load(), 0);
    EXPECT_FALSE(g_led_handback_owed);    // nothing was blanked
    g_led_handback_owed = true;           // blanked, then the chip restarted: its output is shown
    run(1);
    EXPECT_FALSE(g_led_handback_owed);
}

TEST_F(FpgaOutput, manual_brightness_record_is_applied_on_the_cards)
{
    Bytes rec(57, 0);
    rec[0] = 0xAA;
    rec[6] = 2;  // data length
    rec[8] = 0;  // mode 0
    rec[9] = 8;
    flash_write(0x6CE000, rec);
    bring_up();
    ASSERT_TRUE(run_until([&] { return fpga0_->brightness() >= 0; }, 1500));
    EXPECT_EQ(fpga0_->reg(6), 127);  // 8 x 16 - 1
    EXPECT_EQ(fpga0_->brightness(), 127);
    EXPECT_TRUE(relayed().empty());   // the cards' brightness answers are not relayed

    // Every card unplugged: the card search clears the port's link bit and its result.
    ASSERT_TRUE(run_until([&] { return fpga0_->ram(1, 564, 2) != Bytes{0, 0}; }, 500));
    write_board(QJsonObject{{"cards", QJsonArray{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
                            {"vmf", QJsonObject{{"port", 5}}}});
    run(200);
    EXPECT_EQ(fpga0_->ram(1, 512, 1), (Bytes{0}));
    EXPECT_EQ(fpga0_->ram(1, 564, 3), (Bytes{0, 0, 0}));

    // The wall switched on a minute later (after the record's five applications) still gets
    // the brightness, and again each time a port gains its link.
    run(6000);
    uint64_t takes = fpga0_->card_brightness_takes();
    write_board(board_json());
    EXPECT_TRUE(run_until([&] { return fpga0_->ram(1, 512, 1) == Bytes{0x02}; }, 200));
    EXPECT_TRUE(run_until([&] { return fpga0_->card_brightness_takes() > takes; }, 200));
    EXPECT_EQ(fpga0_->brightness(), 127);

    // Unplugged and switched on again while a tool polls the processor (the search paused):
    // the wall gets the brightness all the same.
    write_board(QJsonObject{{"cards", QJsonArray{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
                            {"vmf", QJsonObject{{"port", 5}}}});
    ASSERT_TRUE(run_until([&] { return fpga0_->ram(1, 512, 1) == Bytes{0}; }, 200));
    const auto polled = [&] {
        pc_cmd_valid = 1;
        pc_cmd_time = G_timeTicks.load();
        return fpga0_->card_brightness_takes() > takes;
    };
    takes = fpga0_->card_brightness_takes();
    write_board(board_json());
    EXPECT_TRUE(run_until(polled, 300));
}

TEST_F(FpgaOutput, vmf_answers_with_a_bad_checksum_count_in_register_85)
{
    Bytes rec(57, 0);
    rec[0] = 0xAA;
    rec[6] = 1;  // data length
    rec[8] = 2;  // automatic brightness
    flash_write(0x6CE000, rec);
    write_board(QJsonObject{{"cards", QJsonArray{0, 0, 0, 0, 0, 2}},
                            {"vmf", QJsonObject{{"port", 5}, {"bad_checksum", true}}}});
    bring_up();
    run(2100);
    int data_reads = 0, reads = 0;
    for (const auto& s : fpga0_->sent()) {
        if (s.bytes.size() < 14 || s.bytes[9] != 0x61 || (s.bytes[0] | s.bytes[1] << 8) != 0x5000)
            continue;
        ++reads;
        data_reads += s.bytes[13] != 0 ? 1 : 0;  // the data read, not the RAM-0 read
    }
    EXPECT_GE(data_reads, 1);
    EXPECT_EQ(f_->reg(85), reads);
}

TEST_F(FpgaOutput, lost_signal_switches_the_eight_relays_off_51_ticks_apart)
{
    bring_up();
    set_signal(true);
    run(1100);  // signal seen, module found and asked
    EXPECT_EQ(f_->reg(67), 1);
    set_signal(false);
    const auto relays = run_collecting_relays(1600);
    ASSERT_EQ(relays.size(), 8u);
    for (size_t i = 0; i < relays.size(); ++i) {
        const Bytes& f = relays[i].second;
        EXPECT_EQ(f[0] | f[1] << 8, 0x5000);
        EXPECT_EQ(f[10], i < 4 ? 0x02 : 0x03);
        EXPECT_EQ(f[13], u8(1 << (2 * (i % 4))));  // off
        if (i > 0) {
            EXPECT_GE(relays[i].first - relays[i - 1].first, 51u);
        }
    }
    set_signal(true);
    const auto back = run_collecting_relays(700);
    EXPECT_EQ(back.size(), 8u);
    EXPECT_EQ(fpga0_->relays(), 0xFF);
}

// Relays switched off by a lost signal come on again when a second window is put up and the
// signal returns; a second window never switches them off.
TEST_F(FpgaOutput, relays_off_come_on_when_a_second_window_shows_the_signal)
{
    bring_up();
    set_signal(true);
    run(1100);
    set_signal(false);
    ASSERT_EQ(run_collecting_relays(1600).size(), 8u);
    ASSERT_EQ(fpga0_->relays(), 0x00);
    ram_wr16(store_->ram_image, ram_window_addr(1, WIN_ENABLE), 1);
    set_signal(true);
    const auto back = run_collecting_relays(700);
    EXPECT_EQ(back.size(), 8u);
    EXPECT_EQ(fpga0_->relays(), 0xFF);
    set_signal(false);
    EXPECT_TRUE(run_collecting_relays(2500).empty());
}

TEST_F(FpgaOutput, no_relay_frame_while_a_second_window_shows)
{
    bring_up();
    ram_wr16(store_->ram_image, ram_window_addr(1, WIN_ENABLE), 1);
    set_signal(true);
    run(300);
    set_signal(false);
    EXPECT_TRUE(run_collecting_relays(2500).empty());
}
