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

#include "common/device_process.h"
#include "common/remote_client.h"
#include "common/temp_dir.h"

using testutil::Bytes;

namespace {

constexpr int kStartMs = 30000;
constexpr int kWaitMs = 20000;

class Ite6805Process : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(root_.file("sim"));
        write_inputs(QJsonObject{{"format", "1080p60"}}, QJsonObject{{"cable", false}});
        auto opt = testutil::DeviceProcess::sim_options(root_.path());
        opt.env["K57_TIME_SCALE"] = "20";
        port_ = opt.tcp_port;
        dev_ = std::make_unique<testutil::DeviceProcess>(opt);
        ASSERT_TRUE(dev_->start());
        ASSERT_TRUE(client_.connect(port_, kStartMs)) << dev_->output();
    }
    void TearDown() override
    {
        if (dev_)
            dev_->terminate();
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
        const std::string json = root_.file("sim/state/it6805_cec_0.json");
        const std::string req = root_.file("sim/dump-request");
        std::remove(json.c_str());
        std::ofstream(req) << '\n';
        if (!dev_->wait_for([&] { return testutil::file_exists(json) && !testutil::file_exists(req); }, kWaitMs))
            return {};
        const QByteArray text = QByteArray::fromStdString(testutil::read_file(json));
        return QJsonDocument::fromJson(text).object()["registers"].toObject()["cec_sent"].toArray();
    }

    testutil::TempDir root_{"k57ite6805proc"};
    std::unique_ptr<testutil::DeviceProcess> dev_;
    testutil::TcpRemoteClient client_;
    uint16_t port_ = 0;
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
