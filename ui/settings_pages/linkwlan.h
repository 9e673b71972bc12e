#pragma once
// Ethernet address (id 22): the IPv4 address, mask and gateway as twelve octet fields typed
// on the keypad; Apply stores them in the network configuration and sets the interface up
// again with them.
#include "ui/settings_pages/settings_page.h"

namespace Ui {
class linkwlan;
}

class linkwlan : public SettingsPage {
    Q_OBJECT
public:
    static constexpr int kOctets = 12;
    static constexpr int kApplyRow = 12;
    static constexpr int kCancelRow = 13;

    explicit linkwlan(QWidget* parent = nullptr);
    ~linkwlan() override;

    void menulist_init() override;
    void language_changed() override;
    void on_Button_net_apply_clicked();
    // The text an octet field takes from the keypad: a number 0..255 without leading zeros.
    static QString octet_text(const QString& typed);

public slots:
    void confirmString(QString text);
    void show_numberkeyboard_ui(QString text);

protected:
    void ok_pressed(int row) override;
    void retranslate_parent() override {}

private:
    Ui::linkwlan* ui;
    QString edit_names[kOctets];
};
