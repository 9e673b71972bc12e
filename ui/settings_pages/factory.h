#pragma once
// Factory settings (id 18): the panel language, three levels of factory reset (keep the
// network address; keep it and the EDID area; restore everything), and which on-screen-menu
// fonts the scaler found. Any refresh closes the page.
#include "ui/settings_pages/settings_page.h"

namespace Ui {
class factory;
}

class factory : public SettingsPage {
    Q_OBJECT
public:
    explicit factory(QWidget* parent = nullptr);
    ~factory() override;

    void menulist_init() override;
    void language_changed() override;
    void syncUpdate() override;

    void on_Button_lang_clicked();
    void on_Button_reset1_clicked();  // keeps nothing of the image; network untouched
    void on_Button_reset2_clicked();  // keeps the EDID area 0x380..0x55F
    void on_Button_reset3_clicked();  // also restores the network address

protected:
    void edit_step(int delta) override;
    void ok_pressed(int row) override;
    void edit_back() override { slot_Button_back_clicked(); }
    void retranslate_parent() override { retranslate_parent_if_language_changed(); }

private:
    void factory_reset(u32 keep_first, u32 keep_end, bool rewrite_edids);
    bool files_can_take_reset(bool new_address);
    bool store_factory_parameters();
    void put_back_parameter_file();
    void show_fonts();

    Ui::factory* ui;
    u8 lang_index = 1;
};
