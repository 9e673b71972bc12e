#include "ui/shell/page_open.h"

#include <map>

#include "core/log.h"
#include "ui/shell/MainWindow.h"

namespace {
std::map<int, PageOpener>& openers()
{
    static std::map<int, PageOpener> m;
    return m;
}
}  // namespace

void register_opener(PageFocusId id, PageOpener fn) { openers()[id] = std::move(fn); }

bool has_opener(PageFocusId id)
{
    auto it = openers().find(id);
    return it != openers().end() && it->second;
}

bool open_registered(PageFocusId id, PageFrame* parent)
{
    auto it = openers().find(id);
    if (it == openers().end() || !it->second) {
        writeLogMsg(LOG_WARNING, "front panel: no page with id " + std::to_string(id));
        return false;
    }
    it->second(parent);
    return true;
}

void place_page(QWidget* page)
{
    if (g_mainwindow)
        page->move(g_mainwindow->pos());
}
