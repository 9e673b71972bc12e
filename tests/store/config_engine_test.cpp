#include <QSettings>

#include "store_fixture.h"

namespace {

QString ini_text(const std::string& path, const QString& key)
{
    return QSettings(QString::fromStdString(path), QSettings::IniFormat).value(key).toString();
}

std::string pid(u16 a, u16 b, u16 c)
{
    char out[32];
    ConfigEngine::build_pid(a, b, c, out);
    return std::string(out, 32);
}

// A simulated board whose "/dev/mem" cannot be mapped.
class NoMemBoard : public sim::SimBoard {
public:
    NoMemBoard() : SimBoard(no_watcher()) {}
    std::unique_ptr<platform::RegWindow> map_phys(uint32_t, uint32_t) override
    {
        return SimBoard::map_phys(0, 0);
    }
};

}  // namespace

TEST_F(StoreTest, FreshRootGetsDefaultsAndFactoryParameterFile)
{
    boot();
    const std::string ini = at("/data/configs/tcpip.ini");
    QSettings s(QString::fromStdString(ini), QSettings::IniFormat);
    s.beginGroup("config");
    QStringList keys = s.childKeys();
    keys.sort();
    EXPECT_EQ(keys, QStringList({"EDIDCheck", "GateWay", "IPAddress", "MAC", "SourceCheck", "SubNetMask",
                                 "TcpPort", "UdpPort", "WifiIPAddress"}));
    EXPECT_EQ(ini_text(ini, "config/TcpPort"), "5005");
    EXPECT_EQ(ini_text(ini, "config/EDIDCheck"), "Once");
    EXPECT_EQ(ini_text(ini, "config/SourceCheck"), "255");
    EXPECT_FALSE(ConfigEngine::read_config_variant(ConfigItem::Barcode).isValid());
    EXPECT_TRUE(shell_ran("chattr +S /data/configs/tcpip.ini"));

    const std::string f = read("/data/ram_device_info");
    ASSERT_EQ(f.size(), 4096u);
    EXPECT_EQ(static_cast<u8>(f[0]), 0xAA);
    EXPECT_EQ(static_cast<u8>(f[1]), 0xAA);
    EXPECT_EQ(file16(f, ram_led_width), 4096);
    EXPECT_EQ(file16(f, ram_led_height), 2048);
    EXPECT_EQ(file16(f, 0x302), 100);
    EXPECT_EQ(file16(f, ram_edid_addr(0)), 1920);
    EXPECT_EQ(file16(f, ram_edid_addr(5) + 2), 2160);
    const u16 picture[8] = {50, 50, 10, 50, 2, 64, 64, 64};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(file16(f, ram_brightness + 2 * i), picture[i]) << i;
    const u16 sources[6] = {4, 5, 3, 2, 1, 0};
    EXPECT_EQ(file16(f, ram_window_addr(0, WIN_ENABLE)), 1);
    EXPECT_EQ(file16(f, ram_window_addr(1, WIN_ENABLE)), 0);
    for (int w = 0; w < 6; ++w) {
        EXPECT_EQ(file16(f, ram_window_addr(w, WIN_SOURCE)), sources[w]);
        EXPECT_EQ(file16(f, ram_window_addr(w, WIN_WIDTH)), 4096);
    }
    EXPECT_EQ(file16(f, ram_window_addr(6, WIN_WIDTH)), 0);
    EXPECT_EQ(file16(f, ram_win_priority + 2 * 15), 15);
    EXPECT_EQ(file16(f, 0x8DE), 1);
    // 64 unused crop rows; the one at 0x82C has width 0; no crop exists after loading.
    EXPECT_EQ(file16(f, ram_crop_addr(0, CROP_KEY)), 0x0005);
    EXPECT_EQ(file16(f, ram_crop_addr(0, CROP_WIDTH)), 1920);
    EXPECT_EQ(file16(f, 0x82C + CROP_WIDTH), 0);
    EXPECT_EQ(file16(f, 0x836 + CROP_HEIGHT), 1080);
    EXPECT_EQ(file16(f, 0x840), 0);
    for (size_t i = 3330; i < 4096; ++i)
        ASSERT_EQ(f[i], 0) << i;
    TlxRamPara* s2 = TlxRamPara::p_tlxrampara_config;
    for (int src = 0; src < 6; ++src)
        EXPECT_EQ(s2->TlxGetSourceNum(src, 40), 0);
}

