#pragma once
// User modes (id 4), shown without a modal loop: browse the 16 slots with the selector, see
// what a saved mode holds (name, LED size, picture, volume, and a preview of its window
// layout or its OSD record), and recall (Use) or delete it. Two levels: 0 browsing the
// slots, 1 choosing an action (Use, Delete, and More when the mode has an OSD record).
#include <QFont>
#include <QStringList>

#include "ui/shell/PageFrame.h"

namespace Ui {
class CustomMode;
}
class QLabel;
class tlxcontrol;
struct OMENU_PARA;

// The action button that last received a sheet from CustomMode::tlx_button_selinfo.
extern QWidget* g_button_focus;

class CustomMode : public PageFrame {
    Q_OBJECT
public:
    explicit CustomMode(QWidget* parent = nullptr);
    ~CustomMode() override;

    void init();
    void menulist_init() override;
    void language_changed() override;
    // Re-translates, and shows the mode in view as its slot holds it now (a tool may save or
    // delete it): the actions close when the mode is gone.
    void syncUpdate() override;
    u32 get_mode_status();
    void tlx_button_selinfo(char op, char index);
    // The information lines and the preview of slot g_mode_select (custommode_info.cpp).
    void lcd_para_init();
    void image_para_init();
    void color_fill(QLabel* label, char index);
    // The OSD caption of a record: at most its first three lines, and the sheet with its
    // background and font colours (white on #10101C where a colour is not 6 hex digits).
    static void osd_caption(const OMENU_PARA& o, QString* text, QString* sheet);

    // What the tests look at.
    tlxcontrol* selector_widget() const { return selector; }
    int level() const { return action_level; }
    int action() const { return action_select; }
    bool more_is_hidden() const { return more_hidden; }
    QWidget* preview_widget() const { return preview; }
    QStringList preview_texts() const;  // texts of the preview's labels, in creation order
    QLabel* info_label(const char* name) const;

public slots:
    void on_Button_delete_clicked();
    void on_Button_use_clicked();
    void tlx_button_mode_clicked();

protected:
    bool page_key(int key) override;

private:
    void key_browse(int key);
    void key_actions(int key);
    void follow_mode();
    void close_actions();
    QWidget* action_button(int index) const;
    void fill_layout(const u8* copy);
    void fill_osd(int slot);
    QLabel* preview_label(const QRect& r, const QString& text, const char* sheet);

    Ui::CustomMode* ui;
    tlxcontrol* selector = nullptr;
    QWidget* preview = nullptr;
    QFont preview_font;
    u8 action_level = 0;
    u8 action_select = 0;
    u8 more_hidden = 1;
};
