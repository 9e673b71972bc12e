// The remote protocol against the whole device program on the simulated board.
#include <gtest/gtest.h>

#include <QDir>
#include <QSettings>
#include <arpa/inet.h>
#include <chrono>
#include <fstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "common/device_process.h"
#include "common/remote_client.h"
#include "common/temp_dir.h"

using testutil::Bytes;
using testutil::operator+;
using testutil::le16;
using testutil::le32;

namespace {

constexpr uint32_t kBrightness = 0x880;
constexpr long kParaFileOffset = 2 - 0x300;  // file byte of image address a: a + this
const char* const kStale[] = {"data/ram_device_info.tmp", "data/modes/custom_mode3.tmp", "data/app/tlxK57N.part",
                              "data/configs/alias.json.part"};

class Device : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        root_ = new testutil::TempDir("k57remoteproc");
        auto opt = testutil::DeviceProcess::sim_options(root_->path());
        // What power cuts during writes and transfers left behind.
        for (const char* stale : kStale) {
            QDir().mkpath(QString::fromStdString(root_->file(stale)).section('/', 0, -2));
            std::fclose(std::fopen(root_->file(stale).c_str(), "w"));
        }
        port_ = opt.tcp_port;
        udp_offset_ = opt.udp_offset;
        dev_ = new testutil::DeviceProcess(opt);
        ASSERT_TRUE(dev_->start());
    }
    static void TearDownTestSuite()
    {
        if (dev_)
            dev_->terminate();
        delete dev_;
        delete root_;
    }
    void SetUp() override
    {
        ASSERT_TRUE(dev_->running()) << dev_->output();
        ASSERT_TRUE(client.connect(port_, 20000)) << dev_->output();
    }
    static std::string para_file() { return testutil::read_file(root_->file("data/ram_device_info")); }

    static testutil::TempDir* root_;
    static testutil::DeviceProcess* dev_;
    static uint16_t port_, udp_offset_;
    testutil::TcpRemoteClient client;
};

testutil::TempDir* Device::root_ = nullptr;
testutil::DeviceProcess* Device::dev_ = nullptr;
uint16_t Device::port_ = 0;
uint16_t Device::udp_offset_ = 0;

}  // namespace

TEST_F(Device, TemporariesLeftByPowerCutsAreRemovedAtStart)
{
    for (const char* stale : kStale)
        EXPECT_FALSE(testutil::file_exists(root_->file(stale))) << stale;
    EXPECT_TRUE(testutil::file_exists(root_->file("data/ram_device_info")));
}

TEST_F(Device, RamWriteReadBackAndRefusalsAtTheBounds)
{
    const Bytes data{0x11, 0xA5, 0x5A, 0xA6, 0x5B, 0x22};
    auto w = client.ram_write(0x700, data);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->status(), 0);
    auto r = client.ram_read(0x700, 6);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->data(), le32(0x700) + le16(6) + data);

    EXPECT_EQ(client.ram_write(0xFF0, Bytes(16, 1))->status(), 0);
    EXPECT_EQ(client.ram_write(0xFF1, Bytes(16, 1))->status(), 1);
    EXPECT_EQ(client.ram_read(0, 1024)->status(), 0);
    EXPECT_EQ(client.ram_read(0, 1025)->status(), 1);
    EXPECT_EQ(client.reg_read(169, 1)->status(), 0);
    EXPECT_EQ(client.reg_read(169, 2)->status(), 1);
    EXPECT_EQ(client.reg_write(170, 0)->status(), 1);
    EXPECT_EQ(client.request(0x7E, {})->status(), 2);
}

TEST_F(Device, Register11ApplyIsPersisted)
{
    // The apply pass of the scaler thread takes the change; the GUI thread then writes the
    // parameter file. Needs the scaler thread and the persistence slot of the device.
    ASSERT_EQ(client.ram_write(kBrightness, {37, 0})->status(), 0);
    ASSERT_EQ(client.reg_write(11, 0x02, 0x02)->status(), 0);
    const bool persisted = dev_->wait_for(
        [] {
            const std::string f = para_file();
            return long(f.size()) > long(kBrightness) + kParaFileOffset && f[size_t(kBrightness + kParaFileOffset)] == 37;
        },
        20000, 100);
    EXPECT_TRUE(persisted) << "brightness 37 not in the parameter file";
}

