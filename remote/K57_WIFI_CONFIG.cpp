#include "remote/K57_WIFI_CONFIG.h"

#include <QMutexLocker>
#include <condition_variable>
#include <mutex>

#include "core/TlxRamPara.h"
#include "core/c331_shared.h"
#include "core/log.h"
#include "core/utils.h"
#include "platform/board.h"
#include "platform/clock.h"
#include "platform/thread_name.h"
#include "remote/thread_start.h"

K57_WIFI_CONFIG* K57_WIFI_CONFIG::p_wifi_config = nullptr;
std::atomic<u8> K57_WIFI_CONFIG::g_wifi_reset_flag{0};
std::atomic<u32> K57_WIFI_CONFIG::g_wifi_reset_tick{0};

namespace {
constexpr unsigned kPassMs = 200;         // one pass of the WiFi thread while it starts the AP
constexpr unsigned kSteadyPassMs = 1000;  // ... and once the AP runs or is off
constexpr unsigned kRetryPasses = 25;     // a failed start step is retried after 5 s
constexpr const char* kUdhcpdConf = "/etc/udhcpd.conf";
constexpr const char* kHostapdConf = "/etc/rtl_hostapd_2G.conf";

// Wakes the thread early for a restart request.
std::mutex g_wake_mutex;
std::condition_variable g_wake_cv;

bool wifi_enabled()
{
    TlxRamPara* s = TlxRamPara::p_tlxrampara_config;
    if (!s)
        return false;
    QMutexLocker lk(&c331_shared::c331_lock);  // the AT channel and the panel write it under the lock
    return s->ram_image[ram_wifi_disabled] == 0;
}
}  // namespace

K57_WIFI_CONFIG* K57_WIFI_CONFIG::pInstance()
{
    if (!p_wifi_config) {
        p_wifi_config = new K57_WIFI_CONFIG();
        p_wifi_config->initialize();
    }
    return p_wifi_config;
}

int K57_WIFI_CONFIG::initialize()
{
    state_ = AP_OFF;
    g_wifi_reset_flag = 0;
    g_wifi_reset_tick = G_timeTicks.load();
    {
        QMutexLocker lk(&g_config_text_mutex());
        wifi_ip_ = g_str_wifi_ip.toStdString();
    }
    return remote::start_thread("K57_WIFI_CONFIG", "WiFi_Start_Thread", [this] { WiFi_Start_Thread(); }) ? 0 : 255;
}

void K57_WIFI_CONFIG::set_wifi_reset_flag()
{
    g_wifi_reset_tick = G_timeTicks.load();
    {
        std::lock_guard<std::mutex> lk(g_wake_mutex);
        g_wifi_reset_flag = 1;
    }
    g_wake_cv.notify_one();
}

bool K57_WIFI_CONFIG::run(const std::string& cmd)
{
    const bool ok = Utils::system_mutex(QString::fromStdString(cmd), nullptr) == 0;
    if (!ok)
        writeLogMsg(LOG_WARNING, "K57_WIFI_CONFIG: \"" + cmd + "\" failed");
    return ok;
}

void K57_WIFI_CONFIG::stop_ap()
{
    run("killall hostapd");
    run("killall udhcpd");
    run("ifconfig wlan0 down");
    state_ = AP_OFF;
    retry_wait_ = 0;
}

void K57_WIFI_CONFIG::step()
{
    if (g_wifi_reset_flag.exchange(0)) {
        writeLogMsg(LOG_INFO, "K57_WIFI_CONFIG: access point restart");
        stop_ap();
    }
    if (!wifi_enabled()) {
        if (state_ != AP_OFF) {
            writeLogMsg(LOG_INFO, "K57_WIFI_CONFIG: access point switched off");
            stop_ap();
        }
        return;
    }
    // One start step per pass; a failed step is retried after a pause.
    if (retry_wait_ > 0) {
        --retry_wait_;
        return;
    }
    const State before = state_.load();
    switch (before) {
    case AP_OFF:
        state_ = AP_ADDRESS;
        break;
    case AP_ADDRESS:
        if (run("ifconfig wlan0 " + wifi_ip_ + " netmask 255.255.255.0 up"))
            state_ = AP_DHCP;
        break;
    case AP_DHCP:
        if (run(std::string("udhcpd ") + kUdhcpdConf))
            state_ = AP_DAEMON;
        break;
    case AP_DAEMON:
        if (run(std::string("hostapd -B ") + kHostapdConf)) {
            state_ = AP_RUNNING;
            writeLogMsg(LOG_INFO, "K57_WIFI_CONFIG: access point started on " + wifi_ip_);
        }
        break;
    case AP_RUNNING:
        break;
    }
    if (before != AP_OFF && before != AP_RUNNING && state_.load() == before)
        retry_wait_ = kRetryPasses;
}

void K57_WIFI_CONFIG::WiFi_Start_Thread()
{
    platform::name_this_thread("wifi-watch");
    for (;;) {
        step();
        const State now = state_.load();
        const unsigned pass_ms = now == AP_RUNNING || now == AP_OFF ? kSteadyPassMs : kPassMs;
        std::unique_lock<std::mutex> lk(g_wake_mutex);
        if (!g_wifi_reset_flag)
            platform::clock().wait_us(g_wake_cv, lk, pass_ms * 1000ull);
    }
}
