// The settings and maintenance pages on the offscreen platform, on a simulated board under a
// temporary root, with a real scaler manager: every apply goes through the change flag, one
// apply pass (run on a worker thread, as on the device), the queued persistence slot and the
// refresh of the page on top. The 10 ms tick is driven by the tests.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMutexLocker>
#include <QPushButton>
#include <QtTest>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <thread>
#include <tuple>
#include <sys/stat.h>

#include "common/temp_dir.h"
#include "core/ConfigEngine.h"
#include "core/SyncUpdate.h"
#include "core/TlxRamPara.h"
#include "core/c331_shared.h"
#include "core/ram_map.h"
#include "core/requests.h"
#include "scaler/c331_manage.h"
#include "sim/sim_board.h"
#include "ui/page_test_aids.h"
#include "remote/K57_WIFI_CONFIG.h"
#include "remote/net_settings.h"
#include "ui/settings_pages/factory.h"
#include "ui/settings_pages/factoryage.h"
#include "ui/settings_pages/lcdshow.h"
#include "ui/settings_pages/ledset.h"
#include "ui/settings_pages/linkwlan.h"
#include "ui/settings_pages/netset.h"
#include "ui/settings_pages/othersetup.h"
#include "ui/settings_pages/quality.h"
#include "ui/shell/agelog.h"
#include "video_io/fpga_manage.h"
#include "video_io/fpga_regs.h"
#include "video_io/soc_pads.h"
#include "video_io/zeltasource.h"
#include "ui/settings_pages/settings_pages.h"
#include "ui/settings_pages/temperature.h"
#include "ui/settings_pages/testimage.h"
#include "ui/shell/ImageQuality.h"
#include "ui/shell/AdvancedOption.h"
#include "ui/shell/LinkOption.h"
#include "ui/shell/LockWindow.h"
#include "ui/shell/NumberKeyboard.h"
#include "ui/shell/Option.h"
#include "ui/shell/OutputSet.h"
#include "ui/shell/image_access.h"
#include "ui/shell/panel_keys.h"
#include "ui/shell/shell_start.h"
#include "ui/shell/text_fit.h"

namespace {

using Step = std::function<void()>;
using StepList = std::vector<Step>;

c331_manage* g_mgr = nullptr;
fpga_manage* g_fpga = nullptr;

// The FPGA's run state as its register mirror holds it (3 = running, after a whole bring-up);
// no FPGA pass runs here.
void set_fpga_run_state(u8 state)
{
    g_fpga->bringup_step[0] = state == 3 ? fpga_manage::kBringupDone : 0;
    fpga_manage::MCU_REG_func[0][fpga::REG_RUN_STATE] = state;
}

// Runs `fn` on a thread of its own, as the scaler thread would, then delivers what it queued
// for the GUI thread's persistence slot.
void on_scaler_thread(const std::function<void()>& fn)
{
    std::thread t(fn);
    t.join();
    QCoreApplication::sendPostedEvents(SyncUpdate::pInstance(), QEvent::MetaCall);
}
// One apply pass of the scaler manager and the refresh it brings to the GUI thread.
void pass()
{
    on_scaler_thread([] { g_mgr->c331managerdeal(g_mgr); });
}
u16 word(u32 addr) { return ram_rd16(image(), addr); }
u16 shadow_word(u32 addr) { return ram_rd16(TlxRamPara::p_tlxrampara_config->ram_shadow, addr); }
// Sets image words as if applied and persisted long ago (image, applied copy and shadow
// agree, no flag).
void preset(u32 addr, u16 v)
{
    QMutexLocker lk(&c331_shared::c331_lock);
    ram_wr16(image(), addr, v);
    ram_wr16(TlxRamPara::p_tlxrampara_config->ram_applied, addr, v);
    ram_wr16(TlxRamPara::p_tlxrampara_config->ram_shadow, addr, v);
}
QString text_of(QWidget* page, const char* name)
{
    if (auto* l = page->findChild<QLineEdit*>(name))
        return l->text();
    if (auto* l = page->findChild<QLabel*>(name))
        return l->text();
    if (auto* b = page->findChild<QPushButton*>(name))
        return b->text();
    if (auto* c = page->findChild<QComboBox*>(name))
        return c->currentText();
    return "<no " + QString(name) + ">";
}
// A tool's write of an image word, then the apply pass it asks for (change flag).
void tool_write(u32 addr, u16 v)
{
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        ram_wr16(image(), addr, v);
        c331_raise_change_locked(1);
    }
    pass();
}
QString label_text(QWidget* page, const char* name) { return page->findChild<QLabel*>(name)->text(); }
// Sets bytes [first, end) of image, applied copy and shadow to `v`, as if applied and
// persisted long ago.
void preset_bytes(u32 first, u32 end, u8 v)
{
    QMutexLocker lk(&c331_shared::c331_lock);
    std::memset(image() + first, v, end - first);
    std::memset(TlxRamPara::p_tlxrampara_config->ram_applied + first, v, end - first);
    std::memset(TlxRamPara::p_tlxrampara_config->ram_shadow + first, v, end - first);
}
void set_net(const QString& ip, const QString& mask, const QString& gate)
{
    QMutexLocker lk(&g_config_text_mutex());
    g_str_ip = ip;
    g_srt_mask = mask;
    g_str_gateway = gate;
}
QString config_text(ConfigItem::ConfigName id) { return ConfigEngine::read_config_variant(id).toString(); }
// The shell lines run since `from` lines of history.
std::vector<std::string> shell_lines_since(sim::SimBoard* b, size_t from)
{
    const auto h = b->sim_shell().history();
    return std::vector<std::string>(h.begin() + std::min(from, h.size()), h.end());
}
bool has_line(const std::vector<std::string>& lines, const std::string& l)
{
    return std::find(lines.begin(), lines.end(), l) != lines.end();
}

// Steps from the home screen into a menu below Option.
StepList into(void (Option::*submenu)())
{
    return {[] {
                key(KEY_OK);
                g_mainwindow->on_option_clicked();
            },
            [submenu] { (g_option->*submenu)(); }};
}
// The steps `a`, then `b`, then back to the home screen (which ends every modal loop).
StepList then(StepList a, const StepList& b)
{
    a.insert(a.end(), b.begin(), b.end());
    a.push_back([] { g_mainwindow->go_home(); });
    return a;
}

}  // namespace

class SettingsPagesTest : public QObject {
    Q_OBJECT
    testutil::TempDir root_;
    std::unique_ptr<sim::SimBoard> board_;

private slots:
    void initTestCase()
    {
        board_ = start_board_and_store(root_.path());
        // The FPGA component exists as on the device (it maps the SoC window before the
        // scaler starts); the tests set its run state in the mirror.
        board_->soc().write16(pads::PAD_FPGA0_CFG, pads::kHigh);  // powers the simulated FPGA
        g_fpga = new fpga_manage();
        fpga_manage::p_fpga_manage = g_fpga;
        QCOMPARE(g_fpga->open_devices(), 0);
        g_mgr = new c331_manage();
        g_mgr->fill_mwin_preset();
        g_mgr->open_transport();
        c331_manage::p_c331_manage = g_mgr;
        for (int i = 0; i < 100 && g_mgr->thread_state != c331_manage::kStateRunning; ++i)
            g_mgr->thread_pass();
        QCOMPARE(int(g_mgr->thread_state), int(c331_manage::kStateRunning));
        g_language = 1;
        register_settings_pages();
        start_shell_windows();
    }

    void cleanupTestCase()
    {
        delete_shell_windows();
        c331_manage::p_c331_manage = nullptr;
        delete g_mgr;
        fpga_manage::p_fpga_manage = nullptr;
        delete g_fpga;
    }

