#pragma once
// Other settings (id 17): which window's sound is meant and whether it is on, the switch
// effect of all windows (seamless or fade), a projection row without function, the WiFi
// access point, and point-to-point display. Each row is a combo box worked in edit mode; any
// refresh closes the page.
#include "ui/settings_pages/settings_page.h"

namespace Ui {
class othersetup;
}
class QComboBox;

class othersetup : public SettingsPage {
    Q_OBJECT
public:
    static constexpr int kRows = 6;

    explicit othersetup(QWidget* parent = nullptr);
    ~othersetup() override;

    void para_init() override;
    void menulist_init() override;
    void language_changed() override;
    void syncUpdate() override;

    // Applies the focused row with the chosen item (F6 at the end of an edit).
    void on_button_box_clicked();

protected:
    void edit_step(int delta) override;
    void ok_pressed(int row) override;
    void edit_back() override;
    void retranslate_parent() override { retranslate_parent_if_language_changed(); }

private:
    QComboBox* box(int row) const;
    void apply_sound(int n);
    void apply_switch_effect(int n);
    void apply_wifi(int n);
    void apply_point_to_point(int n);

    Ui::othersetup* ui;
    u8 candidate = 0;
    u8 saved = 0;
    u8 item_count[kRows] = {6, 2, 2, 1, 2, 2};
};
