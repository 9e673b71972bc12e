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
        // A card's answer is awaited 3 s of device time, on the server's clock and in FPGA
        // ticks: 0.3 s of real time at 10, which a loaded machine keeps between a frame and its
        // answer (at 100 a thread kept from its CPU for 30 ms lost the answer).
        opt.env["K57_TIME_SCALE"] = "10";
        port_ = opt.tcp_port;
        udp_offset_ = opt.udp_offset;
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

    bool output_started()
    {
        return dev_->wait_for(
            [&] {
                const QJsonObject regs = dump("fpga0").value("registers").toObject().value("registers").toObject();
                return (regs.value("3").toInt() & 0x20) != 0;
            },
            60000, 300);
    }

    testutil::TempDir root_{"k57fpgaproc"};
    std::unique_ptr<testutil::DeviceProcess> dev_;
    uint16_t port_ = 0;
    uint16_t udp_offset_ = 0;
};

// A read of card 1 on output port 7 whose address byte `tag` comes back in the answer.
Bytes card_read(uint8_t tag)
{
    Bytes f = {0x01, 0x00, 0x10, 0xF0, 0x00, 0x00, 0x01, 0x07, 0x00, 0x61, tag, 0, 0, 0, 0x10, 0, 0, 0, 0};
    f.back() = testutil::bcc(f.data(), f.size() - 1);
    return testutil::encode(f);
}

// Two tools send card frames at once, round after round: an answer a tool gets carries its
// own tag (high nibble, the round in the low one), at most one per frame, and every round
// answers at least one.
void interleave(testutil::RemoteClient& x, uint8_t tag_x, testutil::RemoteClient& y, uint8_t tag_y)
{
    constexpr int kRounds = 20;
    int answered[kRounds] = {};
    for (int i = 0; i < kRounds; ++i) {
        ASSERT_TRUE(x.send_bytes(card_read(uint8_t(tag_x | (i & 0x0F)))));
        ASSERT_TRUE(y.send_bytes(card_read(uint8_t(tag_y | (i & 0x0F)))));
        for (const auto& [c, tag] : {std::make_pair(&x, tag_x), std::make_pair(&y, tag_y)}) {
            const auto r = c->next_reply(3000);  // none when the other tool's frame replaced it
            if (!r)
                continue;
            ASSERT_GE(r->bytes.size(), 12u);
            EXPECT_EQ(r->bytes[11] & 0xF0, tag) << "round " << i;
            ++answered[i];
        }
        EXPECT_GE(answered[i], 1) << "round " << i;
    }
    EXPECT_FALSE(x.next_reply(200));
    EXPECT_FALSE(y.next_reply(200));
}

}  // namespace

TEST_F(FpgaProcess, output_starts_then_clock_and_card_frames_work_from_the_pc_tool)
{
    ASSERT_TRUE(output_started()) << dev_->output();

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

// One outstanding card frame at a time: a frame replaced by another tool's before its answer
// came gets none, and no tool ever gets another's answer.
TEST_F(FpgaProcess, card_answers_reach_only_the_tool_whose_frame_they_answer)
{
    ASSERT_TRUE(output_started()) << dev_->output();
    testutil::TcpRemoteClient a, b;
    ASSERT_TRUE(a.connect(port_));
    ASSERT_TRUE(b.connect(port_));
    testutil::UdpRemoteClient u(uint16_t(5008 + udp_offset_));
    interleave(a, 0xA0, b, 0xB0);
    interleave(a, 0xA0, u, 0xC0);

    // A tool that leaves before its answer comes: the answer reaches nobody else.
    ASSERT_TRUE(a.send_bytes(card_read(0xAF)));
    a.close();
    EXPECT_FALSE(b.next_reply(300));
    EXPECT_FALSE(u.next_reply(300));
}
