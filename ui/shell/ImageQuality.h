#pragma once
// The picture menu (id 11): picture quality and colour temperature.
#include "ui/shell/MenuPage.h"

namespace Ui {
class ImageQuality;
}

class ImageQuality : public MenuPage {
    Q_OBJECT
public:
    explicit ImageQuality(QWidget* parent = nullptr);
    ~ImageQuality() override;
    void language_changed() override;

private:
    Ui::ImageQuality* ui;
};
