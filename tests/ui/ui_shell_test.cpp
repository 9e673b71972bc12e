// The front-panel shell on the offscreen platform, on a simulated board under a temporary
// root. The 10 ms tick is driven by the tests. Steps that run inside a page's modal loop are
// queued with Steps: each step is scheduled before it runs, so it may open a nested loop.
// A PNG of every screen is saved under $K57_BUILD_DIR/ui_screens for people to look at.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <sys/wait.h>
#include <atomic>
#include <thread>
#include <unistd.h>

#include "common/temp_dir.h"
#include "ui/page_test_aids.h"
#include "core/ConfigEngine.h"
#include "core/SyncUpdate.h"
#include "core/TlxRamPara.h"
#include "core/c331_shared.h"
#include "core/page_registry.h"
#include "core/requests.h"
#include "platform/virtual_clock.h"
#include "sim/sim_board.h"
#include "ui/shell/AdvancedOption.h"
#include "ui/shell/LockWindow.h"
#include "ui/shell/MachineState.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/NumberKeyboard.h"
#include "ui/shell/Option.h"
#include "ui/shell/TIP.h"
#include "ui/shell/agelog.h"
#include "ui/shell/image_access.h"
#include "ui/shell/page_open.h"
#include "ui/shell/text_fit.h"
#include "ui/shell/panel_io.h"
#include "ui/shell/panel_keys.h"
#include "ui/shell/panel_tick.h"
#include "ui/shell/shell_start.h"

namespace {


// Stand-ins for the pages the menus open: each records {page id, id of the menu it came from}.
const PageFocusId kAllPages[] = {PAGE_INPUTCHOOSE, PAGE_CUSTOMMODE, PAGE_INPUTCUT,  PAGE_EDIDSET,  PAGE_IMAGELAYOUT,
                                 PAGE_LEDSET,      PAGE_NETSET,     PAGE_LCDSHOW,   PAGE_TESTIMAGE, PAGE_OTHERSETUP,
                                 PAGE_FACTORY,     PAGE_QUALITY,    PAGE_TEMPERATURE, PAGE_LINKCOM, PAGE_LINKWLAN,
                                 PAGE_FACTORYAGE};
std::vector<std::pair<int, int>> g_opened;
void register_stand_in(PageFocusId id)
{
    register_opener(id, [id](PageFrame* parent) { g_opened.push_back({id, parent ? parent->page_id() : -1}); });
}
std::pair<int, int> last_opened() { return g_opened.empty() ? std::pair<int, int>{-1, -1} : g_opened.back(); }

}  // namespace

class UiShellTest : public QObject {
    Q_OBJECT
    testutil::TempDir root_;
    std::unique_ptr<sim::SimBoard> board_;
    std::vector<std::string> reboots_;

    std::vector<std::string> shell_history() { return board_->sim_shell().history(); }
    int count_in_history(const std::string& line)
    {
        int n = 0;
        for (const auto& l : shell_history())
            n += l == line;
        return n;
    }

private slots:
    void initTestCase()
    {
        board_ = start_board_and_store(root_.path());
        board_->sim_shell().set_reboot_action([this] { reboots_.push_back("reboot"); });
        g_language = 1;
        for (PageFocusId id : kAllPages)
            register_stand_in(id);
        start_shell_windows();
    }

    // The device never frees its windows; the test does, before the application goes away.
    void cleanupTestCase()
    {
        delete_shell_windows();
    }

    void init()
    {
        c331_shared::param_changed = 0;
        g_language = 1;
    }

    void cleanup()
    {
        if (g_mainwindow && g_page_focus != PAGE_LOCKWINDOW)
            g_mainwindow->go_home();
        QCOMPARE(int(g_page_focus), int(PAGE_LOCKWINDOW));
    }

    // The whole menu tree by keys: wrap-around, focus ids and page pointers on the way in and
    // out, and F6 on a page row opens that page with its menu as the parent.
    // A text too long for its label even at the smallest size is elided after the name and
    // number that tell items apart, never inside them (where "…" would cut them, the name and
    // number are shown alone); a text without a number is elided as it comes.
    void elisionKeepsTheNameAndNumber()
    {
        struct Case {
            int width;
            const char* text;
            const char* shown;
        };
        for (const Case& c : {Case{30, "HDMI1_Crop2", "HDMI1"}, Case{33, "HDMI4_Crop12", "HDMI4"},
                              Case{40, "HDMI4_Crop12", "HDMI4_\u2026"}}) {
            QLabel l;
            l.setStyleSheet("font: 9px");
            l.setGeometry(0, 0, c.width, 12);
            l.setText(c.text);
            textfit::fit(&l);
            QCOMPARE(l.text(), QString::fromUtf8(c.shown));
            QVERIFY(textfit::elided(&l));
            QCOMPARE(textfit::full_text(&l), QString(c.text));
        }
        QLabel l;
        l.setStyleSheet("font: 9px");
        l.setGeometry(0, 0, 40, 12);
        int px = 9;
        QCOMPARE(textfit::fit_piece(&l, "HDMI2_Crop7", 30, &px), QString("HDMI2"));
        QCOMPARE(textfit::fit_piece(&l, "Alias_Name_16chr", 40, &px).left(4), QString("Alia"));
    }

