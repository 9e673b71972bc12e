// The processor's commands through message_deal, in process: RAM, registers, device and
// network commands. File transfer has its own file.
#include "remote_fixture.h"

#include "core/SyncUpdate.h"
#include "core/fpga_wake.h"
#include "core/globals.h"
#include "core/requests.h"
#include "core/utils.h"
#include "platform/virtual_clock.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include "remote/net_settings.h"
#include "remote/remote_hooks.h"
#include "scaler/c331_manage.h"
#include "video_io/source_status.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {

class Commands : public ::testing::Test {
protected:
    void SetUp() override { remote_test::reset_store(); }

    // Sends one request through the dispatcher; the reply frame, empty when none.
    testutil::Frame call(u8 cmd, const Bytes& data, u16 dst = 0xF100)
    {
        return remote_test::call(deal, cmd, data, 7, dst);
    }
    testutil::Frame ram_write(u32 addr, const Bytes& bytes)
    {
        return call(CMD_RAM_WRITE, le32(addr) + le16(u16(bytes.size())) + le16(0) + bytes);
    }
    testutil::Frame ram_read(u32 addr, u16 len) { return call(CMD_RAM_READ, le32(addr) + le16(len) + le16(0)); }
    testutil::Frame reg_write(u8 reg, u8 value, u8 mask) { return call(CMD_REG_WRITE, {reg, value, mask}); }

    TlxRamPara* s = remote_test::store();
    message_deal deal{TR_TCP};
};

}  // namespace

TEST_F(Commands, ReplyHeaderSwapsAddressesAndCarriesAGoodChecksum)
{
    const auto r = call(0x7F, {});
    ASSERT_EQ(r.bytes.size(), 12u);
    EXPECT_EQ(r.dst(), 0xF011);
    EXPECT_EQ(r.src(), 0xF100);
    EXPECT_EQ(r.cmd(), 0x7F);
    EXPECT_EQ(r.status(), ST_UNKNOWN);
    EXPECT_EQ(testutil::bcc(r.bytes.data(), r.bytes.size() - 1), r.bytes.back());
    // Other destinations are not answered.
    EXPECT_TRUE(call(0x61, le32(0) + le16(1) + le16(0), 0xF200).bytes.empty());
    EXPECT_EQ(call(0x63, {0, 1}, 0xF101).status(), ST_DONE);
}

