#pragma once
// The two IT6805 devices on the simulated board, stepped from the test thread as the
// supervision does (channel 0x20 or 0x10 selected on the receiver switch, then one FSM step),
// on virtual time, with a thread-less scaler manager and the parameter store.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QObject>
#include <filesystem>
#include <functional>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "common/hook_clock.h"
#include "common/temp_dir.h"
#include "core/TlxRamPara.h"
#include "core/globals.h"
#include "scaler/c331_manage.h"
#include "sim/input_models.h"
#include "sim/it6805_model.h"
#include "sim/sim_board.h"
#include "video_io/Drv_I2C0.h"
#include "video_io/ite6805_sys.h"
#include "video_io/soc_pads.h"
#include "video_io/zeltasource.h"

class Ite6805Fixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(root_.path() + "/sim");
        inputs_ = QJsonArray{QJsonObject{}, QJsonObject{}, QJsonObject{}, QJsonObject{},
                             QJsonObject{{"format", "1080p60"}}, QJsonObject{{"cable", false}}};
        write_board();
        board_ = sim::SimBoard::install_for_test(root_.path());
        platform::set_clock(&clock_);
        G_timeTicks = 1000;
        rx_switch_ = sim::rx_switch(*board_);
        board_->soc().write16(pads::PAD_RX6805_RST, pads::kHigh);

        store_ = TlxRamPara::pInstance();
        mgr_ = new c331_manage();
        c331_manage::p_c331_manage = mgr_;
        zs_ = zeltasource::pInstance();  // creates the bus object
        ASSERT_TRUE(Drv_I2C0::p_drv_i2c0);
        for (HDMI_INFO& r : zs_->hdminfo)
            r = HDMI_INFO{};
        sys_ = std::make_unique<ite6805_sys>();
        sys_->fd = Drv_I2C0::p_drv_i2c0->initialize();
        signal_ = QObject::connect(store_, &TlxRamPara::sig_update_para, [this](int c) { codes_.push_back(c); });
    }
    void TearDown() override
    {
        QObject::disconnect(signal_);
        c331_manage::p_c331_manage = nullptr;
        delete mgr_;
        platform::set_clock(nullptr);
    }

    void write_board()
    {
        const QJsonObject o{{"inputs", inputs_}};
        std::ofstream(root_.path() + "/sim/board.json") << QJsonDocument(o).toJson().toStdString();
    }
    // Changes input 4 + d (keys merged) and lets the board re-read its file.
    void script(int d, const QJsonObject& keys)
    {
        QJsonObject o = inputs_[4 + d].toObject();
        for (auto it = keys.begin(); it != keys.end(); ++it)
            o[it.key()] = it.value();
        inputs_[4 + d] = o;
        write_board();
        board_->poll();
    }

    std::shared_ptr<sim::It6805Model> model(int d)
    {
        return std::dynamic_pointer_cast<sim::It6805Model>(target(d, sim::It6805Model::kAddr7));
    }
    std::shared_ptr<sim::It6805CecModel> cec(int d)
    {
        return std::dynamic_pointer_cast<sim::It6805CecModel>(target(d, sim::It6805CecModel::kAddr7));
    }
    std::shared_ptr<sim::I2cModel> target(int d, uint8_t addr7)
    {
        const uint8_t before = rx_switch_->channels();
        rx_switch_->set_channels(d ? 0x10 : 0x20);
        auto m = board_->i2c_target(addr7);
        rx_switch_->set_channels(before);
        return m;
    }

    // One supervision step of device d: its channel selected, then the state machine.
    void step(int d)
    {
        uint8_t ch = uint8_t(d ? 0x10 : 0x20);
        Drv_I2C0::p_drv_i2c0->i2c_write(sys_->fd, 0xEE, 0x00, &ch, 1);
        sys_->iTE6805_FSM(uint8_t(d));
        G_timeTicks += 6;  // a supervision pass of six receivers takes about 60 ms
    }
    // Steps device d until cond holds; false after max steps.
    template <typename Cond>
    bool step_until(int d, Cond cond, int max = 60)
    {
        for (int i = 0; i < max; ++i) {
            if (cond())
                return true;
            step(d);
        }
        return cond();
    }
    bool stable(int d) { return sys_->iTE6805_DATA[d].Flag_VidStable_Done == 1; }

    uint16_t ram16(uint32_t a) const { return uint16_t(store_->ram_image[a] | store_->ram_image[a + 1] << 8); }
    std::vector<uint16_t> timing_record(int s) const
    {
        const uint32_t a = ram_input_timing_addr(s);
        return {ram16(a), ram16(a + 2), ram16(a + 4)};
    }
    HDMI_INFO hdminfo(int r) const { return zs_->hdminfo[r]; }

    testutil::TempDir root_{"k57-ite6805"};
    QJsonArray inputs_;
    std::unique_ptr<sim::SimBoard> board_;
    testutil::HookClock clock_;
    std::shared_ptr<sim::I2cSwitch> rx_switch_;
    TlxRamPara* store_ = nullptr;
    c331_manage* mgr_ = nullptr;
    zeltasource* zs_ = nullptr;
    std::unique_ptr<ite6805_sys> sys_;
    std::vector<int> codes_;
    QMetaObject::Connection signal_;
};
