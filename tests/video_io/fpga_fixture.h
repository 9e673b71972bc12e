#pragma once
// The FPGA component on the simulated board, in process and on virtual time: passes are run
// from the test thread one tick at a time (no FPGA thread, no GUI tick).
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "core/TlxRamPara.h"
#include "core/c331_shared.h"
#include "core/ram_map.h"
#include "core/requests.h"
#include "platform/virtual_clock.h"
#include "sim/fpga0_flash_model.h"
#include "sim/fpga0_model.h"
#include "sim/sim_board.h"
#include "video_io/fpga_manage.h"
#include "video_io/soc_pads.h"
#include "video_io/zeltasource.h"

// What the relay hands to a transport (transport 2, TCP), and to which requester.
inline std::vector<std::vector<uint8_t>>& relayed()
{
    static std::vector<std::vector<uint8_t>> r;
    return r;
}
inline std::vector<uint64_t>& relayed_to()
{
    static std::vector<uint64_t> r;
    return r;
}

class FpgaFixture : public ::testing::Test {
protected:
    // board.json for this test (merged over nothing: absent keys take the models' defaults).
    virtual QJsonObject board_json() const { return QJsonObject{}; }

    void SetUp() override
    {
        root_ = std::make_unique<testutil::TempDir>("k57-fpga");
        std::filesystem::create_directories(root_->path() + "/sim");
        write_board(board_json());
        board_ = sim::SimBoard::install_for_test(root_->path());
        fpga0_ = std::dynamic_pointer_cast<sim::Fpga0Model>(board_->spi_model(sim::Fpga0Model::kPath));
        flash_ = std::dynamic_pointer_cast<sim::Fpga0FlashModel>(board_->spi_model(sim::Fpga0FlashModel::kPath));
        ASSERT_TRUE(fpga0_ && flash_);
        platform::set_clock(&clock_);
        store_ = TlxRamPara::pInstance();
        G_timeTicks = 1000;
        pc_cmd_valid = 0;
        g_set_led_para = 0;
        g_set_led_setup = 0;
        g_led_handback_owed = false;
        g_freeze_out = 0;
        scaler_req::net_para_dirty = 0;
        scaler_req::output_status_dirty = 0;
        scaler_req::applied_black_screen = 0;
        scaler_req::applied_och_offsets = 0;
        g_passby_trans_port = 255;
        relayed().clear();
        relayed_to().clear();
        fpga_manage::set_relay(2, [](const u8* f, u32 n, uint64_t peer) {
            relayed().emplace_back(f, f + n);
            relayed_to().push_back(peer);
        });
        zeltasource::pInstance()->clock_setup_state[0] = 2;
        board_->soc().write16(pads::PAD_FPGA0_CFG, pads::kHigh);  // the input side released the reset
        for (auto& b : fpga_manage::MCU_RAM_CMD)
            b = 0;
        f_ = new fpga_manage();
        fpga_manage::p_fpga_manage = f_;
        ASSERT_EQ(f_->open_devices(), 0);
    }
    void TearDown() override
    {
        if (outlive_) {
            // Threads started by the test still use them: kept for the rest of the process.
            static std::vector<void*>* kept = new std::vector<void*>;
            kept->push_back(f_);
            kept->push_back(board_.release());
            return;
        }
        fpga_manage::set_relay(2, nullptr);
        if (!outlived_) {
            fpga_manage::p_fpga_manage = nullptr;
            delete f_;
            platform::set_clock(nullptr);
        }
        zeltasource::pInstance()->clock_setup_state[0] = 0;
        board_.reset();
    }

    // The device starting again on the same board and flash: a new FPGA object, the chip
    // powered off and on.
    void restart()
    {
        fpga_manage::p_fpga_manage = nullptr;
        delete f_;
        board_->soc().write16(pads::PAD_FPGA0_CFG, pads::kLow);
        board_->soc().write16(pads::PAD_FPGA0_CFG, pads::kHigh);
        for (auto& b : fpga_manage::MCU_RAM_CMD)
            b = 0;
        f_ = new fpga_manage();
        fpga_manage::p_fpga_manage = f_;
        ASSERT_EQ(f_->open_devices(), 0);
    }

    // For a test that starts a thread which outlives it (a transport's server): the FPGA stays
    // installed and the process runs on a virtual clock of its own from here on, so the thread
    // never sees them change or go away.
    void outlive_test()
    {
        static platform::VirtualClock* const kept = new platform::VirtualClock(clock_.now_us());
        platform::set_clock(kept);
        outlived_ = true;
    }

    void write_board(const QJsonObject& o)
    {
        std::ofstream(root_->path() + "/sim/board.json") << QJsonDocument(o).toJson().toStdString();
        if (board_)
            board_->poll();
    }

    // Output offsets as an apply pass leaves them: in the image and handed over.
    void apply_offsets(u16 x, u16 y)
    {
        ram_wr16(store_->ram_image, ram_och_layout, x);
        ram_wr16(store_->ram_image, ram_och_layout + 2, y);
        scaler_req::applied_och_offsets = x | uint32_t(y) << 16;
    }

    // n ticks, one pass each.
    void run(int ticks)
    {
        for (int i = 0; i < ticks; ++i) {
            ++G_timeTicks;
            f_->fpga_pass();
        }
    }
    // Runs until cond holds (true) or max ticks pass.
    template <typename C>
    bool run_until(C cond, int max_ticks)
    {
        for (int i = 0; i < max_ticks; ++i) {
            if (cond())
                return true;
            run(1);
        }
        return cond();
    }
    void bring_up()
    {
        ASSERT_TRUE(run_until([&] { return f_->get_fpga_status() == 1; }, 2000));
    }
    void start_output()
    {
        bring_up();
        ASSERT_TRUE(run_until([&] { return f_->output_start_state[0] == 18; }, 3000));
    }

    bool pads_idle() const
    {
        return board_->soc().read16(pads::PAD_SPI_MUX_A) == pads::kHigh &&
               board_->soc().read16(pads::PAD_SPI_MUX_B) == pads::kHigh;
    }
    // Writes bytes into the flash file (completed with erased bytes by the model).
    void flash_write(uint32_t addr, const std::vector<uint8_t>& bytes)
    {
        const std::string path = root_->path() + "/sim/fpga0_flash.bin";
        flash_->read(0, 1);  // creates the erased file
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(addr);
        f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }

    // For a test that starts threads which outlive it: the FPGA object and the board stay, on
    // the real clock.
    void outlive_the_test()
    {
        outlive_ = true;
        platform::set_clock(nullptr);
    }
    bool outlive_ = false;

    std::unique_ptr<testutil::TempDir> root_;
    std::unique_ptr<sim::SimBoard> board_;
    std::shared_ptr<sim::Fpga0Model> fpga0_;
    std::shared_ptr<sim::Fpga0FlashModel> flash_;
    platform::VirtualClock clock_{1000000};
    TlxRamPara* store_ = nullptr;
    fpga_manage* f_ = nullptr;
    bool outlived_ = false;
};
