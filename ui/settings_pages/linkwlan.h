#pragma once
// Ethernet address (id 22): the IPv4 address, mask and gateway as twelve octet fields typed
// on the keypad; Apply checks them as the remote command does (the tip says what is wrong),
// stores them in the network configuration in one write and sets the interface up again with
// them. The octets the user has not typed follow the address in effect (a tool may set it).
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
    QString tip_text() const;  // empty while no tip is shown

public slots:
    void confirmString(QString text);
    void show_numberkeyboard_ui(QString text);

protected:
    void ok_pressed(int row) override;
    void retranslate_parent() override {}
    void refresh_fields() override;

private:
    QLineEdit* octet(int i) const;
    void show_tip(const QString& text);

    Ui::linkwlan* ui;
    QString edit_names[kOctets];
    QString shown_[kOctets];  // what the page last put into each octet field
    class QLabel* label_tip_ = nullptr;
};
