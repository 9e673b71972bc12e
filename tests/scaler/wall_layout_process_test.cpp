// The whole device program: an LED screen split side by side, set from the remote tool, is
// drawn on both outputs; a screen the output channels cannot show leaves the wall as it was.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdlib>

#include "common/remote_client.h"
#include "common/sim_device_test.h"

using testutil::Bytes;

namespace {

constexpr int kStartMs = 15000;   // process start under the sanitizers
constexpr int kWaitMs = 5000;

class WallLayoutProcess : public testutil::SimDeviceTest {
protected:
    WallLayoutProcess() : SimDeviceTest("k57wallproc") {}
    void SetUp() override { ASSERT_TRUE(start_device("100")); }

    static Bytes le16(std::initializer_list<int> words)
    {
        Bytes b;
        for (int w : words) {
            b.push_back(uint8_t(w));
            b.push_back(uint8_t(w >> 8));
        }
        return b;
    }
    // The LED screen (splice mode, size, first output) and window 0 over it, then the apply.
    static bool set_screen(testutil::TcpRemoteClient& c, int splice, int w, int h, int out_w, int out_h)
    {
        for (auto [addr, bytes] : {std::pair{0x560u, le16({splice, w, h})}, std::pair{0x584u, le16({out_w, out_h})},
                                   std::pair{0x8EAu, le16({0, 0, w, h})}}) {
            auto r = c.ram_write(addr, bytes);
            if (!r || r->status() != 0)
                return false;
        }
        auto r = c.reg_write(11, 0x02, 0x02);
        return r && r->status() == 0;
    }
    // The chip's state: each output channel's read of the frame store, and whether it is on.
    void chip_state()
    {
        const QJsonObject c331 = dump("c331", kWaitMs);
        reads_ = c331["och_reads"].toArray();
        banks_ = c331["banks"].toObject();
    }
    // Output channel k is on and shows the picture's part from about pixel x (a zoomed part
    // starts a few pixels before its seam), hw pixels wide.
    bool shows(int k, int x, int hw) const
    {
        const QJsonObject o = reads_.at(k).toObject();
        const bool on = testutil::bank_register(banks_, 0x00, 0x08 + k, 1) & 1;
        return on && o["ich"].toInt() >= 0 && std::abs(o["x"].toInt() - x) <= 8 && o["hw"].toInt() == hw && o["vw"].toInt() > 0;
    }
    std::string state() const { return QJsonDocument(reads_).toJson().toStdString(); }
    QJsonArray reads_;
    QJsonObject banks_;
};

TEST_F(WallLayoutProcess, ScreenSplitSideBySideIsDrawnOnBothOutputs)
{
    ASSERT_TRUE(dev_->wait_for([&] { return chip_state(), shows(0, 0, 4096); }, kStartMs, 200))
        << state() << dev_->output();
    testutil::TcpRemoteClient client;
    ASSERT_TRUE(client.connect(port_, kWaitMs)) << dev_->output();

    // The 1080p picture zoomed over 7680 pixels: the second output shows its right half.
    ASSERT_TRUE(set_screen(client, 3, 7680, 2160, 3840, 2160));
    EXPECT_TRUE(dev_->wait_for([&] { return chip_state(), shows(0, 0, 3840) && shows(1, 960, 3840); }, kWaitMs, 100))
        << state();

    // 8K x 4K in one piece exceeds the channels' totals: both outputs keep their picture.
    ASSERT_TRUE(set_screen(client, 0, 7680, 4320, 7680, 4320));
    EXPECT_TRUE(dev_->wait_for([&] { return dev_->output().find("cannot be shown by the output channels") != std::string::npos; },
                               kWaitMs, 100))
        << dev_->output();
    chip_state();
    EXPECT_TRUE(shows(0, 0, 3840) && shows(1, 960, 3840)) << state();
    EXPECT_TRUE(dev_->running());
}

}  // namespace
