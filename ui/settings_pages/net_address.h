#pragma once
// The wired network address as the pages see it: the three texts in effect, and storing new
// ones (configuration file, then the interface set up again from it).
#include <QString>

#include "remote/net_settings.h"

struct NetAddress {
    QString ip;
    QString mask;
    QString gateway;
    bool operator==(const NetAddress& o) const { return ip == o.ip && mask == o.mask && gateway == o.gateway; }
    bool operator!=(const NetAddress& o) const { return !(*this == o); }
};

// The address, mask and gateway in effect (g_str_ip, g_srt_mask, g_str_gateway).
NetAddress current_net_address();
// The factory address: "192.168.1.199", "255.255.255.0", "192.168.1.1".
NetAddress factory_net_address();
// What is wrong with the three texts, checked as the remote command checks its settings
// (a text that is no dotted address is a fault of its item); NetFault::None when they may be
// stored.
remote::NetFault net_address_fault(const NetAddress& a);
// Writes the three items to "/data/configs/tcpip.ini" in one write, runs "sync", waits 100 µs
// and has the interface set up again from the file. When the interface is missing the file
// keeps the new address and the globals keep the old one. False, with nothing stored or run,
// for texts that are no addresses or a file that cannot be written.
bool store_net_address(const NetAddress& a);
