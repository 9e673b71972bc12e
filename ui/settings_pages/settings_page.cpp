#include "settings_page.h"

#include <QDebug>

#include "core/TlxRamPara.h"
#include "ui/shell/My_lineEdit.h"
#include "ui/shell/NumberKeyboard.h"
#include "ui/shell/panel_keys.h"

namespace sheets {
const RowSheets& row()
{
    static const RowSheets s{style::row_normal, style::row_focus, style::row_edit};
    return s;
}
const RowSheets& combo()
{
    static const RowSheets s =
        bordered("QComboBox{\ncolor:rgb(255,255,255);\nborder:1px solid %1;\n}\nQComboBox:drop-down{\nborder-style:none\n}");
    return s;
}
const RowSheets& button()
{
    static const RowSheets s{"color:rgb(255,255,255);\nborder:1px solid rgb(255, 255, 255);",
                             "color:rgb(255,255,255);\nborder:1px solid rgb(255,171,84);", ""};
    return s;
}
RowSheets bordered(const char* sheet)
{
    const QString s(sheet);
    return {s.arg("rgb(255,255,255)"), s.arg("rgb(255,171,84)"), s.arg("rgb(255,0,0)")};
}
}  // namespace sheets

void SettingsPage::set_rows(std::vector<QWidget*> rows, std::vector<const RowSheets*> kinds)
{
    menu_list = std::move(rows);
    kinds_ = std::move(kinds);
    for (size_t i = 0; i < menu_list.size(); ++i)
        menu_list[i]->setStyleSheet(kinds_[i]->normal);
    ui_select = 0;
    edit_flag = 0;
    current = menu_list.empty() ? nullptr : menu_list[0];
    if (current)
        current->setStyleSheet(kinds_[0]->focus);
}

void SettingsPage::focus_row(int row)
{
    if (row < 0 || row >= static_cast<int>(menu_list.size()))
        return;
    if (current)
        current->setStyleSheet(kinds_[ui_select]->normal);
    ui_select = static_cast<u8>(row);
    current = menu_list[ui_select];
    current->setStyleSheet(kinds_[ui_select]->focus);
}

void SettingsPage::set_editing(bool on)
{
    edit_flag = on ? 1 : 0;
    if (current)
        current->setStyleSheet(on ? kinds_[ui_select]->edit : kinds_[ui_select]->focus);
    if (!on)
        refresh_fields();
}

void SettingsPage::syncUpdate()
{
    PageFrame::syncUpdate();
    if (!editing())
        refresh_fields();
}

bool SettingsPage::page_key(int key)
{
    if (!editing())
        refresh_fields();
    const int n = static_cast<int>(menu_list.size());
    switch (key) {
    case KEY_LEFT:
    case KEY_RIGHT: {
        const int delta = key == KEY_LEFT ? -1 : 1;
        qDebug("this is %s-code [%s][Release] ui_select=%#x", delta < 0 ? "left" : "right", class_name(), ui_select);
        if (editing())
            edit_step(delta);
        else if (n > 0)
            focus_row(((ui_select + delta) % n + n) % n);
        return true;
    }
    case KEY_OK:
        qDebug("this is OK button(%s)[Release]\n", class_name());
        ok_pressed(ui_select);
        return true;
    case KEY_BACK:
        qDebug("this is back button(%s)[Release]\n", class_name());
        if (editing())
            edit_back();
        else
            slot_Button_back_clicked();
        return true;
    default:
        return false;
    }
}

void SettingsPage::retranslate_parent_if_language_changed()
{
    if (TlxRamPara::p_tlxrampara_config && TlxRamPara::p_tlxrampara_config->TlxLanguageChanged())
        PageFrame::retranslate_parent();
}

void SettingsPage::connect_keypad(const std::vector<My_lineEdit*>& fields)
{
    for (My_lineEdit* f : fields)
        connect(f, SIGNAL(send_show(QString)), this, SLOT(show_numberkeyboard_ui(QString)));
    if (g_numberkeyboard)
        connect(g_numberkeyboard, SIGNAL(sendKeyBoardUIDataToLineEdit(QString)), this, SLOT(confirmString(QString)));
}

void SettingsPage::open_keypad(QLineEdit* field, const QString& title) { open_number_keyboard(field, title); }
