#include "core/ConfigEngine.h"

#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>
#include <QSettings>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "core/factory_image.h"
#include "core/log.h"
#include "core/store_files.h"
#include "core/utils.h"
#include "platform/board.h"
#include "platform/paths.h"

namespace {

constexpr const char* kTcpipIni = "/data/configs/tcpip.ini";
constexpr const char* kLoadConfigIni = "/data/configs/led_load_config.ini";
constexpr const char* kStartCommand = "/data/app/tlxK57N -platform linuxfb";

constexpr uint32_t kIdWindowBase = 0x1F000000;
constexpr uint32_t kIdWindowLength = 0x2B0000;
constexpr uint32_t kIdControl = 0x400C;  // bit 8 cleared before the words are read
constexpr uint16_t kIdControlBit = 0x0100;
constexpr uint32_t kIdWord[3] = {0x4058, 0x405C, 0x4060};

constexpr FactoryImage kFactory = build_factory_image();

struct ItemDef {
    const char* name;
    QVariant def;
    u8 is_integer;
};

const ItemDef* item_defs()
{
    static const ItemDef defs[ConfigItem::ConfigCount] = {
        {"TcpPort", 5005, 1},
        {"UdpPort", 5008, 1},
        {"IPAddress", "192.168.1.199", 0},
        {"SubNetMask", "255.255.255.0", 0},
        {"GateWay", "192.168.1.1", 0},
        {"MAC", "FF:FF:FF:FF:FF:FF", 0},
        {"Barcode", "", 0},
        {"WifiIPAddress", "192.168.22.101", 0},
        {"EDIDCheck", "Once", 0},
        {"SourceCheck", 255, 1},
    };
    return defs;
}

QMutex& file_write_mutex()
{
    static QMutex m;
    return m;
}

void make_parent_dir(const std::string& real_path)
{
    QDir().mkpath(QFileInfo(QString::fromStdString(real_path)).absolutePath());
}

// Logs what went wrong with a settings file: unparseable or not writable.
void log_settings_problem(const std::string& path, QSettings::Status status, bool writing)
{
    if (status == QSettings::FormatError)
        writeLogMsg(LOG_ERROR, path + " cannot be parsed" +
                                   (writing ? ": not rewritten, the settings are unchanged"
                                            : ": the items it could be read for are kept, the others take their defaults"));
    else
        writeLogMsg(LOG_ERROR, "cannot write " + path + (writing ? ": the settings are unchanged" : ""));
}

char pid_char(int v)
{
    if (v < 10)
        return static_cast<char>('0' + v);
    if (v < 16)
        return static_cast<char>('a' + v - 10);
    return '0';
}

}  // namespace

QMap<QString, ConfigItem::ConfigName> ConfigItem::_itemMap;
ConfigEngine* ConfigEngine::p_config = nullptr;
const u8 (&ConfigEngine::default_para_ramlist)[4096] = kFactory.bytes;

ConfigEngine::ConfigEngine()
{
    load_items();
}

void ConfigEngine::load_items()
{
    const std::string real = platform::rooted(kTcpipIni);
    make_parent_dir(real);
    QSettings ini(QString::fromStdString(real), QSettings::IniFormat);
    Utils::system_mutex(QStringLiteral("chattr +S %1").arg(kTcpipIni));

    const ItemDef* defs = item_defs();
    QMutexLocker lk(&items_mutex_);
    items_.clear();
    for (int id = 0; id < ConfigItem::ConfigCount; ++id) {
        ConfigItem item;
        item.key = QStringLiteral("config/") + defs[id].name;
        item.id = static_cast<ConfigItem::ConfigName>(id);
        item.default_value = defs[id].def;
        item.not_in_file = false;
        item.is_integer = defs[id].is_integer;
        item.file_path = kTcpipIni;
        ConfigItem::_itemMap.insert(item.key, item.id);
        if (ini.contains(item.key)) {
            item.value = ini.value(item.key).toString();
        } else if (!item.default_value.toString().isEmpty()) {
            item.value = item.default_value;
            ini.setValue(item.key, item.default_value);
        }
        items_.push_back(item);
    }
    ini.sync();
    if (ini.status() != QSettings::NoError)
        log_settings_problem(kTcpipIni, ini.status(), false);
}

ConfigEngine* ConfigEngine::pInstance()
{
    static QMutex create_mutex;
    QMutexLocker lk(&create_mutex);
    if (!p_config) {
        store_files::remove_stale_temporaries();  // before anything writes the store's files
        p_config = new ConfigEngine();
        p_config->read_device_id();
    }
    Utils::initIPAddress();
    p_config->ensure_param_file();
    p_config->check_start_command();
    {
        QMutexLocker age(&factoryage_log_mutex());
        factoryage_log.clear();
        factoryage_log_num = 0;
    }
    return p_config;
}

QVariant ConfigEngine::read_config_variant(ConfigItem::ConfigName id)
{
    ConfigEngine* e = p_config;
    if (!e || id < 0 || id >= ConfigItem::ConfigCount)
        return QVariant();
    QMutexLocker lk(&e->items_mutex_);
    return e->items_[id].value;
}

bool ConfigEngine::write_config_variant(ConfigItem::ConfigName id, QVariant value)
{
    return write_config_variants({qMakePair(id, value)});
}

