// Power-up, initialisation and output start of FPGA chip 0.
#include <chrono>
#include <thread>

#include "fpga_fixture.h"

using Bytes = std::vector<uint8_t>;

class FpgaBringUp : public FpgaFixture {};

TEST_F(FpgaBringUp, erased_flash_gives_the_default_page_and_the_output_starts)
{
    start_output();
    EXPECT_EQ(fpga0_->ram(1, 0, 16), (Bytes{0x00, 0x05, 0x00, 0x04, 0x76, 0x05, 0xD2, 0x01, 0x00, 0x00, 0x00, 0x00,
                                           0x00, 0x05, 0x00, 0x02}));
    EXPECT_EQ(fpga0_->ram(50, 0, 4), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));  // the flash's data block
    EXPECT_EQ(fpga0_->reg(32), 0x11);                                    // identifier in 32..39
    EXPECT_EQ(fpga0_->reg(39), 0x88);
    EXPECT_TRUE(fpga0_->reg(2) & 0x08);   // initialisation done
    EXPECT_TRUE(fpga0_->reg(3) & 0x20);   // output started
    EXPECT_EQ(g_force_bkcolor.load(), 0);
    EXPECT_EQ(fpga_manage::MCU_RAM_CMD[15].load(), 33);  // version copied to the command page
    EXPECT_EQ(fpga0_->power_ons(), 1u);
    EXPECT_TRUE(pads_idle());
}

TEST_F(FpgaBringUp, saved_parameter_page_is_loaded_with_the_applied_offsets)
{
    Bytes page(1025, 0);
    page[0] = 0xAA;
    page[1 + 19] = 0x50;  // port 1's x = 336
    page[1 + 20] = 0x01;
    page[1 + 100] = 7;    // search state: cleared on load
    flash_write(0x6C7000, page);
    apply_offsets(100, 0);
    bring_up();
    EXPECT_EQ(fpga0_->ram(1, 19, 2), (Bytes{0xB4, 0x01}));  // 336 + 100
    EXPECT_EQ(fpga0_->ram(1, 100, 1), (Bytes{0}));
    apply_offsets(0, 0);
}

// Without a saved page the default rectangles take the applied offsets as well: a start
// programs the output where the tool's last applied offsets put it.
TEST_F(FpgaBringUp, default_parameter_page_is_loaded_with_the_applied_offsets)
{
    apply_offsets(100, 50);
    bring_up();
    EXPECT_EQ(fpga0_->ram(1, 8, 4), (Bytes{100, 0, 50, 0}));    // port 0 at 0,0 + the offsets
    EXPECT_EQ(fpga0_->ram(1, 632, 4), (Bytes{100, 0, 50, 0}));  // port 15
    EXPECT_EQ(fpga0_->ram(1, 12, 2), (Bytes{0x00, 0x05}));      // widths keep 1280

    // A later apply of new offsets moves them once, not on top of the first.
    apply_offsets(16, 50);
    scaler_req::net_para_dirty = 1;
    run(2);
    EXPECT_EQ(fpga0_->ram(1, 8, 4), (Bytes{16, 0, 50, 0}));

    // An apply that moves them again while that page is being sent is not lost: the page
    // follows the newest offsets.
    auto armed = std::make_shared<bool>(true);
    board_->soc().watch(pads::PAD_FPGA0_SEL, [this, armed](uint32_t, uint16_t) {
        if (!*armed || f_->page_offset[0][0] != 32)
            return;  // not yet inside the send of the page built with x = 32
        *armed = false;
        apply_offsets(0, 50);
        scaler_req::net_para_dirty = 1;
    });
    apply_offsets(32, 50);
    scaler_req::net_para_dirty = 1;
    run(3);
    EXPECT_FALSE(*armed);
    EXPECT_EQ(fpga0_->ram(1, 8, 4), (Bytes{0, 0, 50, 0}));
    EXPECT_EQ(scaler_req::net_para_dirty.load(), 0);
    apply_offsets(0, 0);
}

TEST_F(FpgaBringUp, stage_one_that_never_ends_resets_the_chip_exactly_twice)
{
    write_board(QJsonObject{{"fpga_stage1_polls", 1e9}});
    bring_up();
    EXPECT_EQ(fpga0_->power_ons(), 3u);  // the first power-on and two resets
    EXPECT_EQ(f_->bringup_step[0], 7);
}

TEST_F(FpgaBringUp, restart_with_another_version_brings_the_chip_up_again)
{
    bring_up();
    write_board(QJsonObject{{"fpga_restart", 1}, {"fpga_version_after_restart", 26}});
    ASSERT_TRUE(run_until([&] { return f_->get_fpga_status() == 0; }, 50));
    EXPECT_TRUE(run_until([&] { return f_->get_fpga_status() == 1; }, 2000));
    EXPECT_EQ(f_->reg(31), 26);
    EXPECT_EQ(fpga0_->power_ons(), 1u);  // no reset needed

    write_board(QJsonObject{{"fpga_restart", 2}, {"fpga_version_after_restart", 33}});
    run(50);
    EXPECT_EQ(f_->get_fpga_status(), 1u);  // an accepted version keeps it running
}

TEST_F(FpgaBringUp, the_thread_waits_for_the_start_flag_and_the_aging_probe_reads_over_spi)
{
    g_fpga_c331_start = 1;
    ASSERT_EQ(f_->initialize(), 0);  // 2 s on virtual time, then the thread; clears the flag
    EXPECT_EQ(g_fpga_c331_start.load(), 0u);
    G_timeTicks += 100;
    // The thread transfers under the model's lock; so does the test when it looks.
    const auto transfers = [&] {
        std::lock_guard<std::recursive_mutex> lk(fpga0_->device_lock());
        return fpga0_->transfers();
    };
    const uint64_t before = transfers();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(transfers(), before);
    g_fpga_c331_start = 1;
    for (int i = 0; i < 200 && transfers() == before; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_GT(transfers(), before);
    g_fpga_c331_start = 0;
    f_->stop_thread = true;

    write_board(QJsonObject{{"fpga_age_r42", 7}, {"fpga_age_step", 3}});
    const uint64_t r43 = fpga0_->reads_of(43);
    int a = 0, b = 0, c = 0;
    f_->read_age_registers(a, b, c);
    EXPECT_EQ(a, 0x1C);
    EXPECT_EQ(b, 7);
    EXPECT_EQ(c, int(3 * (r43 + 1)) & 0xFF);
    EXPECT_EQ(fpga0_->reads_of(43), r43 + 1);
}

TEST_F(FpgaBringUp, output_start_without_ready_resets_the_chip_then_gives_up_after_100_resets)
{
    bring_up();
    f_->clear_bits(23, 0x01);  // the FPGA will not report its output ready (register 22 bit 7)
    f_->output_start_state[0] = 0;
    ASSERT_TRUE(run_until([&] { return f_->fpga_reset_pending[0] == 1; }, 300));  // 20 polls, then a reset
    EXPECT_EQ(f_->bringup_step[0], 17);
    ASSERT_TRUE(run_until([&] { return fpga0_->power_ons() == 2; }, 120));
    bring_up();
    f_->clear_bits(23, 0x01);
    f_->output_start_state[0] = 0;
    f_->output_reset_count[0] = 101;
    f_->output_poll_count[0] = 102 * 20;
    run(12);
    EXPECT_EQ(f_->output_start_state[0], 7);
    EXPECT_EQ(fpga0_->power_ons(), 2u);  // no further reset
    EXPECT_EQ(f_->get_fpga_status(), 1u);
}
