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

private:
    Ui::LinkOption* ui;
};