    void navigatesTheMenuTree()
    {
        using P = std::pair<int, int>;
        QVERIFY(g_lockwindow->isVisible());
        shot("home");
        Steps().run({
            [] {
                key(KEY_OK);
                QCOMPARE(int(g_page_focus), int(PAGE_MAINWINDOW));
                QVERIFY(!g_lockwindow->isVisible());
                QCOMPARE(g_mainwindow->ui_select_index(), 0);
                keys(KEY_RIGHT, 8);  // eight rows: back on the first
                QCOMPARE(g_mainwindow->ui_select_index(), 0);
                key(KEY_OK);  // source
                QCOMPARE(last_opened(), P(PAGE_INPUTCHOOSE, PAGE_MAINWINDOW));
                keys(KEY_RIGHT, 2);
                key(KEY_OK);  // mode list
                QCOMPARE(last_opened(), P(PAGE_CUSTOMMODE, PAGE_MAINWINDOW));
                keys(KEY_LEFT, 3);
                QCOMPARE(g_mainwindow->ui_select_index(), 7);
                keys(KEY_RIGHT, 4);
                shot("mainwindow");
                key(KEY_OK);  // menu
            },
            [] {
                QVERIFY(g_option);
                QCOMPARE(int(g_page_focus), int(PAGE_OPTION));
                shot("option");
                key(KEY_OK);  // crop
                QCOMPARE(last_opened(), P(PAGE_INPUTCUT, PAGE_OPTION));
                key(KEY_RIGHT);
                key(KEY_OK);  // layout
                QCOMPARE(last_opened(), P(PAGE_IMAGELAYOUT, PAGE_OPTION));
                keys(KEY_LEFT, 2);  // wraps to the last row: advanced
                QCOMPARE(g_option->ui_select_index(), 5);
                key(KEY_OK);
            },
            [] {
                QVERIFY(g_advancedoption);
                QCOMPARE(int(g_page_focus), int(PAGE_ADVANCEDOPTION));
                QCOMPARE(g_advancedoption->row_count(), 5);
                shot("advancedoption");
                key(KEY_OK);
                QCOMPARE(last_opened(), P(PAGE_LCDSHOW, PAGE_ADVANCEDOPTION));
                keys(KEY_RIGHT, 3);
                key(KEY_OK);
                QCOMPARE(last_opened(), P(PAGE_FACTORY, PAGE_ADVANCEDOPTION));
                key(KEY_BACK);
            },
            [] {
                QVERIFY(!g_advancedoption);
                QCOMPARE(int(g_page_focus), int(PAGE_OPTION));
                keys(KEY_RIGHT, 3);  // wraps over crop and layout to output
                key(KEY_OK);
            },
            [] {
                QVERIFY(g_outputset);
                QCOMPARE(int(g_page_focus), int(PAGE_OUTPUTSET));
                shot("outputset");
                key(KEY_RIGHT);
                key(KEY_OK);
                QCOMPARE(last_opened(), P(PAGE_NETSET, PAGE_OUTPUTSET));
                key(KEY_BACK);
            },
            [] {
                key(KEY_RIGHT);
                key(KEY_OK);
            },
            [] {
                QCOMPARE(int(g_page_focus), int(PAGE_IMAGEQUALITY));
                QVERIFY(g_imagequality);
                shot("imagequality");
                key(KEY_OK);
                QCOMPARE(last_opened(), P(PAGE_QUALITY, PAGE_IMAGEQUALITY));
                key(KEY_BACK);
            },
            [] {
                key(KEY_RIGHT);
                key(KEY_OK);
            },
            [] {
                QCOMPARE(int(g_page_focus), int(PAGE_LINKOPTION));
                shot("linkoption");
                key(KEY_LEFT);
                key(KEY_OK);
                QCOMPARE(last_opened(), P(PAGE_LINKWLAN, PAGE_LINKOPTION));
                key(KEY_BACK);
            },
            [] {
                QVERIFY(!g_linkoption && !g_imagequality && !g_outputset);
                key(KEY_BACK);
            },
            [] {
                QVERIFY(!g_option);
                QCOMPARE(int(g_page_focus), int(PAGE_MAINWINDOW));
                key(KEY_RIGHT);  // device information
                key(KEY_OK);
            },
            [] {
                QVERIFY(g_machinestate);
                QCOMPARE(int(g_page_focus), int(PAGE_MACHINESTATE));
                shot("machinestate");
                key(KEY_BACK);
            },
            [] {
                QVERIFY(!g_machinestate);
                key(KEY_BACK);
                QCOMPARE(int(g_page_focus), int(PAGE_LOCKWINDOW));
                QVERIFY(g_lockwindow->isVisible());
            },
        });
    }

