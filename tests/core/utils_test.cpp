// Utilities on the simulated board: checksum, tick arithmetic, sleeps on virtual time, shell
// status, the network set-up and its refusals, and MTD erase/write splits and failures.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <QMutexLocker>
#include <fstream>
#include <chrono>
#include <map>
#include <thread>
#include <vector>

#include "common/temp_dir.h"
#include "core/ConfigEngine.h"
#include "core/globals.h"
#include "core/pending_writes.h"
#include "core/requests.h"
#include "core/utils.h"
#include "platform/paths.h"
#include "platform/virtual_clock.h"
#include "sim/sim_board.h"

namespace {

TEST(Utils, BccAndTickArithmetic)
{
    EXPECT_EQ(Utils::BCC(nullptr, 0), 0);
    const u8 three[] = {0x01, 0x02, 0x04};
    EXPECT_EQ(Utils::BCC(three, 3), 0x07);
    const u8 same[] = {0x5A, 0x5A};
    EXPECT_EQ(Utils::BCC(same, 2), 0x00);

    const u32 saved = G_timeTicks;
    G_timeTicks = 5;
    EXPECT_EQ(Utils::getTimeSpace(0xFFFFFFF0u), 20u);  // across the wrap
    EXPECT_EQ(Utils::getTimeSpace(5), 0u);
    EXPECT_EQ(Utils::getTimeSpace(0), 5u);
    G_timeTicks = 1000;
    EXPECT_EQ(Utils::getTimeSpace(900), 100u);
    G_timeTicks = 0xFFFFFFFFu;
    EXPECT_EQ(Utils::getTimeSpace(0), 0xFFFFFFFFu);
    G_timeTicks = saved;
}

// A restart waits for an EEPROM write under way until it ends, and at most five seconds.
TEST(Utils, PendingWritesAreWaitedForAtMostTheBound)
{
    platform::VirtualClock vclock;
    platform::set_clock(&vclock);
    EXPECT_TRUE(pending_writes::finish());  // nothing under way: no wait
    EXPECT_EQ(vclock.now_us(), 0u);
    scaler_req::eeprom_writing = 1;
    EXPECT_FALSE(pending_writes::finish());
    EXPECT_GE(vclock.now_us(), uint64_t(pending_writes::kBoundMs) * 1000);
    EXPECT_LT(vclock.now_us(), uint64_t(pending_writes::kBoundMs + 100) * 1000);
    scaler_req::edid_request[3] = 1;  // asked for, not yet written
    scaler_req::eeprom_writing = 0;
    EXPECT_FALSE(pending_writes::finish());
    scaler_req::edid_done[3] = 1;
    EXPECT_TRUE(pending_writes::finish());
    scaler_req::edid_request[3] = 0;
    platform::set_clock(nullptr);
}

// A thread that takes the SPI bus again as soon as it lets go of it (a long flash erase, part
// after part) queues behind the threads that asked meanwhile: they get the bus in the order
// they asked, the holder after them. Decided by order: each waiter is seen queued before the
// next one asks and before the holder lets go.
TEST(Utils, TheSpiBusGoesToAWaiterBeforeItsHolderTakesItAgain)
{
    FairMutex& bus = Utils::_spi_mutex;
    const auto seen_queued = [&bus](uint64_t askers) {
        for (int i = 0; i < 10000 && bus.askers() < askers; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return bus.askers() == askers;
    };
    for (int round = 0; round < 20; ++round) {
        std::vector<int> order;  // who took the bus, appended while holding it
        bus.lock();              // this thread holds it between two parts
        std::vector<std::thread> waiters;
        for (int w = 1; w <= 3; ++w) {
            waiters.emplace_back([&bus, &order, w] {
                std::lock_guard<FairMutex> lk(bus);
                order.push_back(w);
            });
            EXPECT_TRUE(seen_queued(uint64_t(w) + 1)) << "waiter " << w;
        }
        bus.unlock();
        bus.lock();  // the next part, asked for at once
        order.push_back(0);
        bus.unlock();
        for (std::thread& t : waiters)
            t.join();
        EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 0})) << "round " << round;
    }
}

TEST(Utils, SleepsRunOnThePlatformClock)
{
    platform::VirtualClock vclock;
    platform::set_clock(&vclock);
    EXPECT_EQ(Utils::msleep_mutex(2000), 0);  // two virtual seconds, no real wait
    EXPECT_EQ(Utils::usleep_mutex(10), 0);
    platform::set_clock(nullptr);
    EXPECT_EQ(vclock.slept_us(), 2000010u);
    EXPECT_GE(vclock.now_us(), 2000010u);
}

