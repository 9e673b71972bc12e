#pragma once
// The frame of a settings page: rows of several kinds (fields, buttons, combo boxes), each kind
// with its own normal, focus and edit sheets; F4/F5 move the focus with wrap-around or, while
// the focused row is being edited, step its value; F6 runs the row; PowerOff goes back or
// ends the edit, as the page decides.
#include <QString>
#include <vector>

#include "ui/shell/PageFrame.h"

struct RowSheets {
    QString normal;
    QString focus;
    QString edit;
};

namespace sheets {
// The setting-row sheets (fields and buttons) and the combo-box sheets.
const RowSheets& row();
const RowSheets& combo();
// The button-row sheets: a white border, an orange one with the focus, none for editing.
const RowSheets& button();
// The normal, focus and edit sheets of `sheet`, whose %1 is the border colour of each: white,
// orange, red.
RowSheets bordered(const char* sheet);
}  // namespace sheets

class SettingsPage : public PageFrame {
    Q_OBJECT
public:
    using PageFrame::PageFrame;
    bool editing() const { return edit_flag != 0; }
    // Re-translates, and shows the stored values again while nothing is being edited.
    void syncUpdate() override;

protected:
    // menu_list with one sheet set per row; row 0 gets the focus.
    void set_rows(std::vector<QWidget*> rows, std::vector<const RowSheets*> kinds);
    // Moves the focus to `row` (old row normal, new row focus).
    void focus_row(int row);
    // Gives the focused row its edit sheet (on) or its focus sheet back (off) and sets edit_flag;
    // at the end of an edit the fields show the stored values again.
    void set_editing(bool on);

    bool page_key(int key) override;
    // While editing: F4 (-1) or F5 (+1) on the focused row.
    virtual void edit_step(int delta) { (void)delta; }
    // F6 on `row` (editing or not); by default a tap on the row's button.
    virtual void ok_pressed(int row) { row_activated(row); }
    // PowerOff while editing; by default leaves the page.
    virtual void edit_back() { slot_Button_back_clicked(); }
    // Shows the stored values again (a tool may have changed them); run while nothing is
    // being edited: before each key and by the refresh after a change.
    virtual void refresh_fields() {}
    // Back re-translates the parent only when the image's language changed.
    void retranslate_parent_if_language_changed();
    // Keypad pages: each field's press and the keypad's OK reach this page's slots
    // show_numberkeyboard_ui(QString) and confirmString(QString).
    void connect_keypad(const std::vector<class My_lineEdit*>& fields);
    // Opens the keypad for `field` (g_lineedit) with `title` and its text; returns when closed.
    static void open_keypad(class QLineEdit* field, const QString& title);

    u8 edit_flag = 0;

private:
    std::vector<const RowSheets*> kinds_;
};
