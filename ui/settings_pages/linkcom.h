#pragma once
// Serial port information (id 21): the remote-control serial port's fixed settings, 115200
// baud, 8 data bits, 1 stop bit. Nothing can be changed; only the back key acts.
#include "ui/shell/PageFrame.h"

namespace Ui {
class linkcom;
}

class linkcom : public PageFrame {
    Q_OBJECT
public:
    explicit linkcom(QWidget* parent = nullptr);
    ~linkcom() override;
    void language_changed() override;

protected:
    void retranslate_parent() override {}

private:
    Ui::linkcom* ui;
};