    void init()
    {
        pass();
        QCOMPARE(c331_shared::param_changed.load(), 0);
        g_language = 1;
    }

    void cleanup()
    {
        if (g_mainwindow && g_page_focus != PAGE_LOCKWINDOW)
            g_mainwindow->go_home();
        QCOMPARE(int(g_page_focus), int(PAGE_LOCKWINDOW));
    }

    // Rows map to their own words (sharpness is row 1, word 0x884); each step is applied at
    // once and written as the whole word; the value is clamped to 0..100; PowerOff in edit mode
    // restores the start value even while a step waits for the scaler; the reset restores the
    // 16 factory bytes of 0x880..0x88F, which the fields then show.
    void qualityStepsWholeWordsAndResets()
    {
        preset(ram_brightness, 356);  // high byte from a remote write
        preset(ram_sharpness, 10);
        preset(ram_contrast, 1);
        Steps().run(then(into(&Option::on_Button_imagequality_clicked), {
            [] { g_imagequality->on_Button_quality_clicked(); },
            [] {
                QVERIFY(g_quality);
                QCOMPARE(text_of(g_quality, "lineEdit_bright"), QString("356"));
                key(KEY_OK);
                key(KEY_LEFT);  // 355 clamps to 100
                QCOMPARE(word(ram_brightness), u16(100));
                pass();
                key(KEY_OK);
                pass();
                key(KEY_RIGHT);  // sharpness
                key(KEY_OK);
                key(KEY_RIGHT);
                QCOMPARE(word(ram_sharpness), u16(11));
                QCOMPARE(word(ram_contrast), u16(1));
                key(KEY_RIGHT);  // dropped: the previous step waits for the scaler
                QCOMPARE(word(ram_sharpness), u16(11));
                shot("quality_editing");
                key(KEY_BACK);  // restores 10 although the flag is still up
                QCOMPARE(word(ram_sharpness), u16(10));
                QCOMPARE(text_of(g_quality, "lineEdit_Sharpness"), QString("10"));
                QVERIFY(g_quality);
                pass();
                QCOMPARE(shadow_word(ram_sharpness), u16(10));
                key(KEY_RIGHT);  // contrast at 1: two steps down stop at 0
                key(KEY_OK);
                key(KEY_LEFT);
                pass();
                key(KEY_LEFT);
                pass();
                key(KEY_OK);
                QCOMPARE(word(ram_contrast), u16(0));
                keys(KEY_RIGHT, 2);
                key(KEY_OK);  // reset
                pass();
                QCOMPARE(text_of(g_quality, "lineEdit_Contrast"), QString::number(word(ram_contrast)));
                const u8* factory = ConfigEngine::default_para_ramlist + 2 + (ram_brightness - 0x300);
                QCOMPARE(std::memcmp(image() + ram_brightness, factory, 16), 0);
                QCOMPARE(word(ram_sharpness), u16(10));
                key(KEY_BACK);
                QVERIFY(!g_quality);
                QCOMPARE(int(g_page_focus), int(PAGE_IMAGEQUALITY));
            },
        }));
    }

    // The preset is chosen with F4/F5 and written only by F6; PowerOff in preset editing writes
    // the preset in force when the edit began. Blue is row 3 and word 0x88E.
    void temperaturePresetWrittenOnlyByOk()
    {
        preset(ram_colour_temp_type, 2);
        Steps().run(then(into(&Option::on_Button_imagequality_clicked), {
            [] { g_imagequality->on_Button_temperature_clicked(); },
            [] {
                QVERIFY(g_temperature);
                QCOMPARE(text_of(g_temperature, "comboBox_type"), QString("nature"));
                key(KEY_OK);
                keys(KEY_RIGHT, 2);  // cool, then custom
                QCOMPARE(text_of(g_temperature, "comboBox_type"), QString("custom"));
                QCOMPARE(c331_shared::param_changed.load(), 0);
                key(KEY_BACK);
                QCOMPARE(text_of(g_temperature, "comboBox_type"), QString("nature"));
                QCOMPARE(word(ram_colour_temp_type), u16(2));
                pass();
                key(KEY_OK);
                key(KEY_LEFT);
                key(KEY_OK);
                QCOMPARE(word(ram_colour_temp_type), u16(1));
                pass();
                key(KEY_LEFT);  // row 3, blue
                key(KEY_OK);
                key(KEY_RIGHT);
                shot("temperature_editing");
                key(KEY_OK);
                key(KEY_BACK);
            },
        }));
        QCOMPARE(word(ram_colour_temp_rgb + 4), u16(65));
        QCOMPARE(word(ram_colour_temp_rgb), u16(64));
    }

    // A tool writes the values while the quality and colour-temperature pages are open: the
    // fields show the stored values, an edit starts from them, and F6 without a step (or
    // PowerOff) writes nothing back.
    void picturePagesFollowAToolsWrite()
    {
        preset(ram_brightness, 55);
        preset(ram_colour_temp_type, 2);
        preset(ram_colour_temp_rgb, 40);
        Steps().run(then(into(&Option::on_Button_imagequality_clicked), {
            [] { g_imagequality->on_Button_quality_clicked(); },
            [] {
                QCOMPARE(text_of(g_quality, "lineEdit_bright"), QString("55"));
                tool_write(ram_brightness, 80);
                QCOMPARE(text_of(g_quality, "lineEdit_bright"), QString("80"));
                key(KEY_OK);
                key(KEY_OK);  // no step: nothing written
                QCOMPARE(word(ram_brightness), u16(80));
                QCOMPARE(c331_shared::param_changed.load(), 0);
                preset(ram_brightness, 70);  // a write the page has not been told of
                key(KEY_OK);
                key(KEY_RIGHT);
                QCOMPARE(word(ram_brightness), u16(71));
                pass();
                key(KEY_OK);
                QCOMPARE(word(ram_brightness), u16(71));
                QCOMPARE(text_of(g_quality, "lineEdit_bright"), QString("71"));
                key(KEY_OK);
                tool_write(ram_brightness, 30);  // while editing: the edit goes on
                key(KEY_BACK);                   // no step made: the tool's value stays
                QCOMPARE(word(ram_brightness), u16(30));
                QCOMPARE(text_of(g_quality, "lineEdit_bright"), QString("30"));
                key(KEY_BACK);
            },
            [] { g_imagequality->on_Button_temperature_clicked(); },
            [] {
                QCOMPARE(text_of(g_temperature, "comboBox_type"), QString("nature"));
                tool_write(ram_colour_temp_type, 3);
                QCOMPARE(text_of(g_temperature, "comboBox_type"), QString("cool"));
                key(KEY_OK);
                key(KEY_OK);  // unchanged preset: nothing written
                QCOMPARE(c331_shared::param_changed.load(), 0);
                preset(ram_colour_temp_type, 1);
                key(KEY_OK);  // the edit starts from the stored preset
                QCOMPARE(text_of(g_temperature, "comboBox_type"), QString("warm"));
                key(KEY_RIGHT);
                tool_write(ram_colour_temp_type, 0);
                key(KEY_BACK);  // nothing written: the tool's preset stays
                QCOMPARE(word(ram_colour_temp_type), u16(0));
                QCOMPARE(text_of(g_temperature, "comboBox_type"), QString("custom"));
                key(KEY_RIGHT);  // red
                tool_write(ram_colour_temp_rgb, 80);
                QCOMPARE(text_of(g_temperature, "lineEdit_name_red"), QString("80"));
                key(KEY_OK);
                key(KEY_OK);
                QCOMPARE(c331_shared::param_changed.load(), 0);
                key(KEY_OK);
                key(KEY_RIGHT);
                QCOMPARE(word(ram_colour_temp_rgb), u16(81));
                pass();
                key(KEY_OK);
                key(KEY_BACK);
            },
        }));
        QCOMPARE(word(ram_colour_temp_rgb), u16(81));
    }

