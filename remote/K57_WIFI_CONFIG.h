#pragma once
// The WiFi access point: a thread that brings the access point up in steps (interface
// address, DHCP server, access-point daemon) while image byte 0x306 (ram_wifi_disabled) is 0,
// takes it down when the byte becomes 1, and restarts it on request.
#include <atomic>
#include <string>

#include "core/globals.h"

class K57_WIFI_CONFIG {
public:
    static K57_WIFI_CONFIG* pInstance();  // creates and starts the thread on the first call
    static K57_WIFI_CONFIG* p_wifi_config;

    // Resets the states and tick stamps, takes the address from g_str_wifi_ip and starts
    // WiFi_Start_Thread. 0, or 255 when the thread cannot start.
    int initialize();

    // Restart request: the thread stops the access point and, while it is enabled, starts
    // it again from its first step.
    static void set_wifi_reset_flag();
    static std::atomic<u8> g_wifi_reset_flag;
    static std::atomic<u32> g_wifi_reset_tick;

    // Steps of the start sequence; AP_RUNNING once the daemon is started.
    enum State { AP_OFF, AP_ADDRESS, AP_DHCP, AP_DAEMON, AP_RUNNING };
    State state() const { return state_.load(); }

    // One pass of the thread (exposed so that tests can step it without the thread).
    void step();

    K57_WIFI_CONFIG() = default;  // tests make instances without a thread

private:
    void WiFi_Start_Thread();
    void stop_ap();
    bool run(const std::string& cmd);

    std::atomic<State> state_{AP_OFF};
    unsigned retry_wait_ = 0;  // passes to wait after a failed step
    std::string wifi_ip_;
};
