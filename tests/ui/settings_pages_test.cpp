// The settings and maintenance pages on the offscreen platform, on a simulated board under a
// temporary root, with a real scaler manager: every apply goes through the change flag, one
// apply pass (run on a worker thread, as on the device), the queued persistence slot and the
// refresh of the page on top. The 10 ms tick is driven by the tests.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <cstring>
#include <thread>

#include "common/temp_dir.h"
#include "core/ConfigEngine.h"
#include "core/SyncUpdate.h"
#include "core/TlxRamPara.h"
#include "core/c331_shared.h"
#include "core/ram_map.h"
#include "scaler/c331_manage.h"
#include "sim/sim_board.h"
#include "ui/page_test_aids.h"
#include "ui/settings_pages/quality.h"
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

namespace {

using Step = std::function<void()>;
using StepList = std::vector<Step>;

c331_manage* g_mgr = nullptr;

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
// Sets image words as if persisted long ago (image and shadow agree, no flag).
void preset(u32 addr, u16 v)
{
    QMutexLocker lk(&c331_shared::c331_lock);
    ram_wr16(image(), addr, v);
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
        board_ = sim::SimBoard::install_for_test(root_.path());
        g_debugSwitch = 0;
        ConfigEngine::pInstance();
        TlxRamPara::pInstance();
        QObject::connect(TlxRamPara::p_tlxrampara_config, &TlxRamPara::sig_update_para, SyncUpdate::pInstance(),
                         &SyncUpdate::para_sync);
        g_mgr = new c331_manage();
        g_mgr->fill_mwin_preset();
        g_mgr->open_transport();
        c331_manage::p_c331_manage = g_mgr;
        for (int i = 0; i < 100 && g_mgr->thread_state != c331_manage::kStateRunning; ++i)
            g_mgr->thread_pass();
        QCOMPARE(int(g_mgr->thread_state), int(c331_manage::kStateRunning));
        g_language = 1;
        register_settings_pages();
        shell_start_gui();
        g_timer->stop();  // the tests drive the tick
    }

    void cleanupTestCase()
    {
        delete g_timer;
        delete g_lockwindow;
        delete g_mainwindow;
        delete g_numberkeyboard;
        delete g_tip;
        g_timer = nullptr;
        g_lockwindow = nullptr;
        g_mainwindow = nullptr;
        g_numberkeyboard = nullptr;
        g_tip = nullptr;
        c331_manage::p_c331_manage = nullptr;
        delete g_mgr;
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
    // 16 factory bytes of 0x880..0x88F and leaves the fields as they were.
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
                QCOMPARE(text_of(g_quality, "lineEdit_Contrast"), QString("0"));
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
};

QTEST_MAIN(SettingsPagesTest)
#include "settings_pages_test.moc"
