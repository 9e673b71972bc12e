#include "core/utils.h"

#include <QMutexLocker>
#include <cstdio>
#include <string>

#include "core/log.h"
#include "platform/board.h"

#include "core/ConfigEngine.h"

QMutex Utils::_system_mutex;
QMutex Utils::_usleep_mutex;
QMutex Utils::_led_para_init_mutex;
FairMutex Utils::_spi_mutex;
QMutex Utils::_fpga_multicast_mutex;
QMutex Utils::_c331_bnk_mutex;
QMutex Utils::_file_deal_mutex;
QMutex Utils::_source_init_mutex;
QMutex Utils::_check_nosig_mutex;
QMutex Utils::_source_hdminfo_mutex;

namespace {

bool debug_prints() { return g_debugSwitch.load() == 254; }

// Takes an address item into `target`, or keeps the previous value and warns.
void take_address(const char* name, const QVariant& value, QString& target)
{
    const QString text = value.toString();
    if (Utils::isDottedQuad(text)) {
        target = text;
        return;
    }
    writeLogMsg(LOG_WARNING, std::string("initIPAddress: ") + name + " \"" +
                                 text.toStdString() + "\" is not an IPv4 address; keeping \"" +
                                 target.toStdString() + "\"");
}

void take_port(const QVariant& value)
{
    bool ok = false;
    const int port = value.toString().trimmed().toInt(&ok);
    if (ok && port >= 1 && port <= 65535) {
        g_port = port;
        g_int_tcp_port = port;
        return;
    }
    writeLogMsg(LOG_WARNING, "initIPAddress: TcpPort \"" + value.toString().toStdString() +
                                 "\" is not a port 1..65535; keeping " +
                                 std::to_string(g_port.load()));
}

QVariant read_from_engine(int id)
{
    return ConfigEngine::read_config_variant(static_cast<ConfigItem::ConfigName>(id));
}

}  // namespace

u8 Utils::BCC(const u8* data, u32 length)
{
    u8 x = 0;
    for (u32 i = 0; i < length; ++i)
        x ^= data[i];
    return x;
}

int Utils::system_mutex(const QString& command, int* status)
{
    QMutexLocker lock(&_system_mutex);
    const int st = platform::board().shell().run(command.toLatin1().toStdString());
    if (status)
        *status = st;
    return st == 0 ? 0 : 255;
}

u32 Utils::getTimeSpace(u32 since)
{
    const u32 now = G_timeTicks.load();
    if (now >= since)
        return now - since;
    return (0xFFFFFFFFu - since) + now;
}

int Utils::usleep_mutex(u32 us)
{
    QMutexLocker lock(&_usleep_mutex);
    platform::sleep_us(us);
    return 0;
}

int Utils::msleep_mutex(u32 ms) { return usleep_mutex(1000 * ms); }

bool Utils::isDottedQuad(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    for (const QString& p : parts) {
        if (p.isEmpty() || p.size() > 3 || (p.size() > 1 && p[0] == QLatin1Char('0')))
            return false;
        for (QChar c : p) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
        }
        if (p.toInt() > 255)
            return false;
    }
    return true;
}

int Utils::initIPAddress() { return initIPAddress(read_from_engine); }

int Utils::initIPAddress(const ConfigReader& read)
{
    if (system_mutex(QStringLiteral("ifconfig eth0 &>/dev/null")) != 0)
        return 255;

    QString ip, mask, gateway;
    {
        QMutexLocker lock(&g_config_text_mutex());
        take_address("IPAddress", read(ConfigItem::IPAddress), g_str_ip);
        take_address("GateWay", read(ConfigItem::GateWay), g_str_gateway);
        take_address("SubNetMask", read(ConfigItem::SubNetMask), g_srt_mask);
        take_port(read(ConfigItem::TcpPort));
        g_str_barcode = read(ConfigItem::Barcode).toString();
        take_address("WifiIPAddress", read(ConfigItem::WifiIPAddress), g_str_wifi_ip);
        g_check_edid = read(ConfigItem::EDIDCheck).toString();
        g_check_source = static_cast<u8>(read(ConfigItem::SourceCheck).toString().toInt() & 0xFF);
        ip = g_str_ip;
        mask = g_srt_mask;
        gateway = g_str_gateway;
    }

    // Only validated addresses are put into these lines; their statuses are not looked at.
    system_mutex(QStringLiteral("route del default wlan0"));
    system_mutex(QStringLiteral("ifconfig eth0 %1 netmask %2").arg(ip, mask));
    system_mutex(QStringLiteral("route add -host %1 dev eth0").arg(gateway));
    system_mutex(QStringLiteral("route add default gw %1 metric 100").arg(gateway));
    system_mutex(QStringLiteral("route add -host 255.255.255.255 eth0"));
    system_mutex(QStringLiteral("route del 255.255.255.255 wlan1"));
    return 0;
}

int Utils::non_region_erase(int fd, int offset, int length, int unlock)
{
    platform::Mtd& mtd = platform::board().mtd();
    platform::MtdInfo info;
    if (mtd.getinfo(fd, &info) != 0 || info.erasesize == 0) {
        writeLogMsg(LOG_ERROR, "non_region_erase: cannot read the flash geometry");
        return 8;
    }
    if (offset < 0 || length < 0) {
        writeLogMsg(LOG_ERROR, "non_region_erase: negative offset or length");
        return 8;
    }
    const uint64_t es = info.erasesize;
    const uint64_t blocks = (uint64_t(length) + es - 1) / es;
    if (debug_prints())
        printf("\r\nPerforming Flash Erase of length %u at offset 0x%x\n", info.erasesize,
               unsigned(offset));

    for (uint64_t b = 0; b < blocks; ++b) {
        const uint64_t start = uint64_t(offset) + b * es;
        if (start + es > 0xFFFFFFFFull) {
            writeLogMsg(LOG_ERROR, "non_region_erase: block beyond the flash address range");
            return 8;
        }
        if (unlock && mtd.unlock(fd, u32(start), u32(es)) != 0) {
            writeLogMsg(LOG_ERROR, "non_region_erase: unlock failed at " + std::to_string(start));
            return 8;
        }
        if (mtd.erase(fd, u32(start), u32(es)) != 0) {
            writeLogMsg(LOG_ERROR, "non_region_erase: erase failed at " + std::to_string(start));
            return 8;
        }
    }
    return 0;
}

int Utils::non_region_write(int fd, const u8* data, int length, int offset)
{
    platform::Mtd& mtd = platform::board().mtd();
    platform::MtdInfo info;
    if (mtd.getinfo(fd, &info) != 0 || info.writesize == 0)
        return 1;
    if (offset < 0 || length < 0 || (length > 0 && !data))
        return 1;

    const u32 ws = info.writesize;
    const u32 pages = u32(length) / ws;
    const u32 rest = u32(length) % ws;
    for (u32 i = 0; i < pages; ++i) {
        const off_t at = off_t(offset) + off_t(i) * ws;
        if (mtd.pwrite(fd, data + size_t(i) * ws, ws, at) != ssize_t(ws)) {
            if (debug_prints())
                printf("\n nand non_region_write error %#x ,writesize=%#x,offset=%#x,size=%#x\n",
                       pages, ws, unsigned(offset), unsigned(length));
            return 1;
        }
    }
    if (rest) {
        const off_t at = off_t(offset) + off_t(pages) * ws;
        if (mtd.pwrite(fd, data + size_t(pages) * ws, rest, at) != ssize_t(rest)) {
            if (debug_prints())
                printf("\n nand non_region_write error %#x,size=%#x \n", rest, unsigned(length));
            return 1;
        }
    }
    return 0;
}
