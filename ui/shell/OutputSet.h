#pragma once
// The output menu (id 6): LED screen size and output ports; its title line shows the LED size.
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
    static const std::vector<PageFocusId> kPages;

    // Openers (also F6 on the row); a page not built into this device has no row.
    void on_Button_ledset_clicked();
    void on_Button_lanset_clicked();

private:
    Ui::OutputSet* ui;
};