    // A row leads somewhere or is not there: rows of pages this device lacks are left out,
    // a menu whose pages are all missing loses its row, and the keys wrap over what is shown.
    void rowsOfMissingPagesAreLeftOut()
    {
        for (PageFocusId id : {PAGE_LEDSET, PAGE_NETSET, PAGE_INPUTCUT})
            register_opener(id, nullptr);
        {
            Option option;
            QCOMPARE(option.row_count(), 4);
            QVERIFY(option.row_button("Button_outputset")->isHidden());
            option.show();
            QCOMPARE(option.current_row(), static_cast<QWidget*>(option.row_button("image_layout")));
            QKeyEvent left(QEvent::KeyRelease, KEY_LEFT, Qt::NoModifier);
            QCoreApplication::sendEvent(&option, &left);
            QCOMPARE(option.current_row(), static_cast<QWidget*>(option.row_button("Button_advanced")));
        }
        for (PageFocusId id : kAllPages)
            register_opener(id, nullptr);
        g_mainwindow->refresh_rows();
        QCOMPARE(g_mainwindow->row_count(), 5);  // user modes, device information and the three toggles
        QVERIFY(g_mainwindow->row_button("Button_option")->isHidden());
        QVERIFY(g_mainwindow->row_button("Button_inputchoose")->isHidden());
        shot("mainwindow_no_pages");
        for (PageFocusId id : kAllPages)
            register_stand_in(id);
        g_mainwindow->refresh_rows();
        QCOMPARE(g_mainwindow->row_count(), 8);
    }

    // A press only logs; keys that are no panel keys do nothing.
    void pressAloneDoesNothing()
    {
        key(KEY_OK);
        QCOMPARE(int(g_page_focus), int(PAGE_MAINWINDOW));
        const int row = g_mainwindow->ui_select_index();
        QKeyEvent press(QEvent::KeyPress, KEY_RIGHT, Qt::NoModifier);
        QCoreApplication::sendEvent(g_mainwindow, &press);
        QKeyEvent other(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier);
        QCoreApplication::sendEvent(g_mainwindow, &other);
        QCOMPARE(g_mainwindow->ui_select_index(), row);
        QCOMPARE(int(g_page_focus), int(PAGE_MAINWINDOW));
        key(KEY_BACK);
    }

    // On the simulated board a PC keyboard works the panel too; other keys stay ignored.
    void pcKeyboardActsAsPanelKeysOnSim()
    {
        QCOMPARE(int(g_sim_keyboard), 1);
        send_panel_key(Qt::Key_Return);
        QCOMPARE(int(g_page_focus), int(PAGE_MAINWINDOW));
        const int row = g_mainwindow->ui_select_index();
        send_panel_key(Qt::Key_Right);
        QCOMPARE(g_mainwindow->ui_select_index(), (row + 1) % 8);
        send_panel_key(Qt::Key_Left);
        QCOMPARE(g_mainwindow->ui_select_index(), row);
        send_panel_key(Qt::Key_Escape);
        QCOMPARE(int(g_page_focus), int(PAGE_LOCKWINDOW));
        QCOMPARE(panel_key_from_name("F4"), int(KEY_LEFT));
        QCOMPARE(panel_key_from_name("BACK"), int(KEY_BACK));
        QCOMPARE(panel_key_from_name("F7"), 0);
    }

