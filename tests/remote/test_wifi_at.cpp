// The AT-command channel's replies and the WiFi access point's start steps, in process.
#include "remote_fixture.h"

#include "core/fpga_wake.h"
#include "core/SyncUpdate.h"
#include "core/globals.h"
#include "platform/virtual_clock.h"
#include "remote/K57_WIFI_CONFIG.h"
#include "remote/at_channel.h"

#include <QMutexLocker>
#include <atomic>
#include <thread>

namespace {

class AtChannel : public ::testing::Test {
protected:
    void SetUp() override { remote_test::reset_store(); }
    TlxRamPara* s = remote_test::store();
};

// The reply to an AT request that waits for the parameter file, with the scaler's apply pass
// and the panel thread's persistence played here while it waits.
std::string stored_reply(const std::string& request)
{
    std::atomic<bool> done{false};
    std::string reply;
    std::thread at([&] {
        reply = at_reply(request);
        done = true;
    });
    while (!done) {
        bool applied = false;
        {
            QMutexLocker lk(&c331_shared::c331_lock);
            if (c331_shared::param_changed.load() != 0) {
                c331_shared::param_changed = 0;
                applied = true;
            }
        }
        if (applied)
            SyncUpdate::pInstance()->para_sync(1);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    at.join();
    return reply;
}

void fail_param_file(bool fail)
{
    std::FILE* f = std::fopen((remote_test::root().path() + "/sim/board.json").c_str(), "w");
    std::fputs(fail ? "{\"write_fail\": [\"/data/ram_device_info\"]}" : "{}", f);
    std::fclose(f);
    remote_test::board().poll();
}

// Shell lines recorded since `from`.
std::vector<std::string> lines_since(size_t from)
{
    const auto h = remote_test::board().sim_shell().history();
    return std::vector<std::string>(h.begin() + long(std::min(from, h.size())), h.end());
}

}  // namespace

TEST_F(AtChannel, ReportsVersionAndState)
{
    EXPECT_EQ(at_reply("AT+GETVER"), "+VER:" + std::string(g_app_version) + "\r\nOK\r\n");
    EXPECT_EQ(at_reply("AT+GETVER\r\n"), at_reply("AT+GETVER"));
    std::memcpy(g_pid, "00000000000000000000000000000abc", 32);
    g_port = 6001;
    EXPECT_EQ(at_reply("AT+CHECKDATA"),
              "+CHECKDATA:00000000000000000000000000000abc,192.168.1.199,6001,1\r\nOK\r\n");
    s->ram_image[ram_wifi_disabled] = 1;
    EXPECT_NE(at_reply("AT+CHECKDATA").find(",6001,0\r\n"), std::string::npos);
    g_port = 5005;
}

TEST_F(AtChannel, SettingsAreWrittenUnderTheApplyRule)
{
    EXPECT_EQ(stored_reply("AT+SETDATA=2"), "OK\r\n");
    EXPECT_EQ(s->ram_image[ram_wifi_disabled], 1);
    EXPECT_EQ(s->ram_shadow[ram_wifi_disabled], 1) << "answered once the parameter file holds it";
    EXPECT_EQ(stored_reply("AT+SETDATA=1"), "OK\r\n");
    EXPECT_EQ(s->ram_image[ram_wifi_disabled], 0);

    K57_WIFI_CONFIG::g_wifi_reset_flag = 0;
    EXPECT_EQ(at_reply("AT+SETDATA=3"), "OK\r\n");
    EXPECT_EQ(K57_WIFI_CONFIG::g_wifi_reset_flag.load(), 1);
    K57_WIFI_CONFIG::g_wifi_reset_flag = 0;

    g_app_reset_flag = 0;
    // Stamped with the request's own tick, also while the panel has ticks due (30 here).
    platform::VirtualClock clock(platform::clock().now_us());
    platform::set_clock(&clock);
    tick_schedule(clock.now_us() - 295000, 0);
    EXPECT_EQ(at_reply("AT+RST"), "OK\r\n");
    tick_schedule(0, 0);
    platform::set_clock(nullptr);
    EXPECT_EQ(g_app_reset_flag.load(), 1);
    EXPECT_EQ(G_reboot_tickTicks.load(), G_timeTicks.load() + 30);
    g_app_reset_flag = 0;
}

TEST_F(AtChannel, RestoreBringsBackTheFactoryParametersOnly)
{
    s->ram_image[ram_brightness] = 99;
    s->ram_image[0x100] = 0x77;  // a volatile timing record is not a setting
    c331_shared::param_changed = 0;
    EXPECT_EQ(stored_reply("AT+RESTORE"), "OK\r\n");
    EXPECT_EQ(s->ram_image[ram_brightness], ConfigEngine::default_para_ramlist[2 + ram_brightness - 0x300]);
    EXPECT_EQ(s->ram_image[0x100], 0x77);
}

// A setting the parameter file cannot take is answered ERROR (it is applied, and kept in
// memory until the file takes it); once the file can be written again the answer is OK.
TEST_F(AtChannel, ChangesTheFileDidNotTakeAreAnsweredError)
{
    EXPECT_EQ(stored_reply("AT+SETDATA=2"), "OK\r\n");
    fail_param_file(true);
    EXPECT_EQ(stored_reply("AT+SETDATA=1"), "ERROR\r\n");
    EXPECT_EQ(s->ram_image[ram_wifi_disabled], 0);
    EXPECT_EQ(stored_reply("AT+RESTORE"), "ERROR\r\n");
    // Nothing persists it: answered ERROR after the bound, not OK.
    platform::VirtualClock clock(platform::clock().now_us());
    platform::set_clock(&clock);
    EXPECT_EQ(at_reply("AT+SETDATA=1"), "ERROR\r\n");
    platform::set_clock(nullptr);
    c331_shared::param_changed = 0;
    fail_param_file(false);
    EXPECT_EQ(stored_reply("AT+SETDATA=1"), "OK\r\n");
    EXPECT_EQ(s->ram_shadow[ram_wifi_disabled], 0);
}

// Another change the file cannot take (a brightness) does not make a setting the file already
// holds unstored: the WiFi switch and the factory parameters it holds are answered OK.
TEST_F(AtChannel, ASettingTheFileHoldsIsOkWhileAnotherChangeFails)
{
    EXPECT_EQ(stored_reply("AT+RESTORE"), "OK\r\n");
    fail_param_file(true);
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        s->ram_image[ram_brightness] = u8(s->ram_shadow[ram_brightness] ^ 0x0F);
    }
    EXPECT_EQ(stored_reply("AT+SETDATA=1"), "OK\r\n");
    EXPECT_EQ(stored_reply("AT+RESTORE"), "OK\r\n");
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        s->ram_image[ram_brightness] = u8(s->ram_shadow[ram_brightness] ^ 0x0F);
    }
    EXPECT_EQ(stored_reply("AT+SETDATA=2"), "ERROR\r\n");  // the file holds the switch on
    fail_param_file(false);
    EXPECT_EQ(stored_reply("AT+SETDATA=2"), "OK\r\n");
}