// A fresh device root with the simulated board installed; board.json written beforehand.
class SimUtilsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        make_board(R"({"ethernet": true,
                       "mtd": {"mtd8": {"size": 1048576, "erasesize": 131072, "writesize": 2048}}})");
        QMutexLocker lk(&g_config_text_mutex());
        saved_ = {g_str_ip, g_srt_mask, g_str_gateway, g_str_barcode, g_str_wifi_ip, g_check_edid};
        saved_port_ = g_port;
        saved_source_ = g_check_source;
    }
    void TearDown() override
    {
        QMutexLocker lk(&g_config_text_mutex());
        g_str_ip = saved_[0];
        g_srt_mask = saved_[1];
        g_str_gateway = saved_[2];
        g_str_barcode = saved_[3];
        g_str_wifi_ip = saved_[4];
        g_check_edid = saved_[5];
        g_port = saved_port_;
        g_int_tcp_port = saved_port_;
        g_check_source = saved_source_;
    }

    void make_board(const std::string& json)
    {
        board_.reset();
        mkdir(root_.file("sim").c_str(), 0755);
        std::ofstream(root_.file("sim/board.json")) << json;
        board_ = sim::SimBoard::install_for_test(root_.path());
    }

    std::vector<std::string> shell_lines() const { return board_->sim_shell().history(); }

    testutil::TempDir root_;
    std::unique_ptr<sim::SimBoard> board_;
    std::vector<QString> saved_;
    int saved_port_ = 0;
    u8 saved_source_ = 0;
};

TEST_F(SimUtilsTest, SystemMutexReportsShellStatus)
{
    int status = -7;
    EXPECT_EQ(Utils::system_mutex(QStringLiteral("sync"), &status), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Utils::system_mutex(QStringLiteral("ifconfig eth0 &>/dev/null")), 0);

    make_board(R"({"ethernet": false})");
    EXPECT_EQ(Utils::system_mutex(QStringLiteral("ifconfig eth0 &>/dev/null"), &status), 255);
    EXPECT_NE(status, 0);
}

using Items = std::map<int, QVariant>;
using Item = ConfigItem::ConfigName;
constexpr Item TcpPort = ConfigItem::TcpPort, IPAddress = ConfigItem::IPAddress,
               SubNetMask = ConfigItem::SubNetMask, GateWay = ConfigItem::GateWay,
               Barcode = ConfigItem::Barcode, WifiIPAddress = ConfigItem::WifiIPAddress,
               EDIDCheck = ConfigItem::EDIDCheck, SourceCheck = ConfigItem::SourceCheck;

Utils::ConfigReader reader(const Items& items, int* calls = nullptr)
{
    return [items, calls](int id) {
        if (calls)
            ++*calls;
        auto it = items.find(id);
        return it == items.end() ? QVariant() : it->second;
    };
}

TEST_F(SimUtilsTest, NetworkSetUpAppliesValidItems)
{
    const Items items = {{IPAddress, "10.0.0.5"}, {GateWay, "10.0.0.1"},
                         {SubNetMask, "255.255.0.0"}, {TcpPort, "6000"}, {Barcode, "SN 42"},
                         {WifiIPAddress, "192.168.50.1"}, {EDIDCheck, "Never"},
                         {SourceCheck, "300"}};
    EXPECT_EQ(Utils::initIPAddress(reader(items)), 0);

    EXPECT_EQ(g_str_ip, "10.0.0.5");
    EXPECT_EQ(g_str_gateway, "10.0.0.1");
    EXPECT_EQ(g_srt_mask, "255.255.0.0");
    EXPECT_EQ(g_port, 6000);
    EXPECT_EQ(g_int_tcp_port, 6000);
    EXPECT_EQ(g_str_barcode, "SN 42");
    EXPECT_EQ(g_str_wifi_ip, "192.168.50.1");
    EXPECT_EQ(g_check_edid, "Never");
    EXPECT_EQ(g_check_source, 300 & 0xFF);
    EXPECT_EQ(shell_lines(), (std::vector<std::string>{
                                 "ifconfig eth0 &>/dev/null",
                                 "route del default wlan0",
                                 "ifconfig eth0 10.0.0.5 netmask 255.255.0.0",
                                 "route add -host 10.0.0.1 dev eth0",
                                 "route add default gw 10.0.0.1 metric 100",
                                 "route add -host 255.255.255.255 eth0",
                                 "route del 255.255.255.255 wlan1",
                             }));
}

