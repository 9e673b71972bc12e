#include "quality.h"

#include <cstring>

#include "core/ConfigEngine.h"
#include "core/ram_map.h"
#include "ui/shell/lang.h"
#include "ui_quality.h"

namespace {
// Image word of each value row, in key order (the rows are not in address order).
constexpr u32 kRowWord[4] = {ram_brightness, ram_sharpness, ram_contrast, ram_saturation};
constexpr int kResetRow = 4;
// The picture and colour-temperature words the reset restores: 0x880..0x88F.
constexpr u32 kResetFirst = ram_brightness;
constexpr u32 kResetLen = 16;
}  // namespace

quality::quality(QWidget* parent) : SettingsPage("quality", PAGE_QUALITY), ui(new Ui::quality)
{
    (void)parent;
    ui->setupUi(this);
    finish_construction();
}

quality::~quality() { delete ui; }

void quality::para_init() { refresh_fields(); }

void quality::refresh_fields()
{
    QLineEdit* fields[4] = {ui->lineEdit_bright, ui->lineEdit_Sharpness, ui->lineEdit_Contrast, ui->lineEdit_Saturation};
    for (int r = 0; r < 4; ++r)
        PictureValue::show(fields[r], kRowWord[r]);
}

void quality::menulist_init()
{
    set_rows({ui->lineEdit_bright, ui->lineEdit_Sharpness, ui->lineEdit_Contrast, ui->lineEdit_Saturation, ui->lineEdit_Reset},
             std::vector<const RowSheets*>(5, &sheets::row()));
}

void quality::language_changed()
{
    ui->label_quality->setText(tr4({"图像效果", "Image quality", "Изображение", "Chất lượng hình ảnh"}));
    ui->label_bright->setText(tr4({"亮度", "Brightness", "Яркость", "Độ cao"}));
    ui->label_Sharpness->setText(tr4({"锐度", "Sharpness", "Резкость", "Độ sắc nét"}));
    ui->label_Contrast->setText(tr4({"对比度", "Contrast", "Контраст", "Độ tương phản"}));
    ui->label_Saturation->setText(tr4({"饱和度", "Saturation", "Насыщенность", "Độ bão hòa"}));
    ui->label_reset->setText(tr4({"画质复位", "Reset", "Сбросить", "Đặt lại chất lượng hình ảnh"}));
    ui->lineEdit_Reset->setText(tr4({"点击OK应用", "Press Ok", "Нажмите ОК", "Đồng ý"}));
}

void quality::get_sel_value()
{
    set_editing(true);
    value_.begin(static_cast<QLineEdit*>(current), kRowWord[ui_select]);
}

void quality::updownset_sel_value(char op)
{
    if (ui_select < kResetRow)
        value_.apply(static_cast<PictureValue::Op>(op), static_cast<QLineEdit*>(current), kRowWord[ui_select]);
}

void quality::on_Button_reset_clicked()
{
    const u8* factory = ConfigEngine::default_para_ramlist + PARA_FILE_IMAGE_OFFSET + (kResetFirst - RAM_VOLATILE_END);
    apply(1, [factory](u8* image) { std::memcpy(image + kResetFirst, factory, kResetLen); });
}

void quality::edit_step(int delta) { updownset_sel_value(delta > 0 ? PictureValue::Up : PictureValue::Down); }

void quality::ok_pressed(int row)
{
    if (editing()) {
        updownset_sel_value(PictureValue::Keep);
        set_editing(false);
    } else if (row == kResetRow) {
        on_Button_reset_clicked();
    } else {
        get_sel_value();
    }
}

void quality::edit_back()
{
    updownset_sel_value(PictureValue::Restore);
    set_editing(false);
}
