#pragma once
// LCD display settings (id 15): the two panel timing choices (return to the home screen, lock
// the panel), kept in g_back_to_mainwindow_time and g_auto_lock_time. Nothing reads them: the
// panel itself never returns or locks by time.
#include "ui/settings_pages/settings_page.h"

namespace Ui {
class lcdshow;
}

class lcdshow : public SettingsPage {
    Q_OBJECT
public:
    explicit lcdshow(QWidget* parent = nullptr);
    ~lcdshow() override;

    void para_init() override;
    void menulist_init() override;
    void language_changed() override;

    void on_button_backtolock_clicked();
    void on_button_autolock_clicked();

protected:
    void edit_step(int delta) override;
    void ok_pressed(int row) override;

private:
    Ui::lcdshow* ui;
    u8 value_index = 0;  // one index shared by both rows
};
