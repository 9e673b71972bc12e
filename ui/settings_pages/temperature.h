#pragma once
// Colour temperature (id 20): the preset (custom, warm, nature, cool), chosen with F4/F5 and
// written by F6, and the red, green and blue gains of the custom preset, stepped 0..100 with
// immediate effect.
#include "ui/settings_pages/picture_value.h"
#include "ui/settings_pages/settings_page.h"

namespace Ui {
class temperature;
}

class temperature : public SettingsPage {
    Q_OBJECT
public:
    explicit temperature(QWidget* parent = nullptr);
    ~temperature() override;

    void para_init() override;
    void menulist_init() override;
    void language_changed() override;

    void get_sel_value();
    void updownset_sel_value(char op);
    void on_button_type_clicked();

protected:
    void edit_step(int delta) override;
    void ok_pressed(int row) override;
    void edit_back() override;
    void refresh_fields() override;

private:
    static u8 stored_type();
    Ui::temperature* ui;
    u8 type_value = 0;
    u8 saved_type = 0;
    PictureValue value_;
};
