#pragma once
// The settings menu (id 5): opens the output, picture, communication and advanced menus.
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

    void on_Button_outputset_clicked();
    void on_Button_imagequality_clicked();
    void on_Button_linkoption_clicked();
    void on_Button_advanced_clicked();

private:
    Ui::Option* ui;
};
