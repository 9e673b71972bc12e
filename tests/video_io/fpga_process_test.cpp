// The whole device program on the simulated board: the FPGA comes up and starts its output,
// the PC tool sets the clock through the FPGA's command page and talks to a receiving card.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <fstream>
#include <sys/stat.h>

#include "common/device_process.h"
#include "common/remote_client.h"
#include "common/temp_dir.h"

using testutil::Bytes;
using testutil::le16;
using testutil::le32;
using testutil::operator+;

namespace {

constexpr uint16_t kFpga = 0xF000;

QJsonObject read_json(const std::string& path)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(testutil::read_file(path))).object();
}

class FpgaProcess : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::mkdir(root_.file("sim").c_str(), 0755);
        std::ofstream(root_.file("sim/board.json")) << R"({"cards": [0, 0, 0, 0, 0, 0, 2]})";
        auto opt = testutil::DeviceProcess::sim_options(root_.path());
        opt.env["K57_TIME_SCALE"] = "100";
        port_ = opt.tcp_port;
        dev_ = std::make_unique<testutil::DeviceProcess>(opt);
        ASSERT_TRUE(dev_->start());
    }
    void TearDown() override { dev_->terminate(); }

    // Asks the board for a dump and returns the model's registers.
    QJsonObject dump(const char* device)
    {
        std::ofstream(root_.file("sim/dump-request")) << "\n";
        dev_->wait_for([&] { return !testutil::file_exists(root_.file("sim/dump-request")); }, 5000);
        return read_json(root_.file(std::string("sim/state/") + device + ".json"));
    }

    testutil::TempDir root_{"k57fpgaproc"};
    std::unique_ptr<testutil::DeviceProcess> dev_;
    uint16_t port_ = 0;
};

}  // namespace

TEST_F(FpgaProcess, output_starts_then_clock_and_card_frames_work_from_the_pc_tool)
{
    const bool started = dev_->wait_for(
        [&] {
            const QJsonObject regs = dump("fpga0").value("registers").toObject().value("registers").toObject();
            return (regs.value("3").toInt() & 0x20) != 0;
        },
        60000, 300);
    ASSERT_TRUE(started) << dev_->output();

    testutil::TcpRemoteClient client;
    ASSERT_TRUE(client.connect(port_));
    const Bytes page = {0xAA, 1, 0, 0, 0, 0, 7, 0, 0x24, 0x20, 0x05, 0x06, 0x07, 0x08, 0x09};
    auto w = client.request(0x60, le32(30 * 0x1000) + le16(uint16_t(page.size())) + le16(0) + page, 3000, kFpga);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->status(), 0);
    auto r = client.request(0x62, {2, 4, 4}, 3000, kFpga);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status(), 0);
    EXPECT_NE(testutil::read_file(root_.file("sim/shell.log")).find("date \"2024-5-6 7:8:9\";hwclock -wu"),
              std::string::npos);

    ASSERT_TRUE(client.send_bytes({0xA5, 0xA5, 0xA5, 0x01, 0x00, 0x10, 0xF0, 0x00, 0x00, 0x01, 0x07, 0x00, 0x61,
                                   0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x96, 0x5A}));
    const auto reply = client.next_reply(5000);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->bytes, (Bytes{0x10, 0xF0, 0x01, 0x00, 0x00, 0x00, 0x01, 0x07, 0x00, 0x61, 0x00, 0x00, 0x00, 0x00,
                                   0x00, 0x10, 0x00, 0x00, 0x00, 0x96}));
    const std::string record = QJsonDocument(dump("fpga0")).toJson().toStdString();
    EXPECT_NE(record.find("port 6 <- 01 20 10 f0"), std::string::npos);
}