    // A key written to the key pipe before a dump request shows in the dump, however late the
    // pipe's own reader is.
    void dumpServesTheKeysWrittenBeforeIt()
    {
        hold_key_pipe_reader(true);
        const int fd = ::open(root_.file("sim/keys").c_str(), O_WRONLY | O_NONBLOCK);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, "F6\n", 3), ssize_t(3));
        ::close(fd);
        std::atomic<bool> dumped{false};
        std::thread watcher([&] {  // as the board's watcher serves a dump request
            board_->dump_state();
            dumped = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(dumped.load(), 10000);
        watcher.join();
        hold_key_pipe_reader(false);
        std::ifstream f(root_.file("sim/state/panel.json"));
        const std::string panel((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        QVERIFY2(panel.find("\"page_focus\":1") != std::string::npos, panel.c_str());
        QTRY_COMPARE(int(g_page_focus), int(PAGE_MAINWINDOW));
    }

    void lockRefusesTheOpenersOfMainWindow()
    {
        g_opened.clear();
        g_mainwindow->on_panellock_clicked();
        QCOMPARE(image_u16(ram_panel_lock), u16(1));
        QCOMPARE(int(c331_shared::param_changed), 1);
        QCOMPARE(int(g_mainwindow->l_lock_state), 1);
        g_mainwindow->on_inputchoose_clicked();
        g_mainwindow->on_option_clicked();  // would block in its modal loop if it opened
        g_mainwindow->on_usermode_popup_clicked();
        QVERIFY(g_opened.empty());
        QVERIFY(!g_option);
        QVERIFY(!g_mainwindow->popup_open());
        shot("mainwindow_locked");
        g_mainwindow->on_panellock_clicked();
        QCOMPARE(int(g_mainwindow->l_lock_state), 0);
        g_mainwindow->on_inputchoose_clicked();
        QCOMPARE(g_opened.size(), size_t(1));
    }

    void togglesWriteTheImageUnderTheFlag()
    {
        image()[ram_selected_window] = 9;  // out of range: window 0
        const u32 audio = ram_window_addr(0, WIN_AUDIO);
        put_u16(image(), audio, 0);
        g_mainwindow->on_audio_clicked();
        QCOMPARE(get_u16(image(), audio), u16(0x80FF));
        g_mainwindow->on_audio_clicked();
        QCOMPARE(get_u16(image(), audio), u16(0));
        const u16 black = image_u16(ram_black_screen);
        g_mainwindow->on_blackscreen_clicked();
        QCOMPARE(image_u16(ram_black_screen), u16(black == 1 ? 0 : 1));
        QCOMPARE(int(c331_shared::param_changed), 1);
        g_mainwindow->on_blackscreen_clicked();
    }

    void tipHidesAfter200Ticks()
    {
        bool returned = false;
        Steps().run({
            [&] {
                g_tip->tip_create(1);
                returned = true;
            },
            [&] {
                QVERIFY(g_tip->isVisible());
                QCOMPARE(int(g_tip_flag), 1);
                shot("tip");
                ticks(TIP::kTicks - 1);
                QVERIFY(g_tip->isVisible());
                QVERIFY(!returned);
                ticks(1);
                QCOMPARE(int(g_tip_flag), 0);
            },
        });
        QVERIFY(returned);
        QVERIFY(!g_tip->isVisible());
    }

    // Asked for while the GUI thread holds the scaler lock, the tip waits until it is released.
    void tipNeverRunsUnderTheScalerLock()
    {
        bool was_free_when_shown = false;
        Steps().run({
            [] { PageFrame::apply(1, [](u8*) { g_tip->tip_create(1); }); },
            [] {},  // the deferred tip comes after this turn
            [&] {
                QVERIFY(g_tip->isVisible());
                was_free_when_shown = c331_shared::c331_lock.tryLock();
                if (was_free_when_shown)
                    c331_shared::c331_lock.unlock();
                ticks(TIP::kTicks);
            },
        });
        QVERIFY(was_free_when_shown);
        QVERIFY(!g_tip->isVisible());
    }

    // Nothing waits to be written: the image is in the file, no EEPROM write is asked for.
    static void settle_writes()
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        c331_shared::param_changed = 0;
        std::memcpy(TlxRamPara::p_tlxrampara_config->ram_shadow, image(), RAM_IMAGE_SIZE);
    }

    void rebootRunsOnce300TicksAfterTheFlag()
    {
        settle_writes();
        reboots_.clear();
        G_reboot_tickTicks = G_timeTicks.load();
        g_app_reset_flag = 1;
        ticks(299);
        QVERIFY(reboots_.empty());
        ticks(1);
        QCOMPARE(reboots_.size(), size_t(1));
        ticks(500);
        QCOMPARE(reboots_.size(), size_t(1));
        g_app_reset_flag = 0;
    }

    // A change not yet in the parameter file or an EDID EEPROM write under way holds the
    // reboot until it is done, for at most 5 s more.
    void rebootWaitsForPendingWritesAtMostFiveSeconds()
    {
        auto tick = [](bool& sent, int n) {
            bool ran = false;
            for (int i = 0; i < n; ++i) {
                ++G_timeTicks;
                ran = MainWindow::reboot_check(sent) || ran;
            }
            return ran;
        };
        reboots_.clear();
        for (bool finishes : {true, false}) {
            settle_writes();
            bool sent = false;
            scaler_req::eeprom_writing = 1;
            G_reboot_tickTicks = G_timeTicks.load();
            g_app_reset_flag = 1;
            QVERIFY(!tick(sent, 400));
            if (finishes) {
                scaler_req::eeprom_writing = 0;
                QVERIFY(tick(sent, 1));
            } else {
                QVERIFY(!tick(sent, 399));
                QVERIFY(tick(sent, 1));
            }
            scaler_req::eeprom_writing = 0;
            g_app_reset_flag = 0;
        }
        // A change waiting for the apply pass, then for the parameter file.
        settle_writes();
        bool sent = false;
        c331_shared::param_changed = 1;
        G_reboot_tickTicks = G_timeTicks.load();
        g_app_reset_flag = 1;
        QVERIFY(!tick(sent, 350));
        {
            QMutexLocker lk(&c331_shared::c331_lock);
            c331_shared::param_changed = 0;
            image()[ram_edid_para] ^= 1;
        }
        QVERIFY(!tick(sent, 50));
        settle_writes();
        QVERIFY(tick(sent, 1));
        g_app_reset_flag = 0;
        QCOMPARE(reboots_.size(), size_t(3));
    }

    // With the board's own reboot the process ends with status 3.
    void rebootEndsTheProcessWithStatus3()
    {
        const pid_t pid = fork();
        QVERIFY(pid >= 0);
        if (pid == 0) {
            board_->sim_shell().set_reboot_action(nullptr);
            sim::SimBoard::install_for_test(root_.path()).release();
            G_reboot_tickTicks = G_timeTicks.load();
            g_app_reset_flag = 1;
            bool sent = false;
            for (int i = 0; i < 300; ++i) {
                ++G_timeTicks;
                MainWindow::reboot_check(sent);
            }
            _exit(0);
        }
        int status = 0;
        QCOMPARE(waitpid(pid, &status, 0), pid);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 3);
    }

    void modeFileWriteBytesAndOsdCopy()
    {
        for (u32 a = RAM_MODE_BASE; a < RAM_IMAGE_SIZE; ++a)
            image()[a] = static_cast<u8>(a * 7);
        put_u16(image(), ram_osd_enable, 1);
        // A fresh data partition without the mode folder: the mode and its menu's copy are saved.
        QDir(QString::fromStdString(root_.file("data/modes"))).removeRecursively();
        std::ofstream(root_.file("data/configs/omenu.json")) << R"({"osdcount": 0})";
        QCOMPARE(g_mainwindow->mode_file_write(9, 0), 1);
        const std::string bytes = testutil::read_file(root_.file("data/modes/custom_mode10"));
        QCOMPARE(bytes.size(), size_t(4096));
        QCOMPARE(u8(bytes[0]), u8(0xAA));
        QCOMPARE(u8(bytes[1]), u8(0xAA));
        QVERIFY(std::memcmp(bytes.data() + 2, image() + RAM_MODE_BASE, RAM_MODE_LEN) == 0);
        QCOMPARE(testutil::read_file(root_.file("data/modes/MO0a.json")), std::string(R"({"osdcount": 0})"));
        QCOMPARE(count_in_history("cp  /data/configs/omenu.json /data/modes/MO0a.json.tmp"), 1);
        QCOMPARE(shell_history().back(), std::string("sync"));
        // From the persistence slot: no OSD copy.
        QCOMPARE(g_mainwindow->mode_file_write(9, 1), 1);
        QCOMPARE(count_in_history("cp  /data/configs/omenu.json /data/modes/MO0a.json.tmp"), 1);
        // A write that cannot complete reports 0 and leaves the saved mode and its menu's copy
        // as they were, though the menu changed meanwhile.
        QDir().mkpath(QString::fromStdString(root_.file("data/modes/custom_mode10.tmp")));
        image()[RAM_MODE_BASE] ^= 0xFF;
        std::ofstream(root_.file("data/configs/omenu.json")) << R"({"osdcount": 0, "name": "new"})";
        QCOMPARE(g_mainwindow->mode_file_write(9, 1), 0);
        QCOMPARE(g_mainwindow->mode_file_write(9, 0), 0);
        QCOMPARE(testutil::read_file(root_.file("data/modes/custom_mode10")), bytes);
        QCOMPARE(testutil::read_file(root_.file("data/modes/MO0a.json")), std::string(R"({"osdcount": 0})"));
        QVERIFY(!testutil::file_exists(root_.file("data/modes/MO0a.json.tmp")));
        QDir().rmdir(QString::fromStdString(root_.file("data/modes/custom_mode10.tmp")));
        // A menu that cannot be copied beside the mode: the mode is not saved either.
        std::ofstream(root_.file("data/configs/omenu.json")) << "{}";
        std::ofstream(root_.file("sim/board.json")) << R"({"write_fail": ["/data/modes/MO0a.json.tmp"]})";
        board_->poll();
        QCOMPARE(g_mainwindow->mode_file_write(9, 0), 0);
        QCOMPARE(testutil::read_file(root_.file("data/modes/custom_mode10")), bytes);
        std::ofstream(root_.file("sim/board.json")) << "{}";
        board_->poll();
        std::remove(root_.file("data/configs/omenu.json").c_str());
        put_u16(image(), ram_osd_enable, 0);
        QCOMPARE(g_mainwindow->mode_file_write(16, 0), 0);
        QCOMPARE(g_mainwindow->mode_file_write(-1, 0), 0);
        QVERIFY(!testutil::file_exists(root_.file("data/modes/custom_mode17")));
    }

    void userModeSaveAndRecallThroughThePopup()
    {
        TlxRamPara* store = TlxRamPara::p_tlxrampara_config;
        g_mode_select = 0;
        put_u16(image(), ram_mode_save_request, 0);
        std::memcpy(store->ram_shadow, store->ram_image, RAM_IMAGE_SIZE);
        Steps().run({
            [] {
                key(KEY_OK);  // home -> main window
                while (g_mainwindow->ui_select_index() != 1)  // user modes
                    key(KEY_RIGHT);
                key(KEY_OK);
                QVERIFY(g_mainwindow->popup_open());
                keys(KEY_RIGHT, 2);
                QCOMPARE(int(g_mode_select), 2);
                keys(KEY_LEFT, 3);  // wraps to mode 16
                QCOMPARE(int(g_mode_select), 15);
                keys(KEY_RIGHT, 3);
                shot("usermode_popup");
                key(KEY_OK);  // to the actions
                key(KEY_OK);  // save
                QVERIFY(!g_mainwindow->popup_open());
                QCOMPARE(image_u16(ram_mode_save_request), u16(3));
                QCOMPARE(int(c331_shared::param_changed), 1);
            },
            [] {
                // What the apply pass's signal brings: the save, the file, then the tip.
                c331_shared::param_changed = 0;
                SyncUpdate::pInstance()->para_sync(1);
            },
            [] {},
            [] {
                QVERIFY(g_tip->isVisible());
                ticks(TIP::kTicks);
            },
        });
        QVERIFY(store->TlxUserModeSaved(2));
        QCOMPARE(image_u16(ram_current_mode), u16(3));
        QVERIFY(testutil::file_exists(root_.file("data/modes/custom_mode3")));
        QVERIFY(!g_mainwindow->tip_pending);

        // Recall slot 6 (index 5) holding a pattern of its own.
        std::memset(store->mode_slot[5].bytes, 0x5C, MODE_SLOT_SIZE);
        store->mode_slot[5].bytes[0] = store->mode_slot[5].bytes[1] = 0xAA;
        std::memset(store->mode_slot[7].bytes, 0xFF, 2);  // empty
        Steps().run({
            [&] {
                g_mode_select = 7;
                g_mainwindow->on_usermode_popup_clicked();
                // A tool saves, then deletes, the slot shown: the popup follows.
                QLabel* slot_label = g_mainwindow->findChild<QLabel*>("label_mode_slot");
                store->mode_slot[7].bytes[0] = store->mode_slot[7].bytes[1] = 0xAA;
                SyncUpdate::pInstance()->para_sync(1);
                QVERIFY(slot_label->text().endsWith("(saved)"));
                std::memset(store->mode_slot[7].bytes, 0xFF, 2);
                SyncUpdate::pInstance()->para_sync(1);
                QVERIFY(slot_label->text().endsWith("(empty)"));
                key(KEY_OK);
                key(KEY_RIGHT);  // recall
                key(KEY_OK);
                QVERIFY(!g_mainwindow->tip_pending);  // empty slot: nothing recalled
                g_mode_select = 5;
                c331_shared::param_changed = 0;
                g_mainwindow->on_usermode_popup_clicked();
                key(KEY_OK);
                key(KEY_RIGHT);
                shot("usermode_popup_actions");
                key(KEY_OK);
                QCOMPARE(int(c331_shared::param_changed), 1);
                QCOMPARE(image()[0x400], u8(0x5C));
                QCOMPARE(image_u16(ram_current_mode), u16(6));
                QVERIFY(g_mainwindow->tip_pending);
                g_mainwindow->take_pending_tip();
                key(KEY_BACK);
            },
        });
    }

    void language7IsEnglishAndChangesReachOpenMenus()
    {
        TlxRamPara* store = TlxRamPara::p_tlxrampara_config;
        g_language = 7;
        Steps().run({
            [] {
                key(KEY_OK);
                g_mainwindow->on_option_clicked();
            },
            [store] {
                QVERIFY(g_option);
                QCOMPARE(g_option->row_button("Button_outputset")->text(), QString("Output"));
                // A remote or factory change of the language word, refreshed while the menu is open.
                store->ram_image[ram_language] = 2;
                store->ram_image[ram_language + 1] = 0;
                store->ram_shadow[ram_language] = 1;
                g_numberkeyboard->label_show("W", "1");
                g_numberkeyboard->show();  // a keypad open over the page follows as well
                QVERIFY(page_registry::call(PAGE_OPTION));
                QCOMPARE(g_numberkeyboard->findChild<QPushButton*>("key_close")->text(), QString::fromUtf8("Закр."));
                g_numberkeyboard->hide();
                QCOMPARE(int(g_language), 2);
                QCOMPARE(g_option->row_button("Button_outputset")->text(), QString::fromUtf8("Выход"));
                shot("option_russian");
                key(KEY_BACK);
                // The parent follows on return.
                QCOMPARE(g_mainwindow->row_button("Button_option")->text(), QString::fromUtf8("Меню"));
                g_language = 3;
                g_mainwindow->language_changed();
                shot("mainwindow_vietnamese");
                g_language = 0;
                g_mainwindow->language_changed();
                shot("mainwindow_chinese");
                key(KEY_BACK);
            },
        });
        store->ram_image[ram_language] = 1;
        std::memcpy(store->ram_shadow, store->ram_image, RAM_IMAGE_SIZE);
    }

    void agingCountersOverAWrapOfRegister43()
    {
        {
            QMutexLocker lk(&factoryage_log_mutex());
            factoryage_log.clear();
        }
        factoryage_log_diff3 = factoryage_log_diff5 = factoryage_log_diff10 = 0;
        factoryage_log_diff20 = factoryage_log_diffmore = 0;
        for (int r43 : {250, 252, 255, 4, 4, 30, 45})
            agelog_append("01-02 03:04", 1, 2, r43);
        QCOMPARE(factoryage_log_diff3, u32(1));     // 250 -> 252
        QCOMPARE(factoryage_log_diff5, u32(1));     // 252 -> 255
        QCOMPARE(factoryage_log_diff10, u32(1));    // 255 -> 4 across the wrap: 5
        QCOMPARE(factoryage_log_diffmore, u32(1));  // 4 -> 30
        QCOMPARE(factoryage_log_diff20, u32(1));    // 30 -> 45
        QCOMPARE(factoryage_log.front(), QString("01-02 03:04 1 2 250"));
        QCOMPARE(factoryage_log_num, 7);
        for (int i = 0; i < kAgeLogMax - 5; ++i)
            agelog_append("01-02 03:05", 1, 2, 45);
        QCOMPARE(factoryage_log.size(), size_t(kAgeLogMax));
        QCOMPARE(factoryage_log_num, kAgeLogMax);
        QCOMPARE(factoryage_log.front(), QString("01-02 03:04 1 2 255"));  // the two oldest went first
    }

    void agingSampleTakenByTheTickOnlyWhenQuiet()
    {
        g_age_probe.fpga_running = [] { return true; };
        g_age_probe.read_regs = [](int& r40, int& r42, int& r43) {
            r40 = 40, r42 = 42, r43 = 43;
            return true;
        };
        ticks(MainWindow::kAgingTicks);  // whatever the phase, a sample is due now
        const size_t before = factoryage_log.size();
        const QString last = factoryage_log.back();
        pc_cmd_valid = 1;
        ticks(MainWindow::kAgingTicks);
        QCOMPARE(factoryage_log.back(), last);
        pc_cmd_valid = 0;
        ticks(1);
        QVERIFY(factoryage_log.back().endsWith(" 42 40 43"));
        QVERIFY(factoryage_log.size() >= before);
        g_age_probe = AgeProbe{};
    }

    // The panel has no idle time-out: a menu left alone for 400 s (with the LCD page's times at
    // their defaults) stays open and the panel stays unlocked.
    void pageStaysOpenWithoutKeys()
    {
        g_back_to_mainwindow_time = 3000;
        g_auto_lock_time = 30000;
        Steps().run({
            [] {
                key(KEY_OK);
                g_mainwindow->on_option_clicked();
            },
            [] {
                QVERIFY(g_option);
                ticks(40000);
                QVERIFY(g_option);
                QCOMPARE(int(g_page_focus), int(PAGE_OPTION));
                QCOMPARE(image_u16(ram_panel_lock), u16(0));
                QCOMPARE(int(g_mainwindow->l_lock_state), 0);
                g_mainwindow->go_home();
            },
        });
        QVERIFY(!g_option);
    }

    void keypadByKeysAndClose()
    {
        QStringList got;
        auto link = connect(g_numberkeyboard, &NumberKeyboard::sendKeyBoardUIDataToLineEdit,
                            [&got](const QString& t) { got << t; });
        Steps().run({
            [] {
                g_numberkeyboard->label_show("Width", "1920");
                g_numberkeyboard->exec();
            },
            [] {
                QCOMPARE(g_numberkeyboard->line_text(), QString("1920"));
                key(KEY_RIGHT);  // "2"
                key(KEY_OK);
                key(KEY_LEFT);
                key(KEY_OK);  // "1"
                QCOMPARE(g_numberkeyboard->line_text(), QString("21"));
                shot("keypad");
                key(KEY_LEFT);  // wraps to the last key: OK
                key(KEY_OK);
            },
            [] {
                g_numberkeyboard->label_show("Width", "77");
                g_numberkeyboard->exec();
            },
            [] {
                g_numberkeyboard->press("5");
                key(KEY_BACK);  // closes without the signal
            },
        });
        disconnect(link);
        QCOMPARE(got, QStringList{"21"});
        QVERIFY(!g_numberkeyboard->isVisible());
    }

    void agingLogAccessCode()
    {
        g_opened.clear();
        Steps().run({
            [] {
                key(KEY_OK);
                g_mainwindow->on_option_clicked();
            },
            [] { g_option->on_Button_advanced_clicked(); },
            [] { g_advancedoption->on_Button_age_clicked(); },
            [] {
                for (const char* k : {"1", "2", "3", "4", "ok"})
                    g_numberkeyboard->press(k);
            },
            [] {
                // A wrong code: back on the menu with a short tip, whole in every language.
                for (int lang = 0; lang < 4; ++lang) {
                    g_language = static_cast<u8>(lang);
                    g_advancedoption->language_changed();
                    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
                    QVERIFY(!g_advancedoption->tip_text().isEmpty());
                    QVERIFY(!textfit::elided(g_advancedoption->findChild<QLabel*>("label_tip")));
                    shot(qPrintable(QString("advanced_wrong_code_%1").arg(lang)));
                }
                g_language = 1;
                g_advancedoption->language_changed();
                key(KEY_RIGHT);  // the next key takes it away
                QVERIFY(g_advancedoption->tip_text().isEmpty());
                g_advancedoption->on_Button_age_clicked();
            },
            [] {
                for (const char* k : {"5", "7", "3", "8", "ok"})
                    g_numberkeyboard->press(k);
            },
            [] { g_mainwindow->go_home(); },
        });
        QCOMPARE(g_opened, (std::vector<std::pair<int, int>>{{PAGE_FACTORYAGE, PAGE_ADVANCEDOPTION}}));
    }

    void updateSplashFollowsTheFlag()
    {
        g_update_flag = 1;
        ticks(3);
        QWidget* splash = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->inherits("UpdateSplash"))
                splash = w;
        QVERIFY(splash && splash->isVisible());
        shot("update_splash");
        g_update_flag = 0;
        ticks(1);
        QVERIFY(!splash->isVisible());
    }

    void homeScreenShowsSizeCardsAndSignals()
    {
        put_u16(image(), ram_led_width, 3840);
        put_u16(image(), ram_led_height, 1080);
        put_u16(image(), ram_brightness, 50);
        put_u16(image(), ram_contrast, 60);
        for (int w = 0; w < 6; ++w) {
            put_u16(image(), ram_window_addr(w, WIN_ENABLE), w != 2);
            put_u16(image(), ram_window_addr(w, WIN_SOURCE), u16(w));
        }
        put_u16(image(), ram_window_addr(1, WIN_SOURCE), 3);
        for (int k = 0; k < 3; ++k)
            put_u16(image(), ram_input_timing + 6 * 2 + 2 * k, u16(k == 0 ? 1920 : k == 1 ? 1080 : 60));
        g_lockwindow->syncUpdate();
        QVERIFY(g_lockwindow->card_text(1).endsWith("HDMI2"));
        QVERIFY(g_lockwindow->card_text(2).endsWith("off"));
        put_u16(image(), ram_window_addr(3, WIN_SOURCE), u16(WIN_SOURCE_CROP | 7));
        put_u16(image(), ram_crop_addr(7, CROP_KEY), 0x8204);  // HDMI3's crop 3
        QVERIFY(g_lockwindow->card_text(3).endsWith("HDMI3 C3"));
        put_u16(image(), ram_crop_addr(7, CROP_KEY), 0);  // deleted: the row names no crop
        QVERIFY(g_lockwindow->card_text(3).endsWith("EXT"));
        put_u16(image(), ram_window_addr(3, WIN_SOURCE), 3);
        g_lockwindow->syncUpdate();
        shot("home_filled");
        QVERIFY(MachineState::has_signal(2));
        QVERIFY(!MachineState::has_signal(3));
        put_u16(image(), ram_input_timing + 6 * 2 + 4, 0);  // no refresh: no signal
        QVERIFY(!MachineState::has_signal(2));
    }

    // The timer only wakes the panel: each timeout runs the ticks due by the device's clock.
    // At scales 1, 20 and 100 the timer fires every 10, 1 and 1 real ms, that is every 10, 20
    // and 100 ms of device time; every fifth timeout comes three periods late (a busy panel
    // thread). Ten device seconds are 1000 ticks at every scale, and a 5 s stall runs only
    // the bounded catch-up, not 500 ticks at once.
    void panelTickFollowsTheClockAtEveryScale()
    {
        platform::VirtualClock clock(platform::clock().now_us());
        platform::set_clock(&clock);
        struct RealClockAgain {
            ~RealClockAgain() { platform::set_clock(nullptr); }  // also when a comparison fails
        } restore;
        auto timeout = [&](uint64_t after_us) {
            clock.advance_us(after_us);
            QMetaObject::invokeMethod(g_timer, "timeout");
            return G_timeTicks.load();
        };
        timeout(0);  // what the stopped timer missed is dropped here
        for (uint64_t scale : {1, 20, 100}) {
            const uint64_t period_us = uint64_t(PanelTick::timer_interval_ms(scale)) * scale * 1000;
            const u32 start = G_timeTicks.load();
            uint64_t elapsed_us = 0;
            for (int event = 1; elapsed_us < 10000000; ++event) {
                const uint64_t step = event % 5 == 0 ? 4 * period_us : period_us;
                elapsed_us += step;
                timeout(step);
            }
            QCOMPARE(G_timeTicks.load() - start, u32(elapsed_us / 10000));
        }
        const u32 before = G_timeTicks.load();
        const u32 bounded = PanelTick(0, 1).max_catch_up();
        QCOMPARE(timeout(5000000) - before, bounded);
        QCOMPARE(timeout(10000) - before, bounded + 1);

        // A stall is made up in full up to half a second of real time at the time scale (at
        // scale 100, 50 s of device time), and bounded beyond.
        for (uint64_t scale : {1, 20, 100}) {
            PanelTick t(0, scale);
            const uint64_t bound_us = PanelTick::kCatchUpRealUs * scale;
            QCOMPARE(t.due(bound_us), u32(bound_us / PanelTick::kTickUs));
            QCOMPARE(t.due(2 * bound_us + 15000), t.max_catch_up());
            QCOMPARE(t.due(2 * bound_us + 25000), 1u);
        }

        // A restart requested while the panel thread is stalled (or before its first timer
        // event) counts its 3 s from the request, not from the ticks made up for the time before
        // it, nor from those dropped after a stall beyond the bound (the request read first, as
        // the panel thread resumes).
        settle_writes();
        for (uint64_t scale : {1, 20, 100})
            for (const uint64_t stall_us : {uint64_t(300000), 2 * PanelTick::kCatchUpRealUs * scale + 10000}) {
                const uint64_t period_us = uint64_t(PanelTick::timer_interval_ms(scale)) * scale * 1000;
                tick_schedule(0, 0);  // no panel tick yet, as before the panel starts
                PanelTick t(clock.now_us(), scale);
                bool sent = false, rebooted = false;
                clock.advance_us(stall_us);
                G_reboot_tickTicks = request_tick();
                g_app_reset_flag = 1;
                uint64_t after_us = 0;
                while (!rebooted && after_us < 5000000) {
                    after_us += period_us;
                    clock.advance_us(period_us);
                    t.run(clock.now_us(), [&] {
                        advance_tick();
                        rebooted = MainWindow::reboot_check(sent) || rebooted;
                    });
                }
                g_app_reset_flag = 0;
                // Beyond the bound the panel resumes a timer period after the request.
                const uint64_t late_us = stall_us > PanelTick::kCatchUpRealUs * scale ? period_us : 0;
                QVERIFY2(after_us >= 3000000 && after_us <= 3000000 + late_us,
                         qPrintable(QString("scale %1, stall %2 us: %3 us").arg(scale).arg(stall_us).arg(after_us)));
            }
    }
};

QTEST_MAIN(UiShellTest)
#include "ui_shell_test.moc"