TEST_F(StoreTest, StoredItemsWinAndWritesReachTheFileAtOnce)
{
    write("/data/configs/tcpip.ini", "[config]\nTcpPort=6001\nBarcode=XY12\n");
    write("/data/configs/led_load_config.ini", "[app-1]\napp_path=/data/app/tlxK57N -platform linuxfb\n");
    boot();
    EXPECT_EQ(ConfigEngine::read_config_variant(ConfigItem::TcpPort).toInt(), 6001);
    EXPECT_EQ(ConfigEngine::read_config_variant(ConfigItem::Barcode).toString(), "XY12");
    EXPECT_EQ(g_update_status.load(), 1);
    ConfigEngine::write_config_variant(ConfigItem::EDIDCheck, "Never");
    EXPECT_EQ(ini_text(at("/data/configs/tcpip.ini"), "config/EDIDCheck"), "Never");
    EXPECT_EQ(ini_text(at("/data/configs/tcpip.ini"), "config/TcpPort"), "6001");

    write("/data/configs/led_load_config.ini", "[app-1]\napp_path=/data/app/tlxK57N\n");
    ConfigEngine::pInstance();
    EXPECT_EQ(g_update_status.load(), 0);
}

TEST_F(StoreTest, UnparseableSettingsAreReportedAsSuch)
{
    write("/data/configs/tcpip.ini", "[config\nTcpPort=6001\n");
    boot();
    const std::string log = read("/data/zeltaqn/log/kivEnglneLog");
    EXPECT_NE(log.find("/data/configs/tcpip.ini cannot be parsed"), std::string::npos) << log;
    EXPECT_EQ(log.find("cannot write"), std::string::npos) << log;
}

TEST_F(StoreTest, ConcurrentItemWritesAllLand)
{
    boot();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 20; ++i)
                ConfigEngine::write_config_variant(t % 2 ? ConfigItem::MAC : ConfigItem::Barcode,
                                                   QString("v%1-%2").arg(t).arg(i));
        });
    for (auto& th : threads)
        th.join();
    const QString bar = ini_text(at("/data/configs/tcpip.ini"), "config/Barcode");
    EXPECT_TRUE(bar == "v0-19" || bar == "v2-19") << bar.toStdString();
    EXPECT_EQ(ini_text(at("/data/configs/tcpip.ini"), "config/IPAddress"), "192.168.1.199");
}

TEST(DeviceIdentifier, KnownVectors)
{
    EXPECT_EQ(pid(0, 0, 0), std::string(32, '0'));
    std::string want(32, '0');
    want[0] = 'f';
    want[7] = '1';
    want[12] = '7';
    want[22] = '5';
    want[24] = '5';
    EXPECT_EQ(pid(0xF000, 0, 0), want);
    // All nibbles 0xF: sums of two give 0 and f, sums of three 45 -> 0 and f.
    EXPECT_EQ(pid(0xFFFF, 0xFFFF, 0xFFFF), "fffffff0fffff00ff000f0f0f0f0ffff");
    // Every nibble different, so a swapped position shows.
    EXPECT_EQ(pid(0x1234, 0x5678, 0x9ABC), "1597bca0886b31023001305032627494");
}

TEST_F(StoreTest, IdentifierFromTheBoardWords)
{
    board_->soc().set16(0x4058, 0xF000);
    board_->soc().set16(0x400C, 0x0101);
    boot();
    EXPECT_EQ(std::string(g_pid), pid(0xF000, 0, 0));
    EXPECT_EQ(board_->soc().read16(0x400C), 0x0001);
}

TEST_F(StoreTest, MissingMemWindowStillCreatesTheParameterFile)
{
    board_.reset();
    auto nomem = std::make_unique<NoMemBoard>();
    platform::install_board(nomem.get());
    std::memset(g_pid, 'x', 32);
    TlxRamPara* s = boot();
    EXPECT_EQ(std::string(g_pid), std::string(32, '0'));
    EXPECT_EQ(read("/data/ram_device_info").size(), 4096u);
    EXPECT_EQ(ram_rd16(s->ram_image, ram_led_width), 4096);
    nomem.reset();
}