bool ConfigEngine::write_config_variants(const QList<QPair<ConfigItem::ConfigName, QVariant>>& values)
{
    ConfigEngine* e = p_config;
    if (!e)
        return false;
    QMap<QString, QList<QPair<QString, QVariant>>> by_file;  // the file's keys and values
    {
        QMutexLocker lk(&e->items_mutex_);
        for (const auto& v : values) {
            if (v.first < 0 || v.first >= ConfigItem::ConfigCount) {
                writeLogMsg(LOG_ERROR, "write_config_variant: no item " + std::to_string(static_cast<int>(v.first)));
                return false;
            }
            const ConfigItem& item = e->items_[v.first];
            if (!item.not_in_file)
                by_file[item.file_path].append(qMakePair(item.key, v.second));
        }
    }
    QMutexLocker fl(&file_write_mutex());
    for (auto f = by_file.cbegin(); f != by_file.cend(); ++f) {
        const std::string real = platform::rooted(f.key().toStdString());
        make_parent_dir(real);
        if (const int fault = platform::write_fault(real)) {
            writeLogMsg(LOG_ERROR, "cannot write " + f.key().toStdString() + " (" + std::strerror(fault) +
                                       "): the settings are unchanged");
            return false;
        }
        QSettings ini(QString::fromStdString(real), QSettings::IniFormat);
        if (ini.status() != QSettings::NoError || !ini.isWritable()) {
            log_settings_problem(f.key().toStdString(), ini.status(), true);
            return false;
        }
        for (const auto& kv : f.value())
            ini.setValue(kv.first, kv.second);
        ini.sync();
        if (ini.status() != QSettings::NoError) {
            log_settings_problem(f.key().toStdString(), ini.status(), true);
            return false;
        }
    }
    QMutexLocker lk(&e->items_mutex_);
    for (const auto& v : values)
        e->items_[v.first].value = v.second;
    return true;
}

// ---- device identifier ----------------------------------------------------------------------

void ConfigEngine::build_pid(u16 a, u16 b, u16 c, char out[32])
{
    auto nib = [](u16 w, int i) { return (w >> (4 * i)) & 0xF; };
    const int a3 = nib(a, 3), a2 = nib(a, 2), a1 = nib(a, 1), a0 = nib(a, 0);
    const int b3 = nib(b, 3), b2 = nib(b, 2), b1 = nib(b, 1), b0 = nib(b, 0);
    const int c3 = nib(c, 3), c2 = nib(c, 2), c1 = nib(c, 1), c0 = nib(c, 0);
    const int s1 = a3 + b3 + c3, s2 = a3 + a2 + b2, s3 = a1 + b1 + c2, s4 = a0 + b0 + c1;
    const int v[32] = {
        a3, b3, c3, b1, c1, c0, c2,
        (a3 + b3) % 2, (c3 + b1) / 2, b0, b2, (c0 + c1) / 2, (a3 + b3) / 2, (c0 + c1) % 2, (c3 + b1) % 2,
        a2, a1, (c2 + b0) % 2, (b2 + a2) % 2, (a1 + a0) % 2, (a1 + a0) / 2,
        s1 % 3, s1 / 3, s2 % 3, s2 / 3, s3 % 3, s3 / 3, s4 % 3, s4 / 3,
        (b2 + a2) / 2, (c2 + b0) / 2, a0,
    };
    for (int i = 0; i < 32; ++i)
        out[i] = pid_char(v[i]);
    if (g_debugSwitch == 254) {
        for (int i = 0; i < 32; ++i)
            std::printf(" %#x ", v[i]);
        for (int i = 0; i < 32; ++i)
            std::printf("%c", out[i]);
        std::printf("\n");
    }
}

// Without the "/dev/mem" window the identifier is 32 "0" characters and start-up goes on.
void ConfigEngine::read_device_id()
{
    u16 w[3] = {0, 0, 0};
    std::unique_ptr<platform::RegWindow> win = platform::board().map_phys(kIdWindowBase, kIdWindowLength);
    if (win && win->mapped()) {
        win->write16(kIdControl, win->read16(kIdControl) & ~kIdControlBit);
        for (int i = 0; i < 3; ++i)
            w[i] = win->read16(kIdWord[i]);
        if (g_debugSwitch == 254)
            std::printf("\n mmap uuid161= %#x ,%#X ,%#x \n", w[0], w[1], w[2]);
        build_pid(w[0], w[1], w[2], g_pid);
    } else {
        writeLogMsg(LOG_WARNING, "/dev/mem not mapped: device identifier set to zeros");
        std::memset(g_pid, '0', 32);
    }
    g_pid[32] = 0;
}

// ---- start-up checks --------------------------------------------------------------------------

void ConfigEngine::ensure_param_file()
{
    const std::string real = platform::rooted(store_files::kParamFile);
    if (g_debugSwitch == 254)
        std::printf("\n ConfigEngine::pInstance error fopen 100!");
    para_file = std::fopen(real.c_str(), "rb+");
    if (para_file) {
        std::fclose(para_file);
        para_file = nullptr;
        return;
    }
    // A file that exists but cannot be opened for writing still holds the settings: keep it
    // (the boot load reads what it can), never replace it with factory values.
    if (::access(real.c_str(), F_OK) == 0) {
        writeLogMsg(LOG_WARNING, std::string(store_files::kParamFile) + " exists but cannot be opened for writing");
        return;
    }
    if (g_debugSwitch == 254)
        std::printf("\n ConfigEngine::pInstance error fopen 01!");
    make_parent_dir(real);
    if (!store_files::write_atomic(store_files::kParamFile, default_para_ramlist, sizeof default_para_ramlist))
        writeLogMsg(LOG_ERROR, std::string("cannot create ") + store_files::kParamFile);
}

void ConfigEngine::check_start_command()
{
    QSettings ini(QString::fromStdString(platform::rooted(kLoadConfigIni)), QSettings::IniFormat);
    g_update_status = ini.value(QStringLiteral("app-1/app_path")).toString() == QLatin1String(kStartCommand) ? 1 : 0;
}