    // A tool sets the address while the Ethernet page is open: the octets not typed follow it,
    // Apply without a typed change stores nothing, a typed octet is stored over the tool's
    // address, and an address the remote command refuses is refused here too, with the reason.
    void ethernetPageFollowsAToolAndRefusesWhatTheToolRefuses()
    {
        set_net("192.168.1.199", "255.255.255.0", "192.168.1.1");
        size_t from = board_->sim_shell().history().size();
        auto tool_sets = [] {
            const u8 data[14] = {10, 0, 0, 5, 255, 0, 0, 0, 10, 0, 0, 1, u8(g_port.load()), u8(g_port.load() >> 8)};
            u8 out[4] = {};
            remote::apply_net_settings(data, sizeof data, out);
            QCOMPARE(int(out[0]), 0);
        };
        auto type_into = [](const char* field, const char* digits) {
            auto* f = g_linkwlan->findChild<QLineEdit*>(field);
            g_lineedit = f;
            g_linkwlan->confirmString(digits);
        };
        auto apply_keys = [] {
            while (g_linkwlan->ui_select_index() != linkwlan::kApplyRow)
                key(KEY_LEFT);
            key(KEY_OK);
        };
        Steps().run(then(into(&Option::on_Button_linkoption_clicked), {
            [] { g_linkoption->on_Button_linkwlan_clicked(); },
            [tool_sets, apply_keys] {
                QCOMPARE(text_of(g_linkwlan, "lineEditIp1"), QString("192"));
                tool_sets();
                key(KEY_RIGHT);  // any key shows the address in effect
                QCOMPARE(text_of(g_linkwlan, "lineEditIp1"), QString("10"));
                QCOMPARE(text_of(g_linkwlan, "lineEditMask2"), QString("0"));
                QCOMPARE(text_of(g_linkwlan, "lineEditGate4"), QString("1"));
                apply_keys();  // nothing typed: nothing stored
            },
        }));
        QCOMPARE(config_text(ConfigItem::IPAddress), QString("10.0.0.5"));
        const auto after_tool = shell_lines_since(board_.get(), from).size();
        Steps().run(then(into(&Option::on_Button_linkoption_clicked), {
            [] { g_linkoption->on_Button_linkwlan_clicked(); },
            [tool_sets, type_into, apply_keys] {
                set_net("192.168.1.199", "255.255.255.0", "192.168.1.1");  // as opened before the tool
                g_linkwlan->syncUpdate();
                QCOMPARE(text_of(g_linkwlan, "lineEditIp1"), QString("192"));
                tool_sets();
                type_into("lineEditGate4", "20");
                apply_keys();
                QVERIFY(g_linkwlan->tip_text().isEmpty());
            },
        }));
        QCOMPARE(config_text(ConfigItem::IPAddress), QString("10.0.0.5"));
        QCOMPARE(config_text(ConfigItem::SubNetMask), QString("255.0.0.0"));
        QCOMPARE(config_text(ConfigItem::GateWay), QString("10.0.0.20"));
        QVERIFY(shell_lines_since(board_.get(), from).size() > after_tool);

        struct Bad {
            const char* field;
            const char* octet;
            const char* tip;
        };
        // Each case in another language: every tip is shown whole.
        int lang = 0;
        for (const Bad& b : {Bad{"lineEditGate4", "255", "网关无效"}, Bad{"lineEditMask2", "7", "Invalid mask"},
                             Bad{"lineEditIp1", "0", "Неверный IP-адрес"},
                             Bad{"lineEditGate2", "9", "Cổng vào: địa chỉ khác trong mạng con"}}) {
            g_language = static_cast<u8>(lang++);
            set_net("192.168.1.199", "255.255.255.0", "192.168.1.1");
            from = board_->sim_shell().history().size();
            Steps().run(then(into(&Option::on_Button_linkoption_clicked), {
                [] { g_linkoption->on_Button_linkwlan_clicked(); },
                [b, type_into, apply_keys] {
                    if (QByteArray(b.field) == "lineEditGate2")
                        type_into("lineEditGate1", "10");
                    type_into(b.field, b.octet);
                    apply_keys();
                    QCOMPARE(g_linkwlan->tip_text(), QString::fromUtf8(b.tip));
                    for (const QLabel* l : g_linkwlan->findChildren<QLabel*>())
                        QVERIFY2(!textfit::elided(l), qPrintable(l->text()));
                    shot(QString("linkwlan_refused%1").arg(int(g_language)).toLatin1().constData());
                },
            }));
            QCOMPARE(shell_lines_since(board_.get(), from).size(), size_t(0));
            QCOMPARE(config_text(ConfigItem::GateWay), QString("10.0.0.20"));
        }
        g_language = 1;
        set_net("192.168.1.199", "255.255.255.0", "192.168.1.1");
    }

    // F6 on the first and the last tile shows patterns 1 and 8; leaving switches it off.
    void testPatternOnAndOffByLeaving()
    {
        Steps().run(then(into(&Option::on_Button_advanced_clicked), {
            [] { g_advancedoption->on_Button_testimage_clicked(); },
            [] {
                QVERIFY(g_testimage);
                QCOMPARE(int(image()[ram_test_pattern]), 0);  // opening shows nothing yet
                key(KEY_OK);
                QCOMPARE(int(image()[ram_test_pattern]), 1);
                pass();
                keys(KEY_LEFT, 2);  // row 0 wraps to the close row, then the last tile
                key(KEY_OK);
                QCOMPARE(int(image()[ram_test_pattern]), 8);
                shot("testimage");
                pass();
                key(KEY_BACK);
                QVERIFY(!g_testimage);
                QCOMPARE(int(image()[ram_test_pattern]), 0);
                QCOMPARE(int(g_page_focus), int(PAGE_ADVANCEDOPTION));
            },
        }));
    }
    // The LCD page's two choices only set their globals: both boxes open on item 0, one value
    // index is shared by both rows (item 2 stored on row 0 makes row 1's OK keep its value and
    // its next step show item 0), 10 minutes and never keep the lock time, PowerOff while
    // editing stores nothing, and the image is never written.
    void lcdDisplayChoicesSetOnlyTheirGlobals()
    {
        g_back_to_mainwindow_time = 1;
        g_auto_lock_time = 2;
        auto shown = [] {
            return text_of(g_lcdshow, "comboBox_back") + "/" + text_of(g_lcdshow, "comboBox_lock");
        };
        Steps().run(then(into(&Option::on_Button_advanced_clicked), {
            [] { g_advancedoption->on_Button_LCDshow_clicked(); },
            [shown] {
                QVERIFY(g_lcdshow);
                QCOMPARE(int(g_page_focus), int(PAGE_LCDSHOW));
                QCOMPARE(shown(), QString("30/5min"));
                key(KEY_OK);
                keys(KEY_RIGHT, 2);
                QCOMPARE(shown(), QString("Never/5min"));
                key(KEY_OK);
                QCOMPARE(g_back_to_mainwindow_time, 120000);
                key(KEY_RIGHT);  // row 1
                keys(KEY_OK, 2);  // index 2: never, nothing changes
                QCOMPARE(g_auto_lock_time, 2);
                key(KEY_OK);
                key(KEY_RIGHT);  // the shared index wraps from 2 to 0
                QCOMPARE(shown(), QString("Never/5min"));
                key(KEY_OK);
                QCOMPARE(g_auto_lock_time, 30000);
                key(KEY_OK);
                key(KEY_RIGHT);  // 10 minutes
                key(KEY_OK);
                QCOMPARE(g_auto_lock_time, 30000);
                key(KEY_OK);
                key(KEY_LEFT);  // back to 5 minutes, then PowerOff
                g_auto_lock_time = 2;
                key(KEY_BACK);
                QVERIFY(!g_lcdshow);
                QCOMPARE(g_auto_lock_time, 2);
                QCOMPARE(int(g_page_focus), int(PAGE_ADVANCEDOPTION));
                g_advancedoption->on_Button_LCDshow_clicked();
            },
            [shown] {
                QCOMPARE(shown(), QString("30/5min"));
                key(KEY_BACK);
            },
        }));
        QCOMPARE(c331_shared::param_changed.load(), 0);
        g_back_to_mainwindow_time = 3000;
        g_auto_lock_time = 30000;
    }

