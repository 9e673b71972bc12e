// The picture submenu: picture quality and colour temperature. Rows are data; a row is shown only
// while a page it leads to is built into the device (its opener is registered).
#include "ui/shell/ImageQuality.h"

#include "ui/shell/page_open.h"
#include "ui_ImageQuality.h"

namespace {
const Text4 kQualityTitle{"画面设置", "Picture", "Изображение", "Hình ảnh"};
}  // namespace

const std::vector<PageFocusId> ImageQuality::kPages{PAGE_QUALITY, PAGE_TEMPERATURE};

ImageQuality::ImageQuality(QWidget* parent) : MenuPage("ImageQuality", PAGE_IMAGEQUALITY), ui(new Ui::ImageQuality)
{
    (void)parent;
    setup_menu(ui, {
        {"Button_quality", {"画质", "Picture quality", "Качество", "Chất lượng ảnh"}, nullptr,
         [this] { on_Button_quality_clicked(); }, {PAGE_QUALITY}},
        {"Button_temperature", {"色温", "Colour temperature", "Цветовая температура", "Nhiệt độ màu"}, nullptr,
         [this] { on_Button_temperature_clicked(); }, {PAGE_TEMPERATURE}},
    });
}
ImageQuality::~ImageQuality() { delete ui; }
void ImageQuality::language_changed()
{
    translate_frame(ui->label_title, kQualityTitle, ui->label_note_ok_text, ui->label_note_back_text);
    translate_rows();
}
void ImageQuality::on_Button_quality_clicked() { open_registered(PAGE_QUALITY, this); }
void ImageQuality::on_Button_temperature_clicked() { open_registered(PAGE_TEMPERATURE, this); }
