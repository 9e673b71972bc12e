#include "ui/shell/shell_start.h"

#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <future>
#include <memory>

#include "platform/board.h"
#include "platform/virtual_clock.h"
#include "sim/sim_board.h"
#include "ui/shell/LockWindow.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/NumberKeyboard.h"
#include "ui/shell/PageFrame.h"
#include "ui/shell/TIP.h"
#include "ui/shell/panel_io.h"
#include "ui/shell/panel_tick.h"
#include "ui/shell/text_fit.h"

namespace {
// {"page_focus": n, "pages": [class names of the open pages, outermost first], "tip": bool},
// so a test can tell which page is on top and whether the tip holds the keys. Written through a temporary file, like the screen grab.
void save_panel_json(const std::string& path)
{
    QJsonArray pages;
    for (PageFrame* page : PageFrame::open_pages())
        pages.append(QString::fromLatin1(page->class_name()));
    QJsonObject o;
    o["page_focus"] = int(g_page_focus.load());
    o["pages"] = pages;
    o["tip"] = g_tip && g_tip->showing();
    const std::string tmp = path + ".tmp";
    QFile f(QString::fromStdString(tmp));
    if (!f.open(QIODevice::WriteOnly))
        return;
    f.write(QJsonDocument(o).toJson(QJsonDocument::Compact));
    f.close();
    std::rename(tmp.c_str(), path.c_str());
}

void start_sim_extras()
{
    g_sim_keyboard = 1;
    if (auto* sb = dynamic_cast<sim::SimBoard*>(&platform::board())) {
        // Called on the board's watcher thread: the grab itself must run on the GUI thread. The
        // board deletes the request file when the writers return, and a tool that waits for
        // that reads the files: so wait until the panel's are written. Bounded in real time, as
        // the watcher is: a panel thread busy for seconds leaves them late, not the board stuck.
        sb->add_dump_writer([](const std::string& state_dir) {
            serve_pending_keys();  // a key written before the request comes before the grab
            const std::string path = state_dir + "/screen.png";
            const std::string panel = state_dir + "/panel.json";
            auto written = std::make_shared<std::promise<void>>();
            std::future<void> done = written->get_future();
            QMetaObject::invokeMethod(qApp, [path, panel, written] {
                save_panel_json(panel);
                save_panel_png(path);
                written->set_value();
            }, Qt::QueuedConnection);
            done.wait_for(std::chrono::seconds(5));
        });
    }
    // Last: a tool takes the pipe's appearance as the sign that the panel can be driven and
    // dumped, so the panel's dump writer is in place before it.
    start_key_pipe();
}

// The time scale of the simulated board's clock (K57_TIME_SCALE); 1 on the real clock.
uint64_t time_scale()
{
    const auto* scaled = dynamic_cast<const platform::ScaledClock*>(&platform::clock());
    return scaled ? scaled->scale() : 1;
}
}  // namespace

void shell_start_gui()
{
    textfit::install();
    g_numberkeyboard = new NumberKeyboard(nullptr);
    g_tip = new TIP(nullptr);

    g_mainwindow = new MainWindow(nullptr);
    g_lockwindow = new LockWindow(nullptr);
    g_mainwindow->show();
    g_page_focus = PAGE_LOCKWINDOW;
    g_lockwindow->move(g_mainwindow->pos());
    g_lockwindow->show();
    g_lockwindow->raise();
    g_lockwindow->activateWindow();

    const QPoint o = g_mainwindow->pos();
    g_numberkeyboard->setGeometry(o.x() + 160, o.y(), 160, 240);

    g_timer = new QTimer();
    const PanelTick first(platform::clock().now_us(), time_scale());
    QObject::connect(g_timer, &QTimer::timeout, g_mainwindow, [tick = first]() mutable {
        tick.run(platform::clock().now_us(), [] { g_mainwindow->slot_update_timer_ticks(); });
    });
    g_timer->start(PanelTick::timer_interval_ms(time_scale()));

    if (std::strcmp(platform::board().name(), "sim") == 0)
        start_sim_extras();
}
