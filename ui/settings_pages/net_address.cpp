#include "net_address.h"

#include <QMutexLocker>

#include "core/ConfigEngine.h"
#include "core/globals.h"
#include "core/utils.h"
#include "platform/clock.h"

NetAddress current_net_address()
{
    QMutexLocker lk(&g_config_text_mutex());
    return NetAddress{g_str_ip, g_srt_mask, g_str_gateway};
}

NetAddress factory_net_address() { return NetAddress{"192.168.1.199", "255.255.255.0", "192.168.1.1"}; }

void store_net_address(const NetAddress& a)
{
    ConfigEngine::write_config_variant(ConfigItem::IPAddress, a.ip);
    ConfigEngine::write_config_variant(ConfigItem::SubNetMask, a.mask);
    ConfigEngine::write_config_variant(ConfigItem::GateWay, a.gateway);
    Utils::system_mutex("sync");
    platform::sleep_us(100);
    Utils::initIPAddress();
}
