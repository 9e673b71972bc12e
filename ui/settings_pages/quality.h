#pragma once
// Picture quality (id 19): brightness, sharpness, contrast and saturation stepped 0..100 with
// immediate effect, and a reset of every picture and colour-temperature value.
#include "ui/settings_pages/picture_value.h"
#include "ui/settings_pages/settings_page.h"

namespace Ui {
class quality;
}

class quality : public SettingsPage {
    Q_OBJECT
public:
    explicit quality(QWidget* parent = nullptr);
    ~quality() override;

    void para_init() override;
    void menulist_init() override;
    void language_changed() override;

    void get_sel_value();
    void updownset_sel_value(char op);
    void on_Button_reset_clicked();

protected:
    void edit_step(int delta) override;
    void ok_pressed(int row) override;
    void edit_back() override;
    void refresh_fields() override;

private:
    Ui::quality* ui;
    PictureValue value_;
};