TEST_F(SimUtilsTest, NetworkSetUpRefusesAnythingButAddressesAndPorts)
{
    {
        QMutexLocker lk(&g_config_text_mutex());
        g_str_ip = "192.168.1.199";
        g_srt_mask = "255.255.255.0";
        g_str_gateway = "192.168.1.1";
        g_str_wifi_ip = "192.168.22.101";
    }
    g_port = 5005;
    const Items hostile = {{IPAddress, "1.2.3.4; reboot"}, {GateWay, "$(rm -rf /)"},
                           {SubNetMask, "255.255.255"}, {TcpPort, "70000"},
                           {WifiIPAddress, "192.168.1.300"}};
    EXPECT_EQ(Utils::initIPAddress(reader(hostile)), 0);

    EXPECT_EQ(g_str_ip, "192.168.1.199");
    EXPECT_EQ(g_str_gateway, "192.168.1.1");
    EXPECT_EQ(g_srt_mask, "255.255.255.0");
    EXPECT_EQ(g_str_wifi_ip, "192.168.22.101");
    EXPECT_EQ(g_port, 5005);
    for (const std::string& line : shell_lines()) {
        EXPECT_EQ(line.find_first_of(";$()"), std::string::npos) << line;
        EXPECT_EQ(line.find("reboot"), std::string::npos) << line;
    }
    EXPECT_EQ(shell_lines().at(2), "ifconfig eth0 192.168.1.199 netmask 255.255.255.0");
    const std::string log = testutil::read_file(root_.file("data/zeltaqn/log/kivEnglneLog"));
    EXPECT_NE(log.find("[WARNING ] # VELAMSG # initIPAddress: IPAddress"), std::string::npos);
    EXPECT_NE(log.find("TcpPort \"70000\""), std::string::npos);

    for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "256.0.0.1", "01.2.3.4", " 1.2.3.4",
                            "1.2.3.4 ", "1..3.4", "a.b.c.d", "1.2.3.4\n", "+1.2.3.4", "1.2.3.-4",
                            "1.2.3.1234", "１.2.3.4"})
        EXPECT_FALSE(Utils::isDottedQuad(QString::fromUtf8(bad))) << bad;
    for (const char* good : {"0.0.0.0", "255.255.255.255", "192.168.1.199", "10.0.100.9"})
        EXPECT_TRUE(Utils::isDottedQuad(QString::fromUtf8(good))) << good;

    for (const QVariant& port : {QVariant(), QVariant("0"), QVariant("-1"), QVariant("65536"),
                                 QVariant("abc"), QVariant("80x")}) {
        Utils::initIPAddress(reader({{TcpPort, port}}));
        EXPECT_EQ(g_port, 5005) << port.toString().toStdString();
    }
    Utils::initIPAddress(reader({{TcpPort, "65535"}}));
    EXPECT_EQ(g_port, 65535);
    Utils::initIPAddress(reader({{TcpPort, 1}}));
    EXPECT_EQ(g_port, 1);
}

TEST_F(SimUtilsTest, NetworkSetUpWithoutEthernetReadsAndAppliesNothing)
{
    make_board(R"({"ethernet": false})");
    g_port = 5005;
    int calls = 0;
    EXPECT_EQ(Utils::initIPAddress(reader({{TcpPort, "6000"}, {IPAddress, "10.0.0.5"}}, &calls)),
              255);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(g_port, 5005);
    EXPECT_EQ(shell_lines(), std::vector<std::string>{"ifconfig eth0 &>/dev/null"});
}

constexpr int kBlock = 0x20000;
constexpr int kPage = 2048;

class SimMtdTest : public SimUtilsTest {
protected:
    void SetUp() override
    {
        SimUtilsTest::SetUp();
        fd_ = platform::board().mtd().open(platform::rooted("/dev/mtd8").c_str(), O_RDWR);
        ASSERT_GE(fd_, 0);
    }
    void TearDown() override
    {
        if (fd_ >= 0)
            platform::board().mtd().close(fd_);
        SimUtilsTest::TearDown();
    }
    sim::SimMtd& mtd() { return board_->sim_mtd(); }
    std::string flash() { return testutil::read_file(mtd().backing_file("mtd8")); }
    bool fd_open() const { return fcntl(fd_, F_GETFD) != -1; }

