#pragma once
// Aids shared by the page tests: the board, the store and the shell windows set up and freed, steps
// queued inside whatever modal loop runs, panel keys, the GUI tick driven by the test, and a
// PNG of the panel under $K57_BUILD_DIR/ui_screens.
#include <QDir>
#include <QEventLoop>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/ConfigEngine.h"
#include "core/SyncUpdate.h"
#include "core/TlxRamPara.h"
#include "core/globals.h"
#include "sim/sim_board.h"
#include "ui/shell/LockWindow.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/NumberKeyboard.h"
#include "ui/shell/TIP.h"
#include "ui/shell/panel_io.h"
#include "ui/shell/shell_start.h"

namespace {

// The store as the device starts it: configuration, parameter image, and the image's changes
// handed to the sync that persists them.
inline void start_store()
{
    ConfigEngine::pInstance();
    TlxRamPara::pInstance();
    QObject::connect(TlxRamPara::p_tlxrampara_config, &TlxRamPara::sig_update_para, SyncUpdate::pInstance(),
                     &SyncUpdate::para_sync);
}

// The simulated board under `root` and the store started on it as on the device (console
// quiet), with the folders the mode and configuration files go to.
inline std::unique_ptr<sim::SimBoard> start_board_and_store(const std::string& root)
{
    auto board = sim::SimBoard::install_for_test(root);
    g_debugSwitch = 0;
    start_store();
    QDir().mkpath(QString::fromStdString(root + "/data/modes"));
    QDir().mkpath(QString::fromStdString(root + "/data/configs"));
    return board;
}

// The shell windows over the pages registered before; the tick stays stopped: the tests
// drive it.
inline void start_shell_windows()
{
    shell_start_gui();
    g_timer->stop();
}

// The device never frees its shell windows and tick; a test does, before the application goes
// away.
inline void delete_shell_windows()
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
}

// Runs the steps one per event-loop turn, inside whatever modal loop is running.
class Steps {
public:
    void run(std::vector<std::function<void()>> steps)
    {
        steps_ = std::move(steps);
        next_ = 0;
        QEventLoop loop;
        loop_ = &loop;
        QTimer::singleShot(0, [this] { step(); });
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [this] {
            next_ = steps_.size();
            if (g_tip && g_tip->isVisible())
                g_tip->done(0);
            g_tip_flag = 0;
            if (g_mainwindow)
                g_mainwindow->go_home();
            QFAIL("steps timed out");
        });
        guard.start(20000);
        loop.exec();
        loop_ = nullptr;
    }

private:
    void step()
    {
        if (next_ >= steps_.size()) {
            loop_->quit();
            return;
        }
        auto s = steps_[next_++];
        QTimer::singleShot(0, [this] { step(); });
        s();
    }
    std::vector<std::function<void()>> steps_;
    size_t next_ = 0;
    QEventLoop* loop_ = nullptr;
};

inline void key(int k) { send_panel_key(k); }
inline void keys(int k, int n)
{
    for (int i = 0; i < n; ++i)
        key(k);
}
inline void ticks(int n)
{
    for (int i = 0; i < n; ++i)
        g_mainwindow->slot_update_timer_ticks();
}
// The panel as it will be painted: texts changed in this step are fitted first.
inline void shot(const char* name)
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    const QByteArray dir = qgetenv("K57_BUILD_DIR");
    const QString out = (dir.isEmpty() ? QDir::currentPath() : QString::fromLocal8Bit(dir)) + "/ui_screens";
    QDir().mkpath(out);
    save_panel_png((out + "/" + name + ".png").toStdString());
}
inline u8* image() { return TlxRamPara::p_tlxrampara_config->ram_image; }

}  // namespace
