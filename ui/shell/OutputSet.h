#pragma once
// The output menu (id 6): LED screen size and output ports.
#include "ui/shell/MenuPage.h"

namespace Ui {
class OutputSet;
}

class OutputSet : public MenuPage {
    Q_OBJECT
public:
    explicit OutputSet(QWidget* parent = nullptr);
    ~OutputSet() override;
    void language_changed() override;

private:
    Ui::OutputSet* ui;
};
