#pragma once
// The settings menu (id 5): crop, layout, output, picture, communication and advanced.
#include "ui/shell/MenuPage.h"

namespace Ui {
class Option;
}

class Option : public MenuPage {
    Q_OBJECT
public:
    explicit Option(QWidget* parent = nullptr);
    ~Option() override;
    void language_changed() override;
    // Every page reached through this menu and the menus below it.
    static std::vector<PageFocusId> pages();

    // Openers (also F6 on the row); a page not built into this device has no row.
    void on_input_cut_clicked();
    void on_image_layout_clicked();
    void on_Button_outputset_clicked();
    void on_Button_imagequality_clicked();
    void on_Button_linkoption_clicked();
    void on_Button_advanced_clicked();

private:
    Ui::Option* ui;
};
