// The whole device on the simulated board: IT6805 device 0 receives 1080p60, device 1 nothing.
// The supervision thread identifies both chips, the input's timing reaches the image, follows
// a format change, a source's CEC request is answered, and unplugging clears the record.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "common/remote_client.h"
#include "common/sim_device_test.h"
#include "common/temp_dir.h"

using testutil::Bytes;

namespace {

constexpr int kStartMs = 30000;
constexpr int kWaitMs = 20000;

class Ite6805Process : public testutil::SimDeviceTest {
protected:
    Ite6805Process() : SimDeviceTest("k57ite6805proc") {}
    void SetUp() override
    {
        std::filesystem::create_directories(root_.file("sim"));
        write_inputs(QJsonObject{{"format", "1080p60"}}, QJsonObject{{"cable", false}});
        ASSERT_TRUE(start_device("20"));
        ASSERT_TRUE(client_.connect(port_, kStartMs)) << dev_->output();
    }

    void write_inputs(const QJsonObject& in4, const QJsonObject& in5)
    {
        const QJsonArray inputs{QJsonObject{}, QJsonObject{}, QJsonObject{}, QJsonObject{}, in4, in5};
        const std::string path = root_.file("sim/board.json");
        std::remove(path.c_str());
        std::ofstream(path) << QJsonDocument(QJsonObject{{"inputs", inputs}}).toJson().toStdString();
    }

    // The timing record of receiver 4 in the image ({-1} when the read fails).
    std::vector<int> record4()
    {
        auto r = client_.ram_read(0x118, 6);
        if (!r || r->status() != 0 || r->data().size() < 12)
            return {-1};
        const Bytes d = r->data();
        return {d[6] | d[7] << 8, d[8] | d[9] << 8, d[10] | d[11] << 8};
    }
    int chip_present()
    {
        auto r = client_.reg_read(37, 1);
        return (r && r->status() == 0 && r->data().size() >= 3) ? r->data()[2] : -1;
    }
    // The frames the CEC controller of device 0 sent, from a fresh state dump.
    QJsonArray cec_sent()
    {
        return dump("it6805_cec_0", kWaitMs)["cec_sent"].toArray();
    }

    testutil::TcpRemoteClient client_;
};

TEST_F(Ite6805Process, InputTimingReachesTheImageFollowsChangesAnswersCecAndClearsOnUnplug)
{
    using V = std::vector<int>;
    ASSERT_TRUE(dev_->wait_for([&] { return record4() == V{1920, 1080, 60}; }, kStartMs, 200)) << dev_->output();
    EXPECT_EQ(chip_present() & 0x60, 0x60) << "both chips identified";

    write_inputs(QJsonObject{{"format", "2160p60"}}, QJsonObject{{"cable", false}});
    EXPECT_TRUE(dev_->wait_for([&] { return record4() == V{3840, 2160, 60}; }, kWaitMs, 200));

    // The source repeats its request until it is answered (a new list text delivers it again):
    // a chip re-initialised after the format change empties its receive FIFO.
    int asks = 0;
    EXPECT_TRUE(dev_->wait_for([&] {
        const QJsonArray frames = ++asks % 2 ? QJsonArray{"40 83"} : QJsonArray{"40 83", ""};
        write_inputs(QJsonObject{{"format", "2160p60"}, {"cec_in", frames}}, QJsonObject{{"cable", false}});
        return cec_sent().contains("0F 84 00 00 00");
    }, kWaitMs, 500));

    write_inputs(QJsonObject{{"cable", false}}, QJsonObject{{"cable", false}});
    EXPECT_TRUE(dev_->wait_for([&] { return record4() == V{0, 0, 0}; }, kWaitMs, 200));
    EXPECT_TRUE(dev_->running());
}

}  // namespace
