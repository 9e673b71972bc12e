#include "core/globals.h"

#include <QMutex>

std::atomic<u8> g_debugSwitch{254};
std::atomic<int> g_port{5005};
std::atomic<int> g_int_tcp_port{5005};
int g_BPS = 115200;
int g_dataLen = 32;
u8 g_udpnetmode = 1;
u8 g_networkMode = 1;
std::atomic<u8> g_passby_trans_port{0xFF};
std::atomic<u8> ScreenState{1};
std::atomic<u8> g_force_bkcolor{1};

QString g_str_ip = QStringLiteral("192.168.1.199");
QString g_srt_mask = QStringLiteral("255.255.255.0");
QString g_str_gateway = QStringLiteral("192.168.1.1");
QString g_str_mac = QStringLiteral("FF:FF:FF:FF:FF:FF");
QString g_str_barcode = QStringLiteral(" ");
QString g_str_wifi_ip = QStringLiteral("192.168.22.101");
QString g_check_edid;

QMutex& g_config_text_mutex()
{
    static QMutex m;
    return m;
}

std::atomic<u8> g_check_source{0};
char g_pid[33] = {0};
std::atomic<u8> g_update_status{0};
std::atomic<u8> g_language{0};
std::atomic<u8> g_page_focus{0};
std::atomic<u32> G_timeTicks{0};
std::atomic<u8> g_app_reset_flag{0};
std::atomic<u32> G_reboot_tickTicks{0};
std::atomic<u32> g_fpga_c331_start{0};
std::atomic<u8> pc_cmd_valid{0};
std::atomic<u32> pc_cmd_time{0};
std::atomic<u8> g_update_flag{0};

std::vector<QString> factoryage_log;
int factoryage_log_num = 0;
QMutex& factoryage_log_mutex()
{
    static QMutex m;
    return m;
}

const char* const g_app_version = "K57N-1.0.0";