TEST_F(Commands, RamWriteAndReadRoundTripAtTheBounds)
{
    const Bytes data{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    auto w = ram_write(0xFF0, data);
    EXPECT_EQ(w.status(), ST_DONE);
    EXPECT_EQ(w.data(), le32(0xFF0) + le16(16));
    EXPECT_EQ(c331_shared::param_changed.load(), 0) << "a RAM write raises no flag";
    auto r = ram_read(0xFF0, 16);
    ASSERT_EQ(r.status(), ST_DONE);
    EXPECT_EQ(r.data(), le32(0xFF0) + le16(16) + data);

    EXPECT_EQ(ram_write(0xFF1, data).status(), ST_REFUSED);
    EXPECT_EQ(s->ram_image[0xFFF], 16) << "a refused write changes nothing";
    EXPECT_EQ(ram_read(0xFF1, 16).status(), ST_REFUSED);
    EXPECT_EQ(ram_read(0x000, 1024).status(), ST_DONE);
    EXPECT_EQ(ram_read(0x000, 1025).status(), ST_REFUSED);
    EXPECT_EQ(ram_read(0x000, 0).status(), ST_REFUSED);
}

TEST_F(Commands, RamWriteRefusesAFrameShorterThanItsLength)
{
    // Announces 64 bytes but carries 4: nothing may be read past the frame.
    auto w = call(CMD_RAM_WRITE, le32(0x400) + le16(64) + le16(0) + Bytes{9, 9, 9, 9});
    EXPECT_EQ(w.status(), ST_REFUSED);
    EXPECT_NE(s->ram_image[0x400], 9);
    EXPECT_EQ(call(CMD_RAM_WRITE, le32(0x400)).status(), ST_REFUSED);
}

TEST_F(Commands, UserModeSlotsAreReachedFrom0x1000)
{
    EXPECT_EQ(ram_write(0x1000, {0xAA, 0xAA, 0x42}).status(), ST_DONE);
    EXPECT_EQ(s->mode_slot[0].bytes[2], 0x42);
    EXPECT_EQ(ram_write(0x10FFF, {1, 2, 3}).status(), ST_DONE);  // slot 16, offsets 4095..4097
    EXPECT_EQ(s->mode_slot[15].bytes[4097], 3);
    EXPECT_EQ(ram_write(0x10FFF, {1, 2, 3, 4}).status(), ST_REFUSED);
    EXPECT_EQ(ram_write(0x11000, {1}).status(), ST_REFUSED);
    EXPECT_EQ(ram_write(0xFFF, {1, 2}).status(), ST_REFUSED);
    const std::string log = testutil::read_file(remote_test::root().file("data/zeltaqn/log/kivEnglneLog"));
    for (const char* line : {"RAM write of 4 bytes at 0x10FFF refused: past the end of its mode slot",
                             "RAM write of 1 bytes at 0x11000 refused: past the mode slots",
                             "RAM write of 2 bytes at 0xFFF refused: past the end of the parameter image"})
        EXPECT_NE(log.find(line), std::string::npos) << line;

    auto r = ram_read(0x1000, 3);
    ASSERT_EQ(r.status(), ST_DONE);
    EXPECT_EQ(r.data(), (le32(0x1000) + le16(3) + Bytes{0xAA, 0xAA, 0x42}));
    EXPECT_EQ(ram_read(0x10FFF, 3).status(), ST_DONE);
    EXPECT_EQ(ram_read(0x10FFF, 4).status(), ST_REFUSED);
    EXPECT_EQ(ram_read(0x11000, 1).status(), ST_REFUSED);
}

TEST_F(Commands, RegisterWritesStoreUnderTheMask)
{
    s->reg_file[5] = 0xF0;
    auto r = reg_write(5, 0x0F, 0x3C);
    EXPECT_EQ(r.status(), ST_DONE);
    EXPECT_EQ(r.data(), (Bytes{5, 0xCC}));  // (0x0F & 0x3C) | (0xF0 & ~0x3C)

    // 160..164 live in bytes 32..36, with their own store rules.
    s->reg_file[32] = 0xFF;
    EXPECT_EQ(reg_write(160, 0x0F, 0x05).data(), (Bytes{160, 0x05}));  // value AND mask only
    EXPECT_EQ(reg_write(163, 0x41, 0x00).data(), (Bytes{163, 0x42}));  // value + 1, mask ignored
    EXPECT_EQ(s->reg_file[35], 0x42);
    EXPECT_EQ(c331_shared::param_changed.load(), 1) << "scaler debug registers raise flag 1";

    // Register 37 on is the status page.
    s->status_page[0] = 0x80;
    auto rd = call(CMD_REG_READ, {36, 2});
    ASSERT_EQ(rd.status(), ST_DONE);
    EXPECT_EQ(rd.data(), (Bytes{36, 2, 0x00, 0x80}));
}

TEST_F(Commands, RegisterNumbersAndRangesAreCheckedAtTheBounds)
{
    EXPECT_EQ(reg_write(169, 1, 0xFF).status(), ST_DONE);
    EXPECT_EQ(reg_write(170, 1, 0xFF).status(), ST_REFUSED);
    EXPECT_EQ(reg_write(255, 1, 0xFF).status(), ST_REFUSED);
    EXPECT_EQ(call(CMD_REG_READ, {0, 170}).status(), ST_DONE);
    EXPECT_EQ(call(CMD_REG_READ, {0, 170}).data().size(), 172u);
    EXPECT_EQ(call(CMD_REG_READ, {1, 170}).status(), ST_REFUSED);
    EXPECT_EQ(call(CMD_REG_READ, {169, 1}).status(), ST_DONE);
    EXPECT_EQ(call(CMD_REG_READ, {169, 2}).status(), ST_REFUSED);
    EXPECT_EQ(call(CMD_REG_READ, {0, 0}).status(), ST_REFUSED);
    EXPECT_EQ(call(CMD_REG_WRITE, {5, 1}).status(), ST_REFUSED) << "missing mask byte";
}

TEST_F(Commands, Register11MaskBitsChooseTheApply)
{
    reg_write(11, 0, 0x02);
    EXPECT_EQ(c331_shared::param_changed.load(), 1);

    c331_shared::param_changed = 0;
    reg_write(11, 0, 0x06);  // both: the user-mode request is not lowered to 1
    EXPECT_EQ(c331_shared::param_changed.load(), 2);
    reg_write(11, 0, 0x08);
    EXPECT_EQ(c331_shared::param_changed.load(), 2);

    c331_shared::param_changed = 0;
    c331_manage::g_osd_update = 0;
    put_u16(s->ram_image + ram_osd_enable, 1);
    reg_write(11, 0, 0x08);
    EXPECT_EQ(c331_shared::param_changed.load(), 1);
    EXPECT_EQ(c331_manage::g_osd_update.load(), 1);
}

// A mode's FF FF applied together with a save request of it leaves the mode saved (the request
// first); applied after the request's own apply, it deletes the mode after the save.
TEST_F(Commands, SlotDeleteAppliedAfterASaveRequestIsCarriedOut)
{
    for (const u8 mask : {0x06, 0x04}) {
        SCOPED_TRACE(mask);
        ram_write(0x5000, {0xAA, 0xAA});
        reg_write(11, 0, 0x04);
        SyncUpdate::pInstance()->para_sync(2);
        ASSERT_TRUE(s->TlxUserModeSaved(4));
        ram_write(0x364, {5, 0});
        if (mask == 0x04)
            reg_write(11, 0, 0x02);
        ram_write(0x5000, {0xFF, 0xFF});
        reg_write(11, 0, mask);
        SyncUpdate::pInstance()->para_sync(2);
        EXPECT_EQ(s->TlxUserModeSaved(4), mask == 0x06);
        EXPECT_EQ(testutil::file_exists(remote_test::root().file("data/modes/custom_mode5")), mask == 0x06);
    }
    c331_shared::param_changed = 0;
}

TEST_F(Commands, ApplyLeavesTheRecalledModeOnlyWhenTheModeAreaChanged)
{
    put_u16(s->ram_image + ram_current_mode, 3);
    // Mode 3 recalled and applied by the scaler; the parameter file (the shadow) may not
    // hold it yet, the change after it still leaves the mode.
    put_u16(s->ram_applied + ram_current_mode, 3);
    reg_write(11, 0, 0x02);  // nothing of the mode changed
    EXPECT_EQ(get_u16(s->ram_image + ram_current_mode), 3);

    ram_write(ram_brightness, {77, 0});
    reg_write(11, 0, 0x02);
    EXPECT_EQ(get_u16(s->ram_image + ram_current_mode), 0);

    // A recall written by the tool itself (the mode word changed) is kept.
    remote_test::reset_store();
    ram_write(ram_current_mode, {5, 0});
    ram_write(ram_brightness, {10, 0});
    reg_write(11, 0, 0x02);
    EXPECT_EQ(get_u16(s->ram_image + ram_current_mode), 5);

    // Written with the value it already holds: still the tool's own word, so kept; the next
    // apply without such a write clears it again.
    ram_write(ram_current_mode, {5, 0});
    put_u16(s->ram_applied + ram_current_mode, 5);
    ram_write(ram_brightness, {20, 0});
    reg_write(11, 0, 0x02);
    EXPECT_EQ(get_u16(s->ram_image + ram_current_mode), 5);
    ram_write(ram_brightness, {30, 0});
    reg_write(11, 0, 0x02);
    EXPECT_EQ(get_u16(s->ram_image + ram_current_mode), 0);

    // The device's own setting of the word since the last apply (a save of the image as
    // mode 6) is not the tool's: the tool's next change clears it.
    put_u16(s->ram_image + ram_current_mode, 6);
    put_u16(s->ram_applied + ram_current_mode, 0);
    ram_write(ram_brightness, {35, 0});
    reg_write(11, 0, 0x02);
    EXPECT_EQ(get_u16(s->ram_image + ram_current_mode), 0);

    // A write that covers only the word's high byte names it too.
    put_u16(s->ram_image + ram_current_mode, 6);
    put_u16(s->ram_applied + ram_current_mode, 6);
    ram_write(ram_current_mode + 1, {0});
    ram_write(ram_brightness, {40, 0});
    reg_write(11, 0, 0x02);
    EXPECT_EQ(get_u16(s->ram_image + ram_current_mode), 6);
}

TEST_F(Commands, Registers14And17Actions)
{
    g_app_reset_flag = 0;
    G_timeTicks = 1234;
    reg_write(14, 0, 0x02);
    EXPECT_EQ(g_app_reset_flag.load(), 1);
    EXPECT_EQ(G_reboot_tickTicks.load(), 1234u);
    g_app_reset_flag = 0;
    // While the panel thread has 30 ticks due and not yet run, the request is stamped with
    // its own tick: its delay counts from the request.
    {
        platform::VirtualClock clock(platform::clock().now_us());
        platform::set_clock(&clock);
        tick_schedule(clock.now_us() - 295000, 0);
        reg_write(14, 0, 0x02);
        tick_schedule(0, 0);
        platform::set_clock(nullptr);
    }
    EXPECT_EQ(G_reboot_tickTicks.load(), 1264u);
    g_app_reset_flag = 0;

    // Requests served by other components reach the handler they installed.
    static int sdi_resets, font_reloads;
    sdi_resets = font_reloads = 0;
    reg_write(17, 0, 0x01);  // nothing installed: dropped, and nothing breaks
    set_hook(Hook::SdiReset, [] { ++sdi_resets; });
    set_hook(Hook::ReloadFonts, [] { ++font_reloads; });
    reg_write(17, 0, 0x01);
    reg_write(17, 0xFF, 0x02);  // bit 0 of the mask clear: no pulse
    reg_write(14, 0, 0x08);
    set_hook(Hook::SdiReset, nullptr);
    set_hook(Hook::ReloadFonts, nullptr);
    EXPECT_EQ(sdi_resets, 1);
    EXPECT_EQ(font_reloads, 1);
}

// Register 14 bit 0 reboots 100 ms later, but not while an EEPROM write is under way.
TEST_F(Commands, Register14RebootLetsTheWritesUnderWayFinish)
{
    std::atomic<int> reboots{0};
    remote_test::board().sim_shell().set_reboot_action([&] { ++reboots; });
    scaler_req::eeprom_writing = 1;
    reg_write(14, 0x01, 0x01);
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_EQ(reboots.load(), 0);
    scaler_req::eeprom_writing = 0;
    for (int i = 0; i < 200 && reboots.load() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(reboots.load(), 1);
    remote_test::board().sim_shell().set_reboot_action([] {});
}

// A peer repeating the request while the restart waits for the writes under way gets one
// restart, not one per frame; a restart that failed may be asked for again.
TEST_F(Commands, Register14RebootRepeatedStartsOneRestart)
{
    std::atomic<int> reboots{0};
    remote_test::board().sim_shell().set_reboot_action([&] { ++reboots; });
    scaler_req::eeprom_writing = 1;
    for (int i = 0; i < 50; ++i)
        reg_write(14, 0x01, 0x01);
    scaler_req::eeprom_writing = 0;
    for (int i = 0; i < 200 && reboots.load() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(reboots.load(), 1);

    reg_write(14, 0x01, 0x01);  // the first returned: this one restarts again
    for (int i = 0; i < 200 && reboots.load() == 1; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(reboots.load(), 2);
    remote_test::board().sim_shell().set_reboot_action([] {});
}

TEST_F(Commands, DeviceInformationLayout)
{
    std::memcpy(g_pid, "0123456789abcdef0123456789abcdef", 32);
    g_port = 5005;
    auto r = call(CMD_DEVICE_INFO, {});
    ASSERT_EQ(r.status(), ST_DONE);
    const Bytes d = r.data();
    ASSERT_EQ(d.size(), kDeviceInfoLen - 1);
    EXPECT_EQ(std::string(d.begin(), d.begin() + 32), "0123456789abcdef0123456789abcdef");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&d[32])), std::string(g_app_version));
    EXPECT_EQ(std::string(d.begin() + 64, d.begin() + 81), "FF:FF:FF:FF:FF:FF");
    EXPECT_EQ(Bytes(d.begin() + 81, d.begin() + 93),
              (Bytes{192, 168, 1, 199, 255, 255, 255, 0, 192, 168, 1, 1}));
    EXPECT_EQ(d[93] | d[94] << 8, 5005);
}

TEST(NetworkValidation, AddressMaskAndGatewayMustMakeSense)
{
    auto ip = [](const char* t) {
        Ipv4 a;
        EXPECT_TRUE(parse_ipv4(t, &a)) << t;
        return a;
    };
    EXPECT_TRUE(valid_network(ip("192.168.1.50"), ip("255.255.255.0"), ip("192.168.1.1")));
    EXPECT_TRUE(valid_network(ip("10.1.2.3"), ip("255.0.0.0"), ip("10.0.0.1")));
    EXPECT_TRUE(valid_network(ip("172.16.0.1"), ip("255.255.255.252"), ip("172.16.0.2")));

    EXPECT_FALSE(valid_network(ip("192.168.1.50"), ip("255.0.255.0"), ip("192.168.1.1"))) << "holes";
    EXPECT_FALSE(valid_network(ip("192.168.1.50"), ip("0.0.0.0"), ip("192.168.1.1")));
    EXPECT_FALSE(valid_network(ip("192.168.1.1"), ip("255.255.255.255"), ip("192.168.1.1")));
    EXPECT_FALSE(valid_network(ip("192.168.1.0"), ip("255.255.255.0"), ip("192.168.1.1"))) << "network";
    EXPECT_FALSE(valid_network(ip("192.168.1.255"), ip("255.255.255.0"), ip("192.168.1.1"))) << "broadcast";
    EXPECT_FALSE(valid_network(ip("0.1.1.1"), ip("255.255.255.0"), ip("0.1.1.2")));
    EXPECT_FALSE(valid_network(ip("127.0.0.5"), ip("255.0.0.0"), ip("127.0.0.1")));
    EXPECT_FALSE(valid_network(ip("224.1.1.1"), ip("255.255.255.0"), ip("224.1.1.2")));
    EXPECT_FALSE(valid_network(ip("192.168.1.50"), ip("255.255.255.0"), ip("192.168.2.1"))) << "other subnet";
    EXPECT_FALSE(valid_network(ip("192.168.1.50"), ip("255.255.255.0"), ip("192.168.1.50"))) << "self";

    Ipv4 a;
    EXPECT_FALSE(parse_ipv4("300.1.1.1", &a));
    EXPECT_FALSE(parse_ipv4("1.2.3", &a));
    EXPECT_FALSE(parse_ipv4("1.2.3.4.5", &a));
    EXPECT_FALSE(parse_ipv4("1.2..4", &a));
}

TEST_F(Commands, NetworkSettingsRefuseWholeAndBadPort)
{
    const Bytes good = Bytes{192, 168, 5, 9} + Bytes{255, 255, 255, 0} + Bytes{192, 168, 5, 1};
    EXPECT_EQ(call(CMD_NET_SETTINGS, good + le16(0)).status(), ST_REFUSED);
    EXPECT_EQ(call(CMD_NET_SETTINGS, good).status(), ST_REFUSED) << "port missing";
    const Bytes bad_gw = Bytes{192, 168, 5, 9} + Bytes{255, 255, 255, 0} + Bytes{10, 0, 0, 1};
    EXPECT_EQ(call(CMD_NET_SETTINGS, bad_gw + le16(5005)).status(), ST_REFUSED);
}

// Settings the device already has: the command succeeds without rewriting tcpip.ini or
// reconfiguring the interface (a tool repeating it cannot wear the storage out).
TEST_F(Commands, RepeatedNetworkSettingsRewriteNothing)
{
    ConfigEngine::pInstance();
    const std::string ini = remote_test::root().file("data/configs/tcpip.ini");
    const std::string shell = remote_test::root().file("sim/shell.log");
    const Bytes settings = Bytes{192, 168, 7, 20} + Bytes{255, 255, 255, 0} + Bytes{192, 168, 7, 1} +
                           le16(u16(g_port.load()));
    ASSERT_EQ(call(CMD_NET_SETTINGS, settings).status(), ST_DONE);
    struct stat first {};
    ASSERT_EQ(::stat(ini.c_str(), &first), 0);
    const size_t shell_lines = testutil::read_file(shell).size();
    ASSERT_NE(testutil::read_file(shell).find("192.168.7.20"), std::string::npos);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(call(CMD_NET_SETTINGS, settings).status(), ST_DONE);
    struct stat after {};
    ASSERT_EQ(::stat(ini.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, first.st_ino);
    EXPECT_EQ(after.st_mtim.tv_nsec, first.st_mtim.tv_nsec);
    EXPECT_EQ(after.st_mtim.tv_sec, first.st_mtim.tv_sec);
    EXPECT_EQ(testutil::read_file(shell).size(), shell_lines) << "the interface was set again";

    // New settings from three transports at one instant: the first to check stores and sets
    // the interface (held at its first shell command until the others have arrived); the
    // others find them set.
    const Bytes again = Bytes{192, 168, 7, 21} + Bytes(settings.begin() + 4, settings.end());
    std::vector<std::thread> tools;
    {
        QMutexLocker shell_held(&Utils::_system_mutex);
        for (u8 transport : {TR_TCP, TR_UDP, TR_SERIAL})
            tools.emplace_back([&again, transport] {
                message_deal own{transport};
                EXPECT_EQ(remote_test::call(own, CMD_NET_SETTINGS, again, 7).status(), ST_DONE);
            });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    for (auto& t : tools)
        t.join();
    const std::string log = testutil::read_file(shell);
    size_t runs = 0;
    for (size_t at = log.find("ifconfig eth0 192.168.7.21 "); at != std::string::npos;
         at = log.find("ifconfig eth0 192.168.7.21 ", at + 1))
        ++runs;
    EXPECT_EQ(runs, 1u);
}

namespace {

// Makes a file or directory unwritable even for root (the immutable flag), like a read-only
// data partition; false when the file system does not support it.
bool set_immutable(const std::string& path, bool on)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

TEST_F(Commands, NetworkSettingsThatCannotBeStoredAreRefusedAndNotApplied)
{
    ConfigEngine::pInstance();
    const std::string dir = remote_test::root().file("data/configs");
    const std::string ini = dir + "/tcpip.ini";
    const std::string before = testutil::read_file(ini);
    const std::string ip_before = ConfigEngine::read_config_variant(ConfigItem::IPAddress).toString().toStdString();
    if (!set_immutable(ini, true) || !set_immutable(dir, true)) {
        set_immutable(ini, false);
        GTEST_SKIP() << "no immutable files here";
    }
    const auto r = call(CMD_NET_SETTINGS, Bytes{192, 168, 5, 9} + Bytes{255, 255, 255, 0} + Bytes{192, 168, 5, 1} + le16(5005));
    set_immutable(dir, false);
    set_immutable(ini, false);
    EXPECT_EQ(r.status(), ST_FAILED);
    EXPECT_EQ(testutil::read_file(ini), before);
    EXPECT_EQ(ConfigEngine::read_config_variant(ConfigItem::IPAddress).toString().toStdString(), ip_before);
    EXPECT_EQ(testutil::read_file(remote_test::root().file("sim/shell.log")).find("192.168.5.9"), std::string::npos);
}

// The input supervision sets its status bits while a tool writes other bits of the same
// status bytes: neither loses a bit, and the lock-free readers see whole bytes.
TEST_F(Commands, StatusBitsAndRemoteRegisterWritesShareTheirBytes)
{
    constexpr int kByte = STATUS_HW;
    constexpr u8 kReg = u8(REG_FILE_SIZE + kByte);
    s->status_page[kByte] = 0;
    std::atomic<bool> stop{false};
    std::thread supervision([&] {
        for (int i = 0; i < 2000; ++i) {
            source_status::set_bits(kByte, 0x01, i % 2 == 0);
            (void)source_status::bits(kByte, 0x80);
        }
        source_status::set_bits(kByte, 0x01, true);
        stop = true;
    });
    int toggles = 0;
    while (!stop || toggles < 10)
        EXPECT_EQ(reg_write(kReg, u8(++toggles % 2 ? 0x80 : 0), 0x80).status(), ST_DONE);
    supervision.join();
    EXPECT_EQ(reg_write(kReg, 0x80, 0x80).data()[1], 0x81) << "both writers' bits kept";
}

// A tool saves and empties user mode 1 while the panel asks whether it is saved and reads its
// copy without the lock: the panel sees the marker and each copied word whole.
TEST_F(Commands, UserModeSlotWritesWhileThePanelReadsIt)
{
    constexpr u32 kSlot1 = 0x1000;
    constexpr u32 kBrightness = mode_slot_offset(ram_brightness);
    std::atomic<bool> stop{false};
    std::thread panel([&] {
        while (!stop) {
            (void)s->TlxUserModeSaved(0);
            const u16 b = ram_rd16(s->mode_slot[0].bytes, kBrightness);
            EXPECT_TRUE(b == 0x1111 || b == 0x2222 || b == 0) << b;
        }
    });
    for (int i = 0; i < 500; ++i) {
        const u8 v = i % 2 ? 0x11 : 0x22;
        EXPECT_EQ(ram_write(kSlot1, {0xAA, 0xAA}).status(), ST_DONE);
        EXPECT_EQ(ram_write(kSlot1 + kBrightness, {v, v}).status(), ST_DONE);
        EXPECT_EQ(ram_write(kSlot1, {0xFF, 0xFF}).status(), ST_DONE);
    }
    stop = true;
    panel.join();
    EXPECT_FALSE(s->TlxUserModeSaved(0));
}