    // Factory reset level 2 keeps the EDID area byte for byte, restores the rest of
    // 0x300..0xFFF and leaves the volatile 0x000..0x2FF; levels 1 and 3 ask every input for its
    // EDID (done cleared first) only when the input component exists; the page closes on the
    // refresh that follows.
    void factoryResetLevels()
    {
        zeltasource* inputs = zeltasource::pInstance();
        for (int level = 1; level <= 3; ++level) {
            preset_bytes(0x000, 0x1000, 0x11);
            for (int p = 0; p < 6; ++p) {
                scaler_req::edid_request[p] = 0;
                scaler_req::edid_done[p] = 1;
            }
            zeltasource::p_zelta_source = level == 3 ? nullptr : inputs;
            set_fpga_run_state(level == 1 ? 3 : 0);  // the persisted size (0x1111) is not the factory one
            g_set_led_para = 0;
            Steps().run(then(into(&Option::on_Button_advanced_clicked), {
                [] { g_advancedoption->on_Button_factory_clicked(); },
                [level] {
                    QVERIFY(g_factory);
                    keys(KEY_RIGHT, level);
                    key(KEY_OK);
                    const u8* f = ConfigEngine::default_para_ramlist + 2;
                    for (u32 a = 0; a < 0x1000; ++a) {
                        const bool kept = a < 0x300 || (level == 2 && a >= 0x380 && a < 0x560);
                        QCOMPARE(int(image()[a]), kept ? 0x11 : int(f[a - 0x300]));
                    }
                    for (int p = 0; p < 6; ++p) {
                        QCOMPARE(int(scaler_req::edid_request[p]), level == 1 ? 1 : 0);
                        QCOMPARE(int(scaler_req::edid_done[p]), level == 1 ? 0 : 1);
                    }
                    QCOMPARE(int(g_set_led_para), level == 1 ? 1 : 0);
                    g_set_led_para = 0;  // as the FPGA thread would, once blanked
                    QVERIFY(g_factory);
                    pass();
                    QVERIFY(!g_factory);
                    QCOMPARE(int(g_page_focus), int(PAGE_ADVANCEDOPTION));
                },
            }));
        }
        zeltasource::p_zelta_source = inputs;
        set_fpga_run_state(0);
        for (int p = 0; p < 6; ++p)
            scaler_req::edid_request[p] = 0;
    }

    // The parameter file (and its shadow) already holds the factory canvas, the scaler still
    // runs another one: the reset brings a new canvas to the scaler and hands it over.
    void factoryResetHandsOverTheCanvasTheScalerRuns()
    {
        preset_bytes(0x000, 0x1000, 0x11);
        {
            QMutexLocker lk(&c331_shared::c331_lock);
            const u8* f = ConfigEngine::default_para_ramlist + 2;   // image 0x300 on
            for (u32 a : {ram_led_width, ram_led_height, ram_splice_mode})
                ram_wr16(TlxRamPara::p_tlxrampara_config->ram_shadow, a, ram_rd16(f, a - 0x300));
        }
        set_fpga_run_state(3);
        g_set_led_para = 0;
        Steps().run(then(into(&Option::on_Button_advanced_clicked), {
            [] { g_advancedoption->on_Button_factory_clicked(); },
            [] {
                keys(KEY_RIGHT, 1);
                key(KEY_OK);
                QCOMPARE(int(g_set_led_para), 1);
                g_set_led_para = 0;  // as the FPGA thread would, once blanked
                pass();
            },
        }));
        set_fpga_run_state(0);
        for (int p = 0; p < 6; ++p)
            scaler_req::edid_request[p] = 0;
    }