TEST_F(AtChannel, AnyOtherRequestIsAnErrorAndWhatIsNoRequestGetsNoReply)
{
    for (const char* bad : {"AT", "AT+SETDATA=4", "AT+SETDATA=", "AT+GETVERX", "AT+RST now", "AT\r\n"})
        EXPECT_EQ(at_reply(bad), "ERROR\r\n") << bad;
    for (const char* none : {"", "at+getver", "A", "ERROR\r\n", "OK\r\n", "+CHECKDATA:0,1.2.3.4,5005,1\r\nOK\r\n"})
        EXPECT_EQ(at_reply(none), "") << none;
}

TEST_F(AtChannel, AccessPointStartsInStepsAndFollowsTheSwitch)
{
    K57_WIFI_CONFIG wifi;
    K57_WIFI_CONFIG::g_wifi_reset_flag = 0;
    const size_t mark = remote_test::board().sim_shell().history().size();
    for (int i = 0; i < 6; ++i)
        wifi.step();
    EXPECT_EQ(wifi.state(), K57_WIFI_CONFIG::AP_RUNNING);
    auto lines = lines_since(mark);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].rfind("ifconfig wlan0 ", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], "udhcpd /etc/udhcpd.conf");
    EXPECT_EQ(lines[2], "hostapd -B /etc/rtl_hostapd_2G.conf");

    // Restart request: stop, then the steps again.
    K57_WIFI_CONFIG::set_wifi_reset_flag();
    for (int i = 0; i < 6; ++i)
        wifi.step();
    lines = lines_since(mark + 3);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "killall hostapd");
    EXPECT_EQ(lines[5], "hostapd -B /etc/rtl_hostapd_2G.conf");

    // Switched off: stopped once, then nothing runs.
    s->ram_image[ram_wifi_disabled] = 1;
    for (int i = 0; i < 5; ++i)
        wifi.step();
    EXPECT_EQ(wifi.state(), K57_WIFI_CONFIG::AP_OFF);
    EXPECT_EQ(lines_since(mark + 9).size(), 3u);
}

// A restore while the panel reads settings without the lock: every 16-bit field read is
// the old or the new value, never half of each.
TEST_F(AtChannel, RestoreWritesWholeFieldsWhileThePanelReads)
{
    const u16 factory = u16(ConfigEngine::default_para_ramlist[2 + ram_led_width - 0x300] |
                            ConfigEngine::default_para_ramlist[3 + ram_led_width - 0x300] << 8);
    const u16 mine = u16(factory ^ 0xFFFF);
    std::atomic<bool> stop{false};
    std::thread panel([&] {
        while (!stop) {
            const u16 v = ram_rd16(s->ram_image, ram_led_width);
            ASSERT_TRUE(v == factory || v == mine) << v;
        }
    });
    for (int i = 0; i < 200; ++i) {
        {
            QMutexLocker lk(&c331_shared::c331_lock);
            ram_wr16(s->ram_image, ram_led_width, mine);
        }
        EXPECT_EQ(stored_reply("AT+RESTORE"), "OK\r\n");
    }
    stop = true;
    panel.join();
}
