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

namespace {
bool parse(const NetAddress& a, remote::Ipv4* ip, remote::Ipv4* mask, remote::Ipv4* gateway, remote::NetFault* fault)
{
    using remote::NetFault;
    *fault = !remote::parse_ipv4(a.ip, ip)          ? NetFault::Address
             : !remote::parse_ipv4(a.mask, mask)    ? NetFault::Mask
             : !remote::parse_ipv4(a.gateway, gateway) ? NetFault::Gateway
                                                    : NetFault::None;
    return *fault == NetFault::None;
}
}  // namespace

remote::NetFault net_address_fault(const NetAddress& a)
{
    remote::Ipv4 ip, mask, gateway;
    remote::NetFault fault;
    return parse(a, &ip, &mask, &gateway, &fault) ? remote::network_fault(ip, mask, gateway) : fault;
}

bool store_net_address(const NetAddress& a)
{
    remote::Ipv4 ip, mask, gateway;
    remote::NetFault fault;
    std::lock_guard<std::mutex> change(remote::network_change_mutex());  // one step with a tool's 0x6B
    if (!parse(a, &ip, &mask, &gateway, &fault) || !remote::store_network(ip, mask, gateway))
        return false;
    Utils::system_mutex("sync");
    platform::sleep_us(100);
    Utils::initIPAddress();
    return true;
}