TEST_F(Device, BadChecksumSplitAndJoinedFrames)
{
    Bytes bad = testutil::make_frame(0xF100, testutil::kTool, 0x63, {0, 1});
    bad.back() ^= 1;
    ASSERT_TRUE(client.send_bytes(testutil::encode(bad)));
    EXPECT_FALSE(client.next_reply(300));

    const Bytes one = testutil::encode(testutil::make_frame(0xF100, testutil::kTool, 0x63, {3, 1}));
    for (uint8_t b : one)
        ASSERT_TRUE(client.send_bytes({b}));
    auto r = client.next_reply(3000);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->data()[0], 3);

    Bytes three;
    for (uint8_t reg : {5, 6, 7})
        three = three + testutil::encode(testutil::make_frame(0xF100, testutil::kTool, 0x63, {reg, 1}));
    ASSERT_TRUE(client.send_bytes(three));
    for (uint8_t reg : {5, 6, 7}) {
        auto f = client.next_reply(3000);
        ASSERT_TRUE(f);
        EXPECT_EQ(f->data()[0], reg);
    }
}

TEST_F(Device, EightClientsAtOnce)
{
    std::vector<std::unique_ptr<testutil::TcpRemoteClient>> clients;
    for (int i = 0; i < 8; ++i) {
        clients.emplace_back(new testutil::TcpRemoteClient);
        ASSERT_TRUE(clients.back()->connect(port_));
        ASSERT_EQ(clients.back()->ram_write(0x600 + uint32_t(i), {uint8_t(0x40 + i)})->status(), 0);
    }
    std::vector<std::thread> threads;
    std::vector<int> good(8, 0);
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&, i] {
            for (int k = 0; k < 10; ++k) {
                auto r = clients[size_t(i)]->ram_read(0x600 + uint32_t(i), 1);
                if (r && r->data() == le32(0x600 + uint32_t(i)) + le16(1) + Bytes{uint8_t(0x40 + i)})
                    ++good[size_t(i)];
            }
        });
    for (auto& t : threads)
        t.join();
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(good[size_t(i)], 10) << "client " << i;
}

TEST_F(Device, FileRoundTripKeepsTheOldFileUntilTheDigestMatches)
{
    const std::string target = root_->file("data/configs/alias.json");
    const std::string before = testutil::read_file(target);
    const Bytes content = testutil::text_bytes("{\"namelist\": {\"source\": [\"A\", \"B\"]}, \"pad\": \"" + std::string(3000, 'x') + "\"}");
    EXPECT_EQ(client.write_file("ALIS", content, Bytes(16, 0)), 3);
    EXPECT_EQ(testutil::read_file(target), before);
    EXPECT_EQ(client.write_file("ALIS", content), 0);
    EXPECT_EQ(testutil::read_file(target), std::string(content.begin(), content.end()));
    auto back = client.read_file("ALIS");
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, content);
}

TEST_F(Device, NetworkSettingsAreValidatedThenApplied)
{
    const Bytes mask{255, 255, 255, 0};
    // A gateway outside the subnet and an address of network 0 are refused whole.
    EXPECT_EQ(client.request(0x6B, Bytes{192, 168, 7, 20} + mask + Bytes{10, 0, 0, 1} + le16(port_))->status(), 1);
    EXPECT_EQ(client.request(0x6B, Bytes{0, 1, 1, 1} + mask + Bytes{0, 1, 1, 2} + le16(port_))->status(), 1);
    EXPECT_EQ(client.request(0x6B, Bytes{192, 168, 7, 20} + mask + Bytes{192, 168, 7, 1} + le16(0))->status(), 1);
    const std::string shell_log = root_->file("sim/shell.log");
    EXPECT_EQ(testutil::read_file(shell_log).find("192.168.7.20"), std::string::npos);

    auto r = client.request(0x6B, Bytes{192, 168, 7, 20} + mask + Bytes{192, 168, 7, 1} + le16(port_));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status(), 0);
    const std::string log = testutil::read_file(shell_log);
    EXPECT_NE(log.find("ifconfig eth0 192.168.7.20 netmask 255.255.255.0"), std::string::npos) << log;
    EXPECT_NE(log.find("route add default gw 192.168.7.1"), std::string::npos) << log;
    QSettings ini(QString::fromStdString(root_->file("data/configs/tcpip.ini")), QSettings::IniFormat);
    EXPECT_EQ(ini.value("config/IPAddress").toString(), "192.168.7.20");

    auto info = client.request(0x6A, {});
    ASSERT_TRUE(info);
    const Bytes d = info->data();
    ASSERT_GE(d.size(), 95u);
    EXPECT_EQ(Bytes(d.begin() + 81, d.begin() + 85), (Bytes{192, 168, 7, 20}));
}

