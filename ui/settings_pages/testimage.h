#pragma once
// Test pattern (id 16): eight pattern tiles; F6 on a tile shows its pattern on the LED output,
// every way out of the page switches the pattern off.
#include "ui/settings_pages/settings_page.h"

namespace Ui {
class testimage;
}

class testimage : public SettingsPage {
    Q_OBJECT
public:
    static constexpr int kPatterns = 8;

    explicit testimage(QWidget* parent = nullptr);
    ~testimage() override;

    void menulist_init() override;
    void language_changed() override;

public slots:
    void slot_Button_on_clicked();
    void slot_Button_back_clicked() override;

protected:
    void ok_pressed(int row) override;

private:
    Ui::testimage* ui;
};
