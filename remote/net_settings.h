#pragma once
// The device-information and network-settings commands (0x6A, 0x6B).
#include <QString>
#include <mutex>

#include "remote/remote_proto.h"

namespace remote {

// An IPv4 address as its four octets in dotted order.
struct Ipv4 {
    u8 b[4] = {0, 0, 0, 0};
    u32 value() const { return (u32(b[0]) << 24) | (u32(b[1]) << 16) | (u32(b[2]) << 8) | b[3]; }
    QString text() const;
};

// Dotted text to octets; false for anything but four decimal numbers 0..255.
bool parse_ipv4(const QString& text, Ipv4* out);

// Whether address, mask and gateway make sense together: a contiguous mask of /1 to /30, a
// unicast address that is neither the subnet's network nor its broadcast address, and a
// gateway of the same kind inside the same subnet, other than the address.
bool valid_network(const Ipv4& ip, const Ipv4& mask, const Ipv4& gateway);
// The same check, saying what is wrong (the first of mask, address, gateway, their places).
enum class NetFault { None, Mask, Address, Gateway, GatewayPlace };
NetFault network_fault(const Ipv4& ip, const Ipv4& mask, const Ipv4& gateway);

// Stores address, mask and gateway (and the TCP port when it is not 0) in one write of the
// network configuration: all of them or none. The caller sets the interface up afterwards,
// holding network_change_mutex() over the store and the set-up, as 0x6B does over its check,
// store and set-up.
bool store_network(const Ipv4& ip, const Ipv4& mask, const Ipv4& gateway, u16 port = 0);
std::mutex& network_change_mutex();

// Reply data of 0x6A: status 0, then the device's identity and network settings.
u32 build_device_info(u8* out);
constexpr u32 kDeviceInfoLen = 1 + 32 + 32 + 17 + 12 + 2 + 32;

// Handler of 0x6B: validates, stores through the configuration engine and applies.
u32 apply_net_settings(const u8* data, u32 dlen, u8* out);

}  // namespace remote
