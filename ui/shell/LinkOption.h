#pragma once
// The communication menu (id 10): serial port and Ethernet address.
#include "ui/shell/MenuPage.h"

namespace Ui {
class LinkOption;
}

class LinkOption : public MenuPage {
    Q_OBJECT
public:
    explicit LinkOption(QWidget* parent = nullptr);
    ~LinkOption() override;
    void language_changed() override;
    static const std::vector<PageFocusId> kPages;

    // Openers (also F6 on the row); a page not built into this device has no row.
    void on_Button_linkcom_clicked();
    void on_Button_linkwlan_clicked();

private:
    Ui::LinkOption* ui;
};