    // "Reset ALL" at the factory address with another mask rewrites all three items and sets
    // the interface up again.
    void factoryResetAllRestoresTheWholeAddress()
    {
        set_net("192.168.1.199", "255.255.0.0", "192.168.1.1");
        // "tcpip.ini" cannot be written: nothing is reset, the page stays open and says so.
        // Both files are checked first: the parameter file is not written (a rewrite renames
        // a new file over it), not even to be put back.
        preset(ram_brightness, 77);
        const auto param_file_stamp = [this] {
            struct stat st {};
            ::stat(root_.file("data/ram_device_info").c_str(), &st);
            return std::make_tuple(st.st_ino, st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
        };
        const auto param_file_before = param_file_stamp();
        std::ofstream(root_.file("sim/board.json")) << R"({"write_fail": ["/data/configs/tcpip.ini"]})";
        board_->poll();
        Steps().run(then(into(&Option::on_Button_advanced_clicked), {
            [] { g_advancedoption->on_Button_factory_clicked(); },
            [] {
                keys(KEY_LEFT, 1);
                key(KEY_OK);  // the tip's loop runs the next step
            },
            [] {
                QVERIFY(g_tip->isVisible());
                QVERIFY(g_tip->findChild<QLabel*>("label_tip_text"));
                ticks(TIP::kTicks);
            },
            [] {
                pass();
                QVERIFY(g_factory);
                QCOMPARE(c331_shared::param_changed.load(), 0);
            },
        }));
        QCOMPARE(word(ram_brightness), u16(77));
        QCOMPARE(current_mask(), QString("255.255.0.0"));
        QVERIFY(param_file_stamp() == param_file_before);
        // The parameter file cannot be written: nothing is reset, and the interface never
        // takes the factory address, not even for a moment.
        std::ofstream(root_.file("sim/board.json")) << R"({"write_fail": ["/data/ram_device_info"]})";
        board_->poll();
        const size_t failed_from = board_->sim_shell().history().size();
        const std::string ini_before = testutil::read_file(root_.file("data/configs/tcpip.ini"));
        Steps().run(then(into(&Option::on_Button_advanced_clicked), {
            [] { g_advancedoption->on_Button_factory_clicked(); },
            [] {
                keys(KEY_LEFT, 1);
                key(KEY_OK);
            },
            [] {
                QVERIFY(g_tip->findChild<QLabel*>("label_tip_text"));
                ticks(TIP::kTicks);
            },
            [] { pass(); },
        }));
        QCOMPARE(word(ram_brightness), u16(77));
        QVERIFY(testutil::read_file(root_.file("data/configs/tcpip.ini")) == ini_before);
        QCOMPARE(current_mask(), QString("255.255.0.0"));
        QVERIFY(!has_line(shell_lines_since(board_.get(), failed_from), "ifconfig eth0 192.168.1.199 netmask 255.255.255.0"));
        std::ofstream(root_.file("sim/board.json")) << "{}";
        board_->poll();
        const size_t from = board_->sim_shell().history().size();
        Steps().run(then(into(&Option::on_Button_advanced_clicked), {
            [] { g_advancedoption->on_Button_factory_clicked(); },
            [] {
                keys(KEY_LEFT, 1);
                key(KEY_OK);
                pass();
            },
        }));
        QCOMPARE(config_text(ConfigItem::SubNetMask), QString("255.255.255.0"));
        QCOMPARE(config_text(ConfigItem::IPAddress), QString("192.168.1.199"));
        QCOMPARE(current_mask(), QString("255.255.255.0"));
        QVERIFY(has_line(shell_lines_since(board_.get(), from), "ifconfig eth0 192.168.1.199 netmask 255.255.255.0"));
    }
    QString current_mask()
    {
        QMutexLocker lk(&g_config_text_mutex());
        return g_srt_mask;
    }

    // F6, F5, F5, F6 on the language row: Russian at once, the page closes on the refresh and
    // the advanced menu shows Russian too; with every font missing all six sizes are red.
    void factoryLanguageAndFonts()
    {
        preset_bytes(ram_language, ram_language + 2, 0);
        g_language = 0;
        g_mgr->font_flags = 0x5;  // CJK 32 and 64 present
        Steps().run(then(into(&Option::on_Button_advanced_clicked), {
            [] { g_advancedoption->on_Button_factory_clicked(); },
            [] {
                QCOMPARE(text_of(g_factory, "Box_lang_2"), QString::fromUtf8("中文"));
                QVERIFY(label_text(g_factory, "FontCN").count("#00ff00") == 3);
                QVERIFY(label_text(g_factory, "FontEN").count("#ff0000") == 3);
                key(KEY_OK);
                keys(KEY_RIGHT, 2);
                QCOMPARE(int(image()[ram_language]), 0);
                key(KEY_OK);
                QCOMPARE(int(g_language), 2);
                QCOMPARE(int(image()[ram_language]), 2);
                QCOMPARE(label_text(g_factory, "label_factory"), QString::fromUtf8("Системные настройки"));
                shot("factory_russian");
                pass();
                QVERIFY(!g_factory);
                QCOMPARE(label_text(g_advancedoption, "label_title"), QString::fromUtf8("Дополнительно"));
            },
        }));
        g_mgr->font_flags = 0;
        {
            QMutexLocker lk(&c331_shared::c331_lock);
            image()[ram_language] = 1;
            c331_shared::param_changed = 1;
        }
        pass();
    }

    // Fade: 0x846 = 1, the switch-effect bit and 60 fade frames in all 16 window records; the
    // page closes at once and the following pass applies and persists it.
    void otherSettingsFadeForAllWindows()
    {
        preset(ram_switch_effect, 0);
        Steps().run(then(into(&Option::on_Button_advanced_clicked), {
            [] { g_advancedoption->on_Button_other_clicked(); },
            [] {
                QVERIFY(g_othersetup);
                keys(KEY_RIGHT, 2);
                key(KEY_OK);
                key(KEY_RIGHT);
                key(KEY_OK);
                QVERIFY(!g_othersetup);
                QCOMPARE(int(g_page_focus), int(PAGE_ADVANCEDOPTION));
            },
        }));
        QCOMPARE(word(ram_switch_effect), u16(1));
        for (int w = 0; w < 16; ++w) {
            QVERIFY(word(ram_window_addr(w, WIN_OUTPUT)) & WIN_OUT_SWITCH_EFFECT);
            QCOMPARE(int(image()[ram_fade_frames + 4 * w]), 60);
            QCOMPARE(int(image()[ram_fade_frames + 4 * w + 2]), 60);
        }
        QCOMPARE(shadow_word(ram_switch_effect), u16(0));  // not persisted before the scaler took it
        pass();
        QCOMPARE(c331_shared::param_changed.load(), 0);
        QCOMPARE(shadow_word(ram_switch_effect), u16(1));
    }

    // WiFi off stores 0x306 = 1 and then stops the access point's two daemons, in order; on
    // stores 0 and asks the WiFi thread for a restart. With no window switched on the sound
    // row writes nothing.
    void otherSettingsWifiAndSoundRows()
    {
        preset(ram_wifi_disabled, 0);
        const size_t from = board_->sim_shell().history().size();
        const auto wifi_to = [](int presses) -> StepList {
            return then(into(&Option::on_Button_advanced_clicked), {
                [] { g_advancedoption->on_Button_other_clicked(); },
                [presses] {
                    keys(KEY_LEFT, 2);
                    key(KEY_OK);
                    keys(KEY_RIGHT, presses);
                    key(KEY_OK);
                    pass();
                    QVERIFY(!g_othersetup);
                },
            });
        };
        Steps().run(wifi_to(1));
        QCOMPARE(int(image()[ram_wifi_disabled]), 1);
        const auto lines = shell_lines_since(board_.get(), from);
        const auto hostapd = std::find(lines.begin(), lines.end(), "kill -9 `pidof /usr/bin/hostapd /etc/rtl_hostapd_2G.conf`");
        QVERIFY(hostapd != lines.end());
        QVERIFY(hostapd + 1 != lines.end());
        QCOMPARE(QString::fromStdString(*(hostapd + 1)), QString("kill -9 `pidof /usr/sbin/udhcpd  /etc/udhcpd.conf`"));
        K57_WIFI_CONFIG::g_wifi_reset_flag = 0;
        Steps().run(wifi_to(1));  // shown OFF: one step back to ON
        QCOMPARE(int(image()[ram_wifi_disabled]), 0);
        QCOMPARE(int(K57_WIFI_CONFIG::g_wifi_reset_flag), 1);

        u8 saved[6 * 26];
        std::memcpy(saved, image() + ram_window, sizeof saved);
        for (int w = 0; w < 6; ++w)
            preset(ram_window_addr(w, WIN_ENABLE), 0);
        const u16 record6_audio = word(ram_window_addr(6, WIN_AUDIO));
        Steps().run(then(into(&Option::on_Button_advanced_clicked), {
            [] { g_advancedoption->on_Button_other_clicked(); },
            [] {
                QCOMPARE(g_othersetup->findChild<QComboBox*>("ImageVolume")->count(), 0);
                key(KEY_RIGHT);
                key(KEY_OK);
                key(KEY_RIGHT);
                key(KEY_OK);
                QCOMPARE(c331_shared::param_changed.load(), 0);
                QVERIFY(g_othersetup);
            },
        }));
        QCOMPARE(int(image()[ram_selected_window]), 0);
        QCOMPARE(word(ram_window_addr(6, WIN_AUDIO)), record6_audio);
        {
            QMutexLocker lk(&c331_shared::c331_lock);
            std::memcpy(image() + ram_window, saved, sizeof saved);
            c331_shared::param_changed = 1;
        }
        pass();
    }

    // Octets are normalised on entry; an unchanged address runs nothing; one changed octet
    // writes all three items and sets the interface up; without an interface the file takes
    // the address and the globals keep theirs; a short global address shows empty fields and
    // is never stored.
    void ethernetAddressPage()
    {
        QCOMPARE(linkwlan::octet_text("300"), QString("255"));
        QCOMPARE(linkwlan::octet_text("010"), QString("10"));
        QCOMPARE(linkwlan::octet_text(""), QString("0"));
        set_net("192.168.1.199", "255.255.255.0", "192.168.1.1");
        size_t from = board_->sim_shell().history().size();
        Steps().run(then(into(&Option::on_Button_linkoption_clicked), {
            [] { g_linkoption->on_Button_linkwlan_clicked(); },
            [] {
                QVERIFY(g_linkwlan);
                keys(KEY_LEFT, 2);  // wraps to Apply
                key(KEY_OK);        // unchanged: nothing
                keys(KEY_RIGHT, 2);  // over Cancel to the first octet
                QCOMPARE(g_linkwlan->ui_select_index(), 0);
                keys(KEY_LEFT, 3);  // the gateway's last octet
                key(KEY_OK);        // opens the keypad
            },
            [] {
                for (const char* k : {"0", "2", "0", "ok"})
                    g_numberkeyboard->press(k);
            },
            [] {
                QCOMPARE(text_of(g_linkwlan, "lineEditGate4"), QString("20"));
                shot("linkwlan");
            },
        }));
        // The keypad left the page; reopen and apply the same typing through the fields.
        QCOMPARE(shell_lines_since(board_.get(), from).size(), size_t(0));
        from = board_->sim_shell().history().size();
        const auto type_gate_and_apply = [](const char* octet) -> StepList {
            return then(into(&Option::on_Button_linkoption_clicked), {
                [] { g_linkoption->on_Button_linkwlan_clicked(); },
                [octet] {
                    g_linkwlan->findChild<QLineEdit*>("lineEditGate4")->setText(octet);
                    keys(KEY_LEFT, 2);
                    key(KEY_OK);
                },
            });
        };
        Steps().run(type_gate_and_apply("20"));
        QCOMPARE(config_text(ConfigItem::GateWay), QString("192.168.1.20"));
        QCOMPARE(config_text(ConfigItem::IPAddress), QString("192.168.1.199"));
        auto lines = shell_lines_since(board_.get(), from);
        QVERIFY(has_line(lines, "sync"));
        QVERIFY(has_line(lines, "route add default gw 192.168.1.20 metric 100"));

        std::ofstream(root_.file("sim/board.json")) << "{\"ethernet\": false}\n";
        board_->poll();
        Steps().run(type_gate_and_apply("30"));
        QCOMPARE(config_text(ConfigItem::GateWay), QString("192.168.1.30"));
        {
            QMutexLocker lk(&g_config_text_mutex());
            QCOMPARE(g_str_gateway, QString("192.168.1.20"));
        }
        std::ofstream(root_.file("sim/board.json")) << "{}\n";
        board_->poll();

        set_net("10.0", "255.255.255.0", "192.168.1.1");
        from = board_->sim_shell().history().size();
        Steps().run(then(into(&Option::on_Button_linkoption_clicked), {
            [] { g_linkoption->on_Button_linkwlan_clicked(); },
            [] {
                QCOMPARE(text_of(g_linkwlan, "lineEditIp2"), QString("0"));
                QCOMPARE(text_of(g_linkwlan, "lineEditIp3"), QString(""));
                keys(KEY_LEFT, 2);
                key(KEY_OK);
            },
        }));
        QCOMPARE(shell_lines_since(board_.get(), from).size(), size_t(0));
        QCOMPARE(config_text(ConfigItem::IPAddress), QString("192.168.1.199"));
        set_net("192.168.1.199", "255.255.255.0", "192.168.1.1");
    }

    // Without the FPGA component no port has a link and no value is shown (dashes, "not
    // ready"); four F5 scroll the tiles to LED2..LED5; neither end wraps.
    void outputPortsWithoutFpga()
    {
        fpga_manage::p_fpga_manage = nullptr;
        Steps().run(then(into(&Option::on_Button_outputset_clicked), {
            [] { g_outputset->on_Button_lanset_clicked(); },
            [] {
                QVERIFY(g_netset);
                for (const char* f : {"x_lineEdit", "y_lineEdit", "w_lineEdit", "h_lineEdit"})
                    QCOMPARE(text_of(g_netset, f), QString("--"));
                QCOMPARE(text_of(g_netset, "label_state"), QString("Output ports not ready"));
                for (const char* l : {"L1label", "L2label", "L3label", "L4label"})
                    QCOMPARE(g_netset->findChild<QLabel*>(l)->property("online").toBool(), false);
                key(KEY_LEFT);
                QCOMPARE(g_netset->selected_port(), 0);
                keys(KEY_RIGHT, 4);
                QCOMPARE(g_netset->selected_port(), 4);
                QCOMPARE(text_of(g_netset, "LED1label"), QString("LED2"));
                QCOMPARE(text_of(g_netset, "LED4label"), QString("LED5"));
                shot("netset");
                keys(KEY_RIGHT, 20);
                QCOMPARE(g_netset->selected_port(), 15);
                QCOMPARE(g_netset->first_port(), 12);
                key(KEY_BACK);
                QCOMPARE(int(g_page_focus), int(PAGE_OUTPUTSET));
            },
        }));
        fpga_manage::p_fpga_manage = g_fpga;
    }

    // Opened before the FPGA's bring-up the page shows no value and no link; once the FPGA
    // runs with cards on ports 1 and 3, the tick shows port 0's area and those links without a
    // key. Port 1's area comes from its words at the odd page offsets 19, 21, 23 and 25. A card
    // unplugged (at the FPGA thread's next look) and a tool's write of the page are followed.
    void outputPortsFromTheFpga()
    {
        std::ofstream(root_.file("sim/board.json")) << "{\"cards\": [0, 2, 0, 1]}\n";
        board_->poll();
        abyte* page = fpga_manage::MCU_RAM_PARA_func[0];
        const u16 area[8] = {16955, 20553, 24151, 27749, 100, 200, 1920, 1080};
        for (int k = 0; k < 4; ++k)
            fpga_manage::page_wr16(page, 19 + 2 * k, area[4 + k]);
        Steps().run(then(into(&Option::on_Button_outputset_clicked), {
            [] { g_outputset->on_Button_lanset_clicked(); },
            [&] {
                const auto online = [](const char* l) { return g_netset->findChild<QLabel*>(l)->property("online").toBool(); };
                ticks(MainWindow::kFollowTicks);
                QCOMPARE(text_of(g_netset, "x_lineEdit"), QString("--"));
                QCOMPARE(text_of(g_netset, "h_lineEdit"), QString("--"));
                QVERIFY(!text_of(g_netset, "label_state").isEmpty());
                shot("netset_not_ready");
                for (int k = 0; k < 4; ++k)  // the bring-up loads the saved page, then runs
                    fpga_manage::page_wr16(page, 8 + 2 * k, area[k]);
                set_fpga_run_state(3);
                g_fpga->update_link_state(0);
                ticks(MainWindow::kFollowTicks);
                QCOMPARE(text_of(g_netset, "x_lineEdit"), QString("16955"));
                QCOMPARE(text_of(g_netset, "h_lineEdit"), QString("27749"));
                QCOMPARE(text_of(g_netset, "label_state"), QString());
                QVERIFY(!online("L1label"));
                QVERIFY(online("L2label"));
                QVERIFY(!online("L3label"));
                QVERIFY(online("L4label"));
                key(KEY_RIGHT);
                QCOMPARE(text_of(g_netset, "x_lineEdit"), QString("100"));
                QCOMPARE(text_of(g_netset, "y_lineEdit"), QString("200"));
                QCOMPARE(text_of(g_netset, "w_lineEdit"), QString("1920"));
                QCOMPARE(text_of(g_netset, "h_lineEdit"), QString("1080"));
                shot("netset_fpga");
                std::ofstream(root_.file("sim/board.json")) << "{\"cards\": [0, 2]}\n";
                board_->poll();
                g_fpga->update_link_state(0);
                fpga_manage::page_wr16(page, 19, 300);
                ticks(MainWindow::kFollowTicks);
                QVERIFY(!online("L4label"));
                QCOMPARE(text_of(g_netset, "x_lineEdit"), QString("300"));
            },
        }));
        set_fpga_run_state(0);
        std::ofstream(root_.file("sim/board.json")) << "{}\n";
        board_->poll();
    }

    // 17 entries make two pages; Next pages and wraps, Previous wraps from the first page to
    // the last; register 40 = 5 shows DDR0 and DE green; an entry of fewer fields is shown as
    // it stands; the tick redraws the open page after a sample.
    void agingLogPages()
    {
        {
            QMutexLocker lk(&factoryage_log_mutex());
            factoryage_log.clear();
        }
        for (int i = 0; i < 16; ++i)
            agelog_append("03-15 14:30", 7, 5, 200);
        {
            QMutexLocker lk(&factoryage_log_mutex());
            factoryage_log.push_back("03-15 14:33 broken");
        }
        Steps().run(then(into(&Option::on_Button_advanced_clicked), {
            [] { g_advancedoption->on_Button_age_clicked(); },
            [] {
                for (const char* k : {"5", "7", "3", "8", "ok"})
                    g_numberkeyboard->press(k);
            },
            [] {
                QVERIFY(g_factoryage);
                QCOMPARE(label_text(g_factoryage, "label_page"), QString("1/2"));
                QCOMPARE(label_text(g_factoryage, "page_info"), QString("17"));
                const QString first = factoryage::entry_line("03-15 14:30 7 5 200");
                QVERIFY(first.startsWith("03-15 14:30 007 <font color = #00FF00 >DDR0</font> "
                                         "<font color = #FF0000 >DDR1</font> <font color = #00FF00 >DE</font> "));
                QVERIFY(first.endsWith("200"));
                QVERIFY(g_factoryage->shown_text().startsWith(first));
                // The first page shows its 16 entries, not the 17th below them.
                QCOMPARE(g_factoryage->shown_text().count("<br>"), 15);
                QVERIFY(!g_factoryage->shown_text().contains("broken"));
                shot("factoryage");
                key(KEY_OK);  // Next
                QCOMPARE(label_text(g_factoryage, "label_page"), QString("2/2"));
                QCOMPARE(g_factoryage->shown_text(), QString("03-15 14:33 broken"));
                key(KEY_OK);
                QCOMPARE(label_text(g_factoryage, "label_page"), QString("1/2"));
                key(KEY_RIGHT);
                key(KEY_OK);  // Previous from the first page
                QCOMPARE(label_text(g_factoryage, "label_page"), QString("2/2"));
                g_age_probe.fpga_running = [] { return true; };
                g_age_probe.read_regs = [](int& r40, int& r42, int& r43) {
                    r40 = 31, r42 = 1, r43 = 203;
                    return true;
                };
                ticks(MainWindow::kAgingTicks);
                QCOMPARE(label_text(g_factoryage, "page_info"), QString("18"));
                QCOMPARE(label_text(g_factoryage, "label_3"), QString("0<3"));
                g_age_probe = AgeProbe{};
                key(KEY_BACK);
            },
        }));
        QVERIFY(!g_agelog_page_update);
    }

    // The keypad rules of the LED size, row by row.
    void ledSizeKeypadRules_data()
    {
        QTest::addColumn<bool>("width");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("other");
        QTest::addColumn<QString>("edited");
        QTest::addColumn<QString>("other_after");
        QTest::newRow("w 9000") << true << "9000" << "2048" << "8188" << "1280";
        QTest::newRow("w 5000") << true << "5000" << "2048" << "5000" << "2048";
        QTest::newRow("w 6000") << true << "6000" << "2048" << "6000" << "1747";
        QTest::newRow("h 3000") << false << "3000" << "4096" << "3000" << "4096";
        QTest::newRow("h 4000") << false << "4000" << "4096" << "4000" << "3250";
        QTest::newRow("w 10") << true << "10" << "2048" << "64" << "2048";
        QTest::newRow("h empty") << false << "" << "4096" << "64" << "4096";
        QTest::newRow("w 0100") << true << "0100" << "2048" << "0100" << "2048";
    }
    void ledSizeKeypadRules()
    {
        QFETCH(bool, width);
        QFETCH(QString, typed);
        QFETCH(QString, other);
        const auto r = ledset::confirm_size(width, typed, other);
        QTEST(r.first, "edited");
        QTEST(r.second, "other_after");
    }

    // A new size writes both output rectangles, splice 0, window 0 over the canvas and windows
    // 1..5 off, and shows the tip, once the store kept it, with the scaler lock free; without a running FPGA no
    // hand-shake; the same size again shows no tip and leaves the windows; a field still
    // showing an image value goes through the keypad rules (0 is applied as 64).
    void ledSizeApply()
    {
        preset(ram_led_width, 4096);
        preset(ram_led_height, 2048);
        for (int w = 0; w < 6; ++w)
            preset(ram_window_addr(w, WIN_ENABLE), 1);
        g_set_led_para = 0;
        static bool lock_free_under_tip;
        lock_free_under_tip = false;
        Steps().run(then(into(&Option::on_Button_outputset_clicked), {
            [] { g_outputset->on_Button_ledset_clicked(); },
            [] {
                QVERIFY(g_ledset);
                QCOMPARE(text_of(g_ledset, "lineEdit_ledw"), QString("4096"));
                key(KEY_OK);  // keypad for the width
            },
            [] {
                for (const char* k : {"del", "del", "del", "del", "3", "8", "4", "0", "ok"})
                    g_numberkeyboard->press(k);
            },
            [] {
                QCOMPARE(text_of(g_ledset, "lineEdit_ledw"), QString("3840"));
                keys(KEY_RIGHT, 2);
                key(KEY_OK);  // apply: no tip before the store
                QVERIFY(!g_tip->isVisible());
                QCOMPARE(int(g_set_led_para), 0);  // the FPGA is not running: no hand-shake
                pass();  // applied and kept: the tip's loop runs the next step
            },
            [] {
                QVERIFY(g_tip->isVisible());
                std::thread t([] {
                    lock_free_under_tip = c331_shared::c331_lock.tryLock();
                    if (lock_free_under_tip)
                        c331_shared::c331_lock.unlock();
                });
                t.join();
                shot("ledset_tip");
                ticks(TIP::kTicks);
            },
            [] {
                QVERIFY(!g_tip->isVisible());
                QVERIFY(g_ledset);
                pass();
                key(KEY_OK);  // same size again: no tip
                QVERIFY(!g_tip->isVisible());
                QCOMPARE(c331_shared::param_changed.load(), 1);
                pass();
                g_ledset->findChild<QLineEdit*>("lineEdit_ledh")->setText("0");
                key(KEY_OK);
                pass();
            },
            [] { ticks(TIP::kTicks); },
        }));
        QVERIFY(lock_free_under_tip);
        QCOMPARE(word(ram_led_width), u16(3840));
        QCOMPARE(word(ram_led_height), u16(64));
        for (u32 rect : {ram_output_rect, ram_output_rect + 8}) {
            QCOMPARE(word(rect), u16(0));
            QCOMPARE(word(rect + 4), u16(3840));
            QCOMPARE(word(rect + 6), u16(64));
        }
        QCOMPARE(word(ram_splice_mode), u16(0));
        QCOMPARE(word(ram_window_addr(0, WIN_WIDTH)), u16(3840));
        QCOMPARE(word(ram_window_addr(0, WIN_HEIGHT)), u16(64));
        for (int w = 1; w < 6; ++w)
            QCOMPARE(word(ram_window_addr(w, WIN_ENABLE)), u16(0));
        pass();
        preset(ram_led_width, 4096);
        preset(ram_led_height, 2048);
    }
    // Apply keeps what the keypad accepted: height 3000 typed at width 4096 (12,288,000 pixels,
    // within the typed height's bound) is stored as 4096 x 3000.
    // A tool sets the LED size while the page is open: the field not typed follows it and
    // Apply writes the typed height with the tool's width, not the width shown at opening.
    void ledSizeFollowsAToolsWrite()
    {
        preset(ram_led_width, 1920);
        preset(ram_led_height, 1080);
        Steps().run(then(into(&Option::on_Button_outputset_clicked), {
            [] { g_outputset->on_Button_ledset_clicked(); },
            [] {
                tool_write(ram_led_width, 2560);
                QCOMPARE(text_of(g_ledset, "lineEdit_ledw"), QString("2560"));
                key(KEY_RIGHT);
                key(KEY_OK);  // keypad for the height
            },
            [] {
                for (const char* k : {"del", "del", "del", "del", "9", "0", "0", "ok"})
                    g_numberkeyboard->press(k);
            },
            [] {
                preset(ram_led_width, 2000);  // the tool again, not refreshed yet
                key(KEY_RIGHT);
                QCOMPARE(text_of(g_ledset, "lineEdit_ledw"), QString("2000"));
                key(KEY_OK);  // apply
                pass();       // kept: the tip
            },
            [] { ticks(TIP::kTicks); },
        }));
        QCOMPARE(word(ram_led_width), u16(2000));
        QCOMPARE(word(ram_led_height), u16(900));
        pass();
        preset(ram_led_width, 4096);
        preset(ram_led_height, 2048);
    }

    void ledSizeApplyKeepsATypedHeight()
    {
        preset(ram_led_width, 4096);
        preset(ram_led_height, 2048);
        Steps().run(then(into(&Option::on_Button_outputset_clicked), {
            [] { g_outputset->on_Button_ledset_clicked(); },
            [] {
                key(KEY_RIGHT);
                key(KEY_OK);  // keypad for the height
            },
            [] {
                for (const char* k : {"del", "del", "del", "del", "3", "0", "0", "0", "ok"})
                    g_numberkeyboard->press(k);
            },
            [] {
                QCOMPARE(text_of(g_ledset, "lineEdit_ledw"), QString("4096"));
                key(KEY_RIGHT);
                key(KEY_OK);  // apply
                pass();       // kept: the tip
            },
            [] { ticks(TIP::kTicks); },
        }));
        QCOMPARE(word(ram_led_width), u16(4096));
        QCOMPARE(word(ram_led_height), u16(3000));
        QCOMPARE(word(ram_window_addr(0, WIN_HEIGHT)), u16(3000));
        pass();
        preset(ram_led_width, 4096);
        preset(ram_led_height, 2048);
    }

    // A split wall a tool stored beyond the page's limits (7680 x 4320, splice HV) is shown;
    // Apply without typing refuses with the tip and writes nothing.
    void ledSizeApplyLeavesAWallBeyondThePage()
    {
        const std::pair<u32, u16> wall[] = {{ram_led_width, 7680}, {ram_led_height, 4320}, {ram_splice_mode, 1},
                                            {ram_output_rect + 4, 3840}, {ram_window_addr(1, WIN_ENABLE), 1}};
        std::vector<u16> before;
        for (const auto& [addr, v] : wall) {
            before.push_back(word(addr));
            preset(addr, v);
        }
        Steps().run(then(into(&Option::on_Button_outputset_clicked), {
            [] { g_outputset->on_Button_ledset_clicked(); },
            [] {
                QCOMPARE(text_of(g_ledset, "lineEdit_ledh"), QString("4320"));
                keys(KEY_RIGHT, 2);
                key(KEY_OK);  // apply: refused, the tip's loop runs the next step
            },
            [] {
                QVERIFY(g_tip->isVisible());
                QCOMPARE(c331_shared::param_changed.load(), 0);
                QCOMPARE(text_of(g_ledset, "lineEdit_ledw"), QString("7680"));
                ticks(TIP::kTicks);
            },
        }));
        for (size_t i = 0; i < before.size(); ++i) {
            QCOMPARE(word(wall[i].first), wall[i].second);
            preset(wall[i].first, before[i]);
        }
    }

private:
    // The LED size page applies a width typed while the FPGA runs; `handed_over` checks what
    // the apply asked for, then the FPGA's side of the hand-over and the tip are played out.
    void apply_led_width_while_the_fpga_runs(const char* width, const std::function<void()>& handed_over)
    {
        set_fpga_run_state(3);
        g_set_led_para = 0;
        Steps().run(then(into(&Option::on_Button_outputset_clicked), {
            [] { g_outputset->on_Button_ledset_clicked(); },
            [width, handed_over] {
                g_ledset->findChild<QLineEdit*>("lineEdit_ledw")->setText(width);
                keys(KEY_RIGHT, 2);
                key(KEY_OK);
                QCOMPARE(int(g_set_led_para), 1);
                handed_over();
                g_set_led_para = 0;  // as the FPGA thread would, once blanked
                pass();              // kept: the tip
            },
            [] {
                ticks(TIP::kTicks);
            },
        }));
        set_fpga_run_state(0);
        pass();
        preset(ram_led_width, 4096);
        preset(ram_led_height, 2048);
    }

private slots:
    // While the FPGA runs a new LED size asks it to blank and restart its outputs around the
    // panel's re-initialisation (g_set_led_para 1, g_set_led_setup 0).
    void ledSizeHandOverWhileTheFpgaRuns()
    {
        preset(ram_led_width, 4096);
        preset(ram_led_height, 2048);
        g_set_led_setup = 5;
        apply_led_width_while_the_fpga_runs("2048", [] { QCOMPARE(int(g_set_led_setup), 0); });
    }

    // The scaler runs 2048 wide, the parameter file (and its shadow) still says 4096: going
    // back to 4096 is a new canvas for the scaler, handed over like any other.
    void ledSizeBackBeforeTheFileWriteIsHandedOver()
    {
        preset(ram_led_width, 4096);
        preset(ram_led_height, 2048);
        {
            QMutexLocker lk(&c331_shared::c331_lock);
            ram_wr16(image(), ram_led_width, 2048);
            ram_wr16(TlxRamPara::p_tlxrampara_config->ram_applied, ram_led_width, 2048);
        }
        apply_led_width_while_the_fpga_runs(
            "4096", [] { QCOMPARE(int(word(ram_window_addr(0, WIN_WIDTH))), 4096); });
    }

    // A user mode of another LED size recalled on the main window is handed over as the LED
    // size page's apply is; one of the same size is not.
    void userModeRecallOfAnotherLedSizeIsHandedOver()
    {
        preset(ram_led_width, 4096);
        preset(ram_led_height, 2048);
        TlxRamPara* store = TlxRamPara::p_tlxrampara_config;
        const int slot = 9;
        set_fpga_run_state(3);
        for (u16 width : {4096, 2048}) {
            {
                QMutexLocker lk(&c331_shared::c331_lock);
                MODE_SLOT& m = store->mode_slot[slot];
                m.copy_in(MODE_SLOT_IMAGE, image() + RAM_MODE_BASE, RAM_MODE_LEN);
                ram_wr16(m.bytes, mode_slot_offset(ram_led_width), width);
                m.mark(MODE_MARKER_SAVED);
            }
            g_set_led_para = 0;
            g_mode_select = slot;
            g_mainwindow->popup_recall();
            QCOMPARE(int(word(ram_led_width)), int(width));
            QCOMPARE(int(g_set_led_para), width == 4096 ? 0 : 1);
            g_set_led_para = 0;   // as the FPGA thread would, once blanked
            g_mainwindow->take_pending_tip();
            pass();
        }
        set_fpga_run_state(0);
        store->mode_slot[slot].mark(MODE_MARKER_EMPTY);
        preset(ram_led_width, 4096);
    }
};

QTEST_MAIN(SettingsPagesTest)
#include "settings_pages_test.moc"
