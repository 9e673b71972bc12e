#include "remote/net_settings.h"

#include <QMutexLocker>
#include <QStringList>
#include <mutex>

#include "core/ConfigEngine.h"
#include "core/fpga_wake.h"
#include "core/log.h"
#include "core/utils.h"

namespace remote {

QString Ipv4::text() const
{
    return QStringLiteral("%1.%2.%3.%4").arg(b[0]).arg(b[1]).arg(b[2]).arg(b[3]);
}

bool parse_ipv4(const QString& text, Ipv4* out)
{
    const QStringList parts = text.trimmed().split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        const uint v = parts[i].toUInt(&ok, 10);
        if (!ok || v > 255 || parts[i].isEmpty() || parts[i].size() > 3)
            return false;
        out->b[i] = u8(v);
    }
    return true;
}

namespace {

// Host address inside its subnet: not 0/8, loopback, multicast or reserved, and neither the
// network nor the broadcast address of the subnet.
bool valid_host(u32 a, u32 m)
{
    const u32 first = a >> 24;
    if (first == 0 || first == 127 || first >= 224)
        return false;
    const u32 host = a & ~m;
    return host != 0 && host != ~m;
}

void put_text(u8* out, const QString& text, u32 width)
{
    const QByteArray bytes = text.toLatin1();
    std::memset(out, 0, width);
    std::memcpy(out, bytes.constData(), std::min<size_t>(size_t(bytes.size()), width));
}

void put_ip(u8* out, const QString& text)
{
    Ipv4 ip;
    parse_ipv4(text, &ip);  // an unreadable text reports 0.0.0.0
    std::memcpy(out, ip.b, 4);
}

// Held from the "nothing changed" check to the end of the store and the interface set-up, so
// that the same settings arriving on several transports at once are stored and applied once:
// the second finds them set.
std::mutex g_change_mutex;

// Whether the device already has these settings (stored and applied): then a repeat of the
// command rewrites no file and reconfigures no interface.
bool already_set(const Ipv4& ip, const Ipv4& mask, const Ipv4& gw, u16 port)
{
    QMutexLocker lk(&g_config_text_mutex());
    return ip.text() == g_str_ip && mask.text() == g_srt_mask && gw.text() == g_str_gateway &&
           port == g_port.load();
}

}  // namespace

NetFault network_fault(const Ipv4& ip, const Ipv4& mask, const Ipv4& gateway)
{
    const u32 m = mask.value();
    const u32 inv = ~m;
    if ((inv & (inv + 1)) != 0)  // ones then zeros only
        return NetFault::Mask;
    if (m == 0 || inv < 3)       // /1 .. /30
        return NetFault::Mask;
    const u32 a = ip.value(), g = gateway.value();
    if (!valid_host(a, m))
        return NetFault::Address;
    if (!valid_host(g, m))
        return NetFault::Gateway;
    return (a & m) == (g & m) && a != g ? NetFault::None : NetFault::GatewayPlace;
}

bool valid_network(const Ipv4& ip, const Ipv4& mask, const Ipv4& gateway)
{
    return network_fault(ip, mask, gateway) == NetFault::None;
}

std::mutex& network_change_mutex() { return g_change_mutex; }

bool store_network(const Ipv4& ip, const Ipv4& mask, const Ipv4& gateway, u16 port)
{
    QList<QPair<ConfigItem::ConfigName, QVariant>> items{qMakePair(ConfigItem::IPAddress, QVariant(ip.text())),
                                                         qMakePair(ConfigItem::SubNetMask, QVariant(mask.text())),
                                                         qMakePair(ConfigItem::GateWay, QVariant(gateway.text()))};
    if (port != 0)
        items.append(qMakePair(ConfigItem::TcpPort, QVariant(int(port))));
    return ConfigEngine::write_config_variants(items);
}

u32 build_device_info(u8* out)
{
    u8* p = out;
    *p++ = ST_DONE;
    std::memcpy(p, g_pid, 32);
    p += 32;
    put_text(p, QString::fromLatin1(g_app_version), 32);
    p += 32;
    {
        QMutexLocker lk(&g_config_text_mutex());
        put_text(p, g_str_mac, 17);
        p += 17;
        put_ip(p, g_str_ip);
        put_ip(p + 4, g_srt_mask);
        put_ip(p + 8, g_str_gateway);
        p += 12;
        put_u16(p, u16(g_port.load()));
        p += 2;
        put_text(p, g_str_barcode, 32);
        p += 32;
    }
    return u32(p - out);
}

u32 apply_net_settings(const u8* data, u32 dlen, u8* out)
{
    out[0] = ST_REFUSED;
    if (dlen < 14)
        return 1;
    Ipv4 ip, mask, gw;
    std::memcpy(ip.b, data, 4);
    std::memcpy(mask.b, data + 4, 4);
    std::memcpy(gw.b, data + 8, 4);
    const u16 port = get_u16(data + 12);
    if (port == 0 || !valid_network(ip, mask, gw)) {
        writeLogMsg(LOG_WARNING, "remote: network settings " + ip.text().toStdString() + " / " +
                                     mask.text().toStdString() + " / " + gw.text().toStdString() +
                                     " port " + std::to_string(port) + " refused");
        return 1;
    }
    if (!ConfigEngine::p_config) {
        out[0] = ST_FAILED;
        return 1;
    }
    out[0] = ST_DONE;
    std::lock_guard<std::mutex> change(g_change_mutex);
    if (already_set(ip, mask, gw, port))
        return 1;
    const bool port_changed = port != g_port.load();
    // Stored first, all four or none: settings that cannot be kept are not applied either.
    if (!store_network(ip, mask, gw, port)) {
        writeLogMsg(LOG_ERROR, "remote: network settings cannot be stored, nothing applied");
        out[0] = ST_FAILED;
        return 1;
    }
    Utils::initIPAddress();
    writeLogMsg(LOG_INFO, "remote: network set to " + ip.text().toStdString() + " / " +
                              mask.text().toStdString() + " / " + gw.text().toStdString() +
                              " port " + std::to_string(port));
    if (port_changed) {  // the server listens on the new port after the restart
        G_reboot_tickTicks = request_tick();
        g_app_reset_flag = 1;
    }
    out[0] = ST_DONE;
    return 1;
}

}  // namespace remote
