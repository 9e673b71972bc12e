#pragma once
// The input supervision on the simulated board, stepped from the test thread on virtual
// time: each step advances the 10 ms tick counter by one.
#include <gtest/gtest.h>

#include <QMutexLocker>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "common/hook_clock.h"
#include "common/temp_dir.h"
#include "core/ConfigEngine.h"
#include "core/TlxRamPara.h"
#include "core/c331_shared.h"
#include "core/factory_image.h"
#include "core/requests.h"
#include "core/utils.h"
#include "sim/input_models.h"
#include "sim/it6602_model.h"
#include "sim/sim_board.h"
#include "video_io/soc_pads.h"
#include "video_io/zeltasource.h"

class SourceFixture : public ::testing::Test {
protected:
    virtual std::string board_json() const { return "{}"; }

    void SetUp() override
    {
        std::filesystem::create_directories(root_.path() + "/sim");
        std::ofstream(root_.path() + "/sim/board.json") << board_json();
        boards().push_back(sim::SimBoard::install_for_test(root_.path()));
        board_ = boards().back().get();
        platform::set_clock(&clock_);
        ConfigEngine::pInstance();
        store_ = TlxRamPara::pInstance();
        std::memset(store_->ram_image + ram_input_timing, 0, 6 * RAM_INPUT_TIMING_STRIDE);  // an earlier test's inputs
        for (uint32_t a = ram_edid_addr(0); a < ram_edid_addr(6); ++a)  // an earlier test's EDID records
            store_->ram_image[a] = ConfigEngine::default_para_ramlist[factory_offset(a)];
        {
            QMutexLocker lk(&g_config_text_mutex());
            g_check_edid = "Never";
        }
        for (int r = 0; r < 6; ++r)
            scaler_req::edid_request[r] = 0, scaler_req::edid_done[r] = 0;
        z_ = new zeltasource;
        zeltasource::p_zelta_source = z_;
        ASSERT_GE(z_->open_bus(), 0);
    }
    void TearDown() override
    {
        delete z_;  // joins a thread a test started
        zeltasource::p_zelta_source = nullptr;
        platform::set_clock(nullptr);
    }

    void step(int n = 1)
    {
        for (int i = 0; i < n; ++i) {
            z_->thread_pass();
            ++G_timeTicks;
        }
    }
    // Steps until cond holds (true) or max steps pass.
    template <typename Cond>
    bool step_until(Cond cond, int max = 2000)
    {
        for (int i = 0; i < max; ++i) {
            if (cond())
                return true;
            step();
        }
        return cond();
    }
    uint8_t state()
    {
        QMutexLocker lk(&Utils::_source_init_mutex);
        return z_->source_state;
    }
    // Through the reset cycle and the EEPROM check, into polling.
    void reach_polling() { ASSERT_TRUE(step_until([&] { return state() == 5; })); }

    template <typename M>
    std::shared_ptr<M> model(const std::string& name)
    {
        return std::dynamic_pointer_cast<M>(board_->device(name));
    }
    uint16_t pad(uint32_t off) { return board_->soc().read16(off); }
    uint8_t status(int byte) { return store_->status_page[byte]; }
    uint16_t timing(int s, int field)
    {
        return ram_rd16(store_->ram_image, ram_input_timing_addr(s) + 2 * uint32_t(field));
    }
    void write_board(const std::string& json)
    {
        std::ofstream(root_.path() + "/sim/board.json") << json;
        board_->poll();
    }

    static std::vector<std::unique_ptr<sim::SimBoard>>& boards()
    {
        static std::vector<std::unique_ptr<sim::SimBoard>> b;  // kept: handles may still name them
        return b;
    }

    testutil::TempDir root_{"k57source"};
    testutil::HookClock clock_;
    sim::SimBoard* board_ = nullptr;
    TlxRamPara* store_ = nullptr;
    zeltasource* z_ = nullptr;
};
