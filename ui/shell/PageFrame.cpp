#include "ui/shell/PageFrame.h"

#include <QAbstractButton>
#include <QDebug>
#include <QKeyEvent>
#include <algorithm>

#include "core/TlxRamPara.h"
#include "core/c331_shared.h"
#include "core/page_registry.h"
#include "ui/shell/NumberKeyboard.h"
#include "ui/shell/panel_keys.h"

namespace style {
const char* const menu_normal =
    "background-color: rgb(33, 36, 53) ; border:2px ;border-radius:10px;padding:2px 4px; color:rgb(255,255,255)";
const char* const menu_focus =
    "background-color: rgb(33, 36, 53); border:2px solid rgb(255,171,84);border-radius:10px;padding:2px 4px; color:rgb(255,255,255)";
const char* const row_normal =
    "color:rgb(255,255,255);\nbackground-color: rgb(33, 36, 53);\nborder:1px solid rgb(255, 255, 255);";
const char* const row_focus =
    "color:rgb(255,255,255);\nbackground-color: rgb(33, 36, 53);\nborder:1px solid rgb(255,171,84);";
const char* const row_edit =
    "color:rgb(255,255,255);\nbackground-color: rgb(33, 36, 53);\nborder:1px solid rgb(255,0,0);";
const char* const page = "color:rgb(255,255,255);\nbackground-color: rgb(16, 16, 28);";
}  // namespace style

namespace {
std::vector<PageFrame*>& stack()
{
    static std::vector<PageFrame*> s;
    return s;
}
thread_local bool t_holding_scaler_lock = false;
}  // namespace

PageFrame::PageFrame(const char* class_name, PageFocusId id) : QDialog(nullptr), class_name_(class_name), id_(id)
{
    page_registry::set(id_, [this] { syncUpdate(); });
}

PageFrame::~PageFrame()
{
    auto& s = stack();
    s.erase(std::remove(s.begin(), s.end(), this), s.end());
    if (!closing_)
        page_registry::clear(id_);
}

void PageFrame::finish_construction()
{
    para_init();
    menulist_init();
    language_changed();
}

void PageFrame::syncUpdate()
{
    if (TlxRamPara::p_tlxrampara_config && TlxRamPara::p_tlxrampara_config->TlxLanguageChanged()) {
        language_changed();
        // A keypad open over the page speaks the page's language too.
        if (g_numberkeyboard && g_numberkeyboard->isVisible())
            g_numberkeyboard->language_changed();
    }
}

void PageFrame::set_return(PageFrame* parent, std::function<void()> clear_pointer)
{
    parent_ = parent;
    clear_pointer_ = std::move(clear_pointer);
    stack().push_back(this);
}

const std::vector<PageFrame*>& PageFrame::open_pages() { return stack(); }

namespace {
// Runs under c331_lock, already taken by the caller.
void write_locked(int flag, const std::function<void(u8*)>& write)
{
    t_holding_scaler_lock = true;
    if (TlxRamPara::p_tlxrampara_config)
        write(TlxRamPara::p_tlxrampara_config->ram_image);
    c331_raise_change_locked(flag);
    t_holding_scaler_lock = false;
}
}  // namespace

void PageFrame::apply(int flag, const std::function<void(u8*)>& write)
{
    QMutexLocker lk(&c331_shared::c331_lock);
    write_locked(flag, write);
}

bool PageFrame::gui_holds_scaler_lock() { return t_holding_scaler_lock; }

void PageFrame::slot_Button_back_clicked()
{
    if (closing_)
        return;
    closing_ = true;
    setAttribute(Qt::WA_DeleteOnClose);
    close();
    page_registry::clear(id_);
    auto& s = stack();
    s.erase(std::remove(s.begin(), s.end(), this), s.end());
    if (clear_pointer_)
        clear_pointer_();
    if (parent_) {
        retranslate_parent();
        g_page_focus = parent_->page_id();
    }
}

void PageFrame::retranslate_parent()
{
    if (parent_)
        parent_->language_changed();
}

void PageFrame::set_menu_list(std::vector<QWidget*> rows, QString normal, QString focus)
{
    menu_list = std::move(rows);
    style_normal = std::move(normal);
    style_focus = std::move(focus);
    for (QWidget* w : menu_list)
        w->setStyleSheet(style_normal);
    ui_select = 0;
    current = menu_list.empty() ? nullptr : menu_list[0];
    if (current)
        current->setStyleSheet(style_focus);
}

void PageFrame::set_focus_row(int row)
{
    if (menu_list.empty() || row < 0 || row >= static_cast<int>(menu_list.size()))
        return;
    if (current)
        current->setStyleSheet(style_normal);
    ui_select = static_cast<u8>(row);
    current = menu_list[ui_select];
    current->setStyleSheet(style_focus);
}

void PageFrame::move_focus(int delta)
{
    const int n = static_cast<int>(menu_list.size());
    if (n == 0)
        return;
    set_focus_row(((ui_select + delta) % n + n) % n);
}

void PageFrame::row_activated(int row)
{
    if (row < 0 || row >= static_cast<int>(menu_list.size()))
        return;
    if (auto* b = qobject_cast<QAbstractButton*>(menu_list[row]))
        b->click();
}

void PageFrame::keyPressEvent(QKeyEvent* e)
{
    const int key = panel_key(e->key());
    if (key == KEY_OK)
        qDebug("this is OK button(%s)[Press]\n", class_name_);
    else if (key == KEY_BACK)
        qDebug("this is back button(%s)[Press]\n", class_name_);
    e->accept();
}

void PageFrame::keyReleaseEvent(QKeyEvent* e)
{
    const int key = released_panel_key(e);
    if (!key || page_key(key))
        return;
    switch (key) {
    case KEY_LEFT:
        qDebug("this is left-code [%s][Release] ui_select=%#x", class_name_, ui_select);
        move_focus(-1);
        break;
    case KEY_RIGHT:
        qDebug("this is right-code [%s][Release] ui_select=%#x", class_name_, ui_select);
        move_focus(+1);
        break;
    case KEY_OK:
        qDebug("this is OK button(%s)[Release]\n", class_name_);
        row_activated(ui_select);
        break;
    case KEY_BACK:
        qDebug("this is back button(%s)[Release]\n", class_name_);
        slot_Button_back_clicked();
        break;
    }
}
