#include "ui/shell/panel_io.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QPainter>
#include <cerrno>
#include <cstdio>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "core/log.h"
#include "platform/paths.h"
#include "platform/thread_name.h"
#include "ui/shell/LockWindow.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/NumberKeyboard.h"
#include "ui/shell/PageFrame.h"
#include "ui/shell/TIP.h"
#include "ui/shell/panel_keys.h"

QWidget* panel_key_target()
{
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    // A page shown without a modal loop (the user-mode list) has the keys while it is on top.
    const auto& open = PageFrame::open_pages();
    for (auto it = open.rbegin(); it != open.rend(); ++it)
        if ((*it)->isVisible())
            return *it;
    if (g_lockwindow && g_lockwindow->isVisible())
        return g_lockwindow;
    return g_mainwindow;
}

void send_panel_key(int qt_key)
{
    QWidget* target = panel_key_target();
    if (!target)
        return;
    QKeyEvent press(QEvent::KeyPress, qt_key, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
    // The press may have closed the target; look again.
    target = panel_key_target();
    if (!target)
        return;
    QKeyEvent release(QEvent::KeyRelease, qt_key, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &release);
}

int panel_key_from_name(const std::string& name)
{
    if (name == "F4")
        return KEY_LEFT;
    if (name == "F5")
        return KEY_RIGHT;
    if (name == "F6")
        return KEY_OK;
    if (name == "BACK")
        return KEY_BACK;
    return 0;
}

QImage grab_panel()
{
    QImage img(320, 240, QImage::Format_RGB32);
    img.fill(QColor(16, 16, 28));
    QPainter p(&img);
    const QPoint origin = g_mainwindow ? g_mainwindow->pos() : QPoint(0, 0);
    auto draw = [&](QWidget* w) {
        if (w && w->isVisible())
            p.drawPixmap(w->pos() - origin, w->grab());
    };
    draw(g_mainwindow);
    draw(g_lockwindow);
    for (PageFrame* page : PageFrame::open_pages())
        draw(page);
    draw(g_numberkeyboard);
    draw(g_tip);
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->inherits("UpdateSplash"))
            draw(w);
    return img;
}

bool save_panel_png(const std::string& path)
{
    const QString target = QString::fromStdString(path);
    const QString tmp = target + ".tmp.png";
    if (!grab_panel().save(tmp, "PNG"))
        return false;
    return std::rename(tmp.toLocal8Bit().constData(), target.toLocal8Bit().constData()) == 0;
}

namespace {
// The pipe's reading end and the part of a line read so far. Whoever reads the pipe (its thread,
// or a dump about to be taken) holds the lock while it reads and hands the keys on, so the keys
// reach the GUI thread in the order written.
struct KeyPipe {
    std::mutex mu;
    int fd = -1;
    std::string line;
    std::atomic<bool> held{false};
};
KeyPipe& key_pipe()
{
    static KeyPipe p;
    return p;
}

// Reads what the pipe holds now, without waiting, and hands each line's key to the GUI thread.
void serve_locked(KeyPipe& p)
{
    char buf[64];
    for (;;) {
        const ssize_t n = ::read(p.fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;  // empty (the end is non-blocking)
        for (ssize_t i = 0; i < n; ++i) {
            if (buf[i] != '\n') {
                if (p.line.size() < 32)
                    p.line += buf[i];
                continue;
            }
            while (!p.line.empty() && (p.line.back() == '\r' || p.line.back() == ' '))
                p.line.pop_back();
            const int key = panel_key_from_name(p.line);
            if (key)
                QMetaObject::invokeMethod(qApp, [key] { send_panel_key(key); }, Qt::QueuedConnection);
            else if (!p.line.empty())
                writeLogMsg(LOG_WARNING, "key pipe: unknown key \"" + p.line + "\"");
            p.line.clear();
        }
    }
}

void key_pipe_loop()
{
    platform::name_this_thread("key-pipe");
    KeyPipe& p = key_pipe();
    for (;;) {
        pollfd pf{p.fd, POLLIN, 0};
        const int r = ::poll(&pf, 1, -1);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            break;
        while (p.held.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::lock_guard<std::mutex> lk(p.mu);
        serve_locked(p);
    }
}
}  // namespace

void serve_pending_keys()
{
    KeyPipe& p = key_pipe();
    std::lock_guard<std::mutex> lk(p.mu);
    if (p.fd >= 0)
        serve_locked(p);
}

void hold_key_pipe_reader(bool hold) { key_pipe().held = hold; }

void start_key_pipe()
{
    const std::string path = platform::rooted("/sim/keys");
    QDir().mkpath(QString::fromStdString(platform::rooted("/sim")));
    // The pipe takes its name only once its reader holds it open (read-write, so it never
    // reports end-of-file when a writer goes away): a tool that finds the pipe can write to it.
    const std::string fresh = path + ".new";
    ::unlink(fresh.c_str());
    if (::mkfifo(fresh.c_str(), 0600) != 0) {
        writeLogMsg(LOG_ERROR, "key pipe: cannot create " + path);
        return;
    }
    const int fd = ::open(fresh.c_str(), O_RDWR | O_NONBLOCK);
    if (fd < 0 || ::rename(fresh.c_str(), path.c_str()) != 0) {
        writeLogMsg(LOG_ERROR, "key pipe: cannot open " + path);
        if (fd >= 0)
            ::close(fd);
        ::unlink(fresh.c_str());
        return;
    }
    {
        std::lock_guard<std::mutex> lk(key_pipe().mu);
        key_pipe().fd = fd;
    }
    std::thread(key_pipe_loop).detach();
}