TEST_F(Device, UdpAndAtChannel)
{
    testutil::UdpRemoteClient udp(uint16_t(5008 + udp_offset_));
    auto r = udp.reg_read(0, 3);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status(), 0);
    testutil::UdpRemoteClient at(uint16_t(13769 + udp_offset_));
    auto v = at.exchange_text("AT+GETVER");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->rfind("+VER:", 0), 0u);
}

// A font reload (register 14 bit 3) while the scaler's flash controller is stuck runs its
// waits out, seconds: another TCP tool is answered meanwhile.
TEST_F(Device, AFontReloadOnAStuckFlashControllerHoldsNoOtherTool)
{
    for (int i = 0; i < 200; ++i) {  // the scaler and the FPGA run: the LED page can be saved
        const auto saved = client.request(0x6F, {});
        if (saved && saved->status() == 0)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const std::string board = root_->file("sim/board.json");
    QDir().mkpath(QString::fromStdString(root_->file("sim")));
    std::ofstream(board) << R"({"c331_flash_stuck": true})";
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // the board has read it
    testutil::TcpRemoteClient tool;
    ASSERT_TRUE(tool.connect(port_, 20000, "127.0.0.3"));
    using Clock = std::chrono::steady_clock;
    const auto ms_since = [](Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); };
    double reload_ms = 0, worst_ms = 0;
    for (int attempt = 0; attempt < 5 && reload_ms < 1000; ++attempt) {
        const auto t0 = Clock::now();
        ASSERT_TRUE(client.send_bytes(testutil::encode(testutil::make_frame(0xF100, testutil::kTool, 0x62, {14, 8, 8}))));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const auto t1 = Clock::now();
        EXPECT_TRUE(tool.reg_read(3, 1));
        worst_ms = std::max(worst_ms, ms_since(t1));
        ASSERT_TRUE(client.next_reply(20000));
        reload_ms = ms_since(t0);
    }
    std::ofstream(board) << "{}";
    ASSERT_GE(reload_ms, 1000.0) << "the reload never waited for the stuck controller";
    EXPECT_LT(worst_ms, 500.0) << "the tool waited for the other's reload";
}

// K57_TIME_SCALE speeds up every wait of the device, those of its servers too: at scale 100 an
// idle file transfer (30 s) is abandoned after 0.3 s and an idle client (10 minutes) closed
// after 6 s, without anything sent that would wake the server.
TEST(ScaledDevice, IdleTransferAndIdleClientExpireOnScaledTime)
{
    testutil::TempDir root("k57scaled");
    uint16_t port = 0;
    auto dev = testutil::sim_device(root.path(), "100", &port);
    ASSERT_TRUE(dev->start());
    testutil::TcpRemoteClient client;
    ASSERT_TRUE(client.connect(port, 20000)) << dev->output();
    // Taken before the request: the device's limits run from its receipt, so no pause of this
    // test after the reply can make them look shorter than they are.
    const auto start = std::chrono::steady_clock::now();
    auto seconds = [&start] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    auto r = client.request(0x64, testutil::text_bytes("ALIS") + le32(100));
    ASSERT_TRUE(r && r->status() == 0);
    const std::string part = root.file("data/configs/alias.json.part");
    auto abandoned = [&root] {
        return testutil::read_file(root.file("data/zeltaqn/log/kivEnglneLog")).find("ALIS idle for 30 s, abandoned") !=
               std::string::npos;
    };
    // The transfer is open, unless this test was kept from its CPU for its 0.3 s already (the
    // log line may come a moment after the file has gone).
    ASSERT_TRUE(dev->wait_for([&] { return testutil::file_exists(part) || abandoned(); }, 5000));

    EXPECT_TRUE(dev->wait_for([&] { return !testutil::file_exists(part); }, 5000)) << "transfer kept";
    EXPECT_LT(seconds(), 5.0);
    // Nothing comes to the idle client; the wait ends early when the device closes it.
    EXPECT_FALSE(client.next_reply(15000));
    EXPECT_GT(seconds(), 4.0) << "closed before its 10 minutes of device time";
    EXPECT_LT(seconds(), 12.0) << "the idle client was not closed";
    EXPECT_TRUE(abandoned());
    dev->terminate();
}
