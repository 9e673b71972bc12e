#pragma once
// Process-wide globals of the device core, with their values at start (defined in globals.cpp).
// Flags read across threads without a lock are atomics: plain loads and stores, no ordering
// beyond what each reader needs.
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <vector>

using u8 = uint8_t;
using u16 = uint16_t;
using u32 = uint32_t;

extern std::atomic<u8> g_debugSwitch;        // 254: every debug print on; log echo thresholds
extern std::atomic<int> g_port;              // TCP port of the remote protocol
extern std::atomic<int> g_int_tcp_port;      // copy of the TCP port, set together with g_port
extern int g_BPS;                            // baud rate of the remote serial port
extern int g_dataLen;                        // serial receive size factor
extern u8 g_udpnetmode;                      // UDP server enabled
extern u8 g_networkMode;                     // TCP server enabled
extern std::atomic<u8> g_passby_trans_port;  // transport owning the pass-through (1 serial, 2 TCP, 3 UDP, 0xFF none)
extern std::atomic<u8> ScreenState;          // LED screen on/off state kept by the FPGA component
extern std::atomic<u8> g_force_bkcolor;      // forced background colour state of the scaler

// Network and identity texts. Written by the configuration engine and the remote network
// command, read by pages and transports: take g_config_text_mutex() around every access
// from a thread other than the one that starts the process.
extern QString g_str_ip;
extern QString g_srt_mask;
extern QString g_str_gateway;
extern QString g_str_mac;
extern QString g_str_barcode;
extern QString g_str_wifi_ip;
extern QString g_check_edid;
class QMutex;
QMutex& g_config_text_mutex();

extern std::atomic<u8> g_check_source;       // input port mask of the source supervision
extern char g_pid[33];                       // device identifier: 32 hex characters + NUL
extern std::atomic<u8> g_update_status;      // 1 when the start command names the installed program
extern std::atomic<u8> g_language;           // UI language: 0 Chinese, 1 English, 2 Russian, 3 Vietnamese
extern std::atomic<u8> g_page_focus;         // code of the page that has the keys
extern std::atomic<u32> G_timeTicks;         // 10 ms ticks since start, advanced only by the GUI tick
extern std::atomic<u8> g_app_reset_flag;     // reboot request
extern std::atomic<u32> G_reboot_tickTicks;  // tick at which the reboot was requested
extern std::atomic<u32> g_fpga_c331_start;   // start flag of the FPGA thread, set by the scaler manager
extern std::atomic<u8> pc_cmd_valid;         // a remote frame arrived ...
extern std::atomic<u32> pc_cmd_time;         // ... and its tick
extern std::atomic<u8> g_update_flag;        // a firmware update is being received (update splash)

// Aging-log lines and their count (appended by the shell's tick, emptied by the configuration
// engine at start, shown by the aging-log page). Guarded by factoryage_log_mutex().
extern std::vector<QString> factoryage_log;
extern int factoryage_log_num;
QMutex& factoryage_log_mutex();

// The application version text reported to the remote tool and shown on the device page.
extern const char* const g_app_version;
