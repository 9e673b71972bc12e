#pragma once
// The configuration engine: the ten items of group "config" in "/data/configs/tcpip.ini",
// the device identifier g_pid, the parameter file's creation from the factory image and the
// start-command check.
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QVariant>
#include <cstdio>
#include <vector>

#include "core/globals.h"

class ConfigItem {
public:
    enum ConfigName {
        TcpPort = 0,
        UdpPort,
        IPAddress,
        SubNetMask,
        GateWay,
        MAC,
        Barcode,
        WifiIPAddress,
        EDIDCheck,
        SourceCheck,
        ConfigCount
    };

    QString key;            // "config/" + name
    ConfigName id;
    QVariant default_value;
    bool not_in_file;       // kept out of the file (false for all ten)
    u8 is_integer;          // stored, not consulted
    QString file_path;
    QVariant value;         // invalid until loaded

    // Key text -> id, filled as the items are built.
    static QMap<QString, ConfigName> _itemMap;
};

class ConfigEngine : public QObject {
    Q_OBJECT
public:
    // Creates the engine and runs the start steps; later calls repeat the network set-up,
    // the parameter-file check, the start-command check and the aging-log reset.
    static ConfigEngine* pInstance();
    static ConfigEngine* p_config;

    // A copy of the item's value (invalid when never loaded or out of range). Any thread.
    static QVariant read_config_variant(ConfigItem::ConfigName id);
    // Sets the item and writes it through to its file before returning. Any thread. False
    // (logged, the item left as it was) when the file cannot be written.
    static bool write_config_variant(ConfigItem::ConfigName id, QVariant value);
    // Several items at once, all or none: the file is written first, and only when that
    // succeeded do the items take their new values.
    static bool write_config_variants(const QList<QPair<ConfigItem::ConfigName, QVariant>>& values);

    // The factory parameter file: bytes 0, 1 = 0xAA; byte 2 + k = factory value of image
    // 0x300 + k (k 0..3327); bytes 3330..4095 zero. Factory restores copy 3328 bytes from byte 2.
    static const u8 (&default_para_ramlist)[4096];

    // Builds the 32-character identifier from the three SoC identifier words.
    static void build_pid(u16 a, u16 b, u16 c, char out[32]);

    FILE* para_file = nullptr;  // the parameter file, opened and closed around each access

private:
    ConfigEngine();
    void load_items();
    void read_device_id();
    void ensure_param_file();
    void check_start_command();

    std::vector<ConfigItem> items_;
    mutable QMutex items_mutex_;
};
