#pragma once
// A scaler manager on the simulated board with the factory parameter image, driven pass by
// pass from the test thread (no manager thread).
#include <gtest/gtest.h>

#include <QObject>
#include <QMutexLocker>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "core/TlxRamPara.h"
#include "core/c331_shared.h"
#include "core/utils.h"
#include "platform/paths.h"
#include "scaler/c331_drv.h"
#include "scaler/c331_manage.h"
#include "scaler/panel_layout.h"
#include "sim/c331_model.h"
#include "sim/sim_board.h"
#include "video_io/zeltasource.h"

class ScalerFixture : public ::testing::Test {
protected:
    // Identifier reads that fail before the chip answers (board.json).
    virtual int id_fail_reads() const { return 0; }

    void SetUp() override
    {
        root_ = dir_.path();
        std::filesystem::create_directories(root_ + "/sim");
        std::ofstream(root_ + "/sim/board.json") << "{\"c331_id_fail_reads\": " << id_fail_reads() << "}\n";
        boards().push_back(sim::SimBoard::install_for_test(root_));
        board_ = boards().back().get();
        model_ = std::dynamic_pointer_cast<sim::C331Model>(board_->spi_model(sim::C331Model::kPath));
        ASSERT_TRUE(model_);
        TlxRamPara::set_screen_rule(panel::shows);   // as the device installs it before its load
        start_manager();
        signal_ = QObject::connect(store_, &TlxRamPara::sig_update_para, [this](int c) { codes_.push_back(c); });
    }
    // The store's load of the parameter file, then a scaler manager not yet brought up.
    void start_manager()
    {
        store_ = TlxRamPara::pInstance();
        c331_shared::param_changed = 0;
        g_fpga_c331_start = 0;
        mgr_ = new c331_manage();
        mgr_->fill_mwin_preset();
        mgr_->open_transport();
        c331_manage::p_c331_manage = mgr_;
    }
    void TearDown() override
    {
        if (published_)
            for (int s = 0; s < kSourceCount; ++s)
                publish(s, HDMI_INFO{});
        QObject::disconnect(signal_);
        c331_manage::p_c331_manage = nullptr;
        delete mgr_;
    }

    // Runs passes until the manager is running (bounded).
    void bring_up()
    {
        for (int i = 0; i < 100 && mgr_->thread_state != c331_manage::kStateRunning; ++i)
            mgr_->thread_pass();
        ASSERT_EQ(mgr_->thread_state, c331_manage::kStateRunning);
        model_->clear_writes();
        codes_.clear();
    }

    // Brought up with every input at 1080p60 and one pass that takes them up.
    void bring_up_with_every_input_at_1080p60()
    {
        bring_up();
        for (int s = 0; s < kSourceCount; ++s)
            publish(s, row_1080p60());
        mgr_->c331managerdeal(mgr_);
    }

    uint8_t* img() { return store_->ram_image; }
    void set_word(uint32_t addr, uint16_t v)
    {
        img()[addr] = uint8_t(v);
        img()[addr + 1] = uint8_t(v >> 8);
    }
    // A receiver's timing record of source s, as the source supervision publishes it.
    void publish(int s, const HDMI_INFO& row)
    {
        published_ = true;
        QMutexLocker lk(&Utils::_source_hdminfo_mutex);
        zeltasource::pInstance()->hdminfo[s] = row;
    }
    // 1080p60 as a receiver reports it (the simulated board's default input).
    static HDMI_INFO row_1080p60()
    {
        HDMI_INFO r{};
        r.Hact = 1920, r.Hsync = 44, r.Hback = 148, r.Hpol = 1, r.Htotal = 2200;
        r.Vact = 1080, r.Vsync = 5, r.Vback = 36, r.Vpol = 1, r.Vtotal = 1125;
        r.PCLK = 148.5f;
        r.stable = 1;
        return r;
    }
    // A new board.json, taken at once.
    void board(const std::string& json)
    {
        std::ofstream(root_ + "/sim/board.json") << json;
        board_->poll();
    }
    // Lines of the device log that hold the text.
    int logged(const std::string& text) const
    {
        std::ifstream f(root_ + "/data/zeltaqn/log/kivEnglneLog");
        int n = 0;
        for (std::string line; std::getline(f, line);)
            n += line.find(text) != std::string::npos;
        return n;
    }
    uint32_t chip(uint32_t id, int ch = 0) const { return model_->value(id, 16u * ch); }
    uint8_t* shd() { return store_->ram_shadow; }

    // An edit under the lock-and-flag rule, one apply pass, then what the GUI thread's
    // persistence does (image -> shadow).
    template <typename Edit>
    void edit_and_pass(Edit edit, int flag = 1)
    {
        {
            QMutexLocker lk(&c331_shared::c331_lock);
            edit(img());
            c331_shared::param_changed = flag;
        }
        mgr_->c331managerdeal(mgr_);
        std::memcpy(shd(), img(), RAM_IMAGE_SIZE);
    }

    // A screen 8400 wide: two output channels of 4200 side by side.
    void two_channel_panel()
    {
        edit_and_pass([](uint8_t* m) {
            ram_wr16(m, ram_led_width, 8400);
            ram_wr16(m, ram_led_height, 1000);
            ram_wr16(m, ram_output_rect + 4, 8400);
            ram_wr16(m, ram_output_rect + 6, 1000);
        });
    }

    // Writes to (bank, reg) in the order they reached the chip.
    std::vector<uint8_t> writes_to(uint8_t bank, uint8_t reg) const
    {
        std::vector<uint8_t> v;
        for (const auto& w : model_->writes())
            if (w.bank == bank && w.reg == reg)
                v.push_back(w.value);
        return v;
    }
    // Index in the write log of the first write to (bank, reg) with value, -1 when none.
    long index_of(uint8_t bank, uint8_t reg, int value = -1, long from = 0) const
    {
        const auto w = model_->writes();
        for (long i = from; i < static_cast<long>(w.size()); ++i)
            if (w[i].bank == bank && w[i].reg == reg && (value < 0 || w[i].value == value))
                return i;
        return -1;
    }

    static std::vector<std::unique_ptr<sim::SimBoard>>& boards()
    {
        static std::vector<std::unique_ptr<sim::SimBoard>> b;   // kept: the board stays installed
        return b;
    }

    testutil::TempDir dir_{"k57-scaler"};
    std::string root_;
    sim::SimBoard* board_ = nullptr;
    std::shared_ptr<sim::C331Model> model_;
    TlxRamPara* store_ = nullptr;
    c331_manage* mgr_ = nullptr;
    std::vector<int> codes_;
    bool published_ = false;
    QMetaObject::Connection signal_;
};
