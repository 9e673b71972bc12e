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
    static const std::vector<PageFocusId> kPages;

    // Openers (also F6 on the row); a page not built into this device has no row.
    void on_Button_quality_clicked();
    void on_Button_temperature_clicked();

private:
    Ui::ImageQuality* ui;
};