    int fd_ = -1;
};

TEST_F(SimMtdTest, EraseCoversWholeBlocks)
{
    auto before = mtd().counts();
    EXPECT_EQ(Utils::non_region_erase(fd_, kBlock, 0x60000, 1), 0);
    EXPECT_EQ(mtd().counts().erase - before.erase, 3);
    EXPECT_EQ(mtd().counts().unlock - before.unlock, 3);

    before = mtd().counts();
    EXPECT_EQ(Utils::non_region_erase(fd_, 0, 0x60001, 0), 0);
    EXPECT_EQ(mtd().counts().erase - before.erase, 4);
    EXPECT_EQ(mtd().counts().unlock - before.unlock, 0);

    before = mtd().counts();
    EXPECT_EQ(Utils::non_region_erase(fd_, 0, 0, 1), 0);  // nothing to erase
    EXPECT_EQ(mtd().counts().erase - before.erase, 0);
}

TEST_F(SimMtdTest, WriteSplitsIntoPagesAndRemainder)
{
    std::string data(5000, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = char(i * 7 + 1);
    ASSERT_EQ(Utils::non_region_erase(fd_, kBlock, int(data.size()), 1), 0);

    const auto before = mtd().counts();
    EXPECT_EQ(Utils::non_region_write(fd_, reinterpret_cast<const u8*>(data.data()),
                                      int(data.size()), kBlock),
              0);
    EXPECT_EQ(mtd().counts().write - before.write, 3);  // 2048 + 2048 + 904

    const std::string f = flash();
    EXPECT_EQ(f.substr(kBlock, data.size()), data);
    EXPECT_EQ(f[kBlock - 1], '\xFF');
    EXPECT_EQ(f[kBlock + data.size()], '\xFF');

    // Exactly one page: no remainder write.
    const auto mid = mtd().counts();
    EXPECT_EQ(Utils::non_region_write(fd_, reinterpret_cast<const u8*>(data.data()), kPage,
                                      2 * kBlock),
              0);
    EXPECT_EQ(mtd().counts().write - mid.write, 1);
}

TEST_F(SimMtdTest, FailuresReturnTheirCodesAndKeepTheDescriptor)
{
    const std::string data(5000, 'a');
    const u8* p = reinterpret_cast<const u8*>(data.data());

    mtd().fail_nth(sim::SimMtd::Op::GetInfo, 1);
    EXPECT_EQ(Utils::non_region_erase(fd_, 0, kBlock, 1), 8);
    mtd().fail_nth(sim::SimMtd::Op::GetInfo, 1);
    EXPECT_EQ(Utils::non_region_write(fd_, p, 100, 0), 1);

    auto before = mtd().counts();
    mtd().fail_nth(sim::SimMtd::Op::Erase, 2);
    EXPECT_EQ(Utils::non_region_erase(fd_, 0, 3 * kBlock, 0), 8);
    EXPECT_EQ(mtd().counts().erase - before.erase, 2);  // stops at the failing block
    EXPECT_TRUE(fd_open());

    mtd().fail_nth(sim::SimMtd::Op::Unlock, 1);
    before = mtd().counts();
    EXPECT_EQ(Utils::non_region_erase(fd_, 0, kBlock, 1), 8);
    EXPECT_EQ(mtd().counts().erase - before.erase, 0);
    EXPECT_TRUE(fd_open());

    ASSERT_EQ(Utils::non_region_erase(fd_, 0, kBlock, 1), 0);  // the same descriptor still works
    mtd().fail_nth(sim::SimMtd::Op::Write, 2);
    EXPECT_EQ(Utils::non_region_write(fd_, p, int(data.size()), 0), 1);  // second page
    mtd().fail_nth(sim::SimMtd::Op::Write, 3);
    EXPECT_EQ(Utils::non_region_write(fd_, p, int(data.size()), kBlock), 1);  // remainder
    EXPECT_EQ(Utils::non_region_write(fd_, p, -1, 0), 1);
    EXPECT_EQ(Utils::non_region_erase(fd_, -kBlock, kBlock, 0), 8);
    EXPECT_TRUE(fd_open());

    // A descriptor that is no flash device fails the geometry query.
    EXPECT_EQ(Utils::non_region_erase(STDERR_FILENO, 0, kBlock, 0), 8);
    EXPECT_EQ(Utils::non_region_write(STDERR_FILENO, p, 10, 0), 1);
}

}  // namespace
