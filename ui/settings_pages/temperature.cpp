#include "temperature.h"

#include "core/ram_map.h"
#include "ui/shell/image_access.h"
#include "ui/shell/lang.h"
#include "ui_temperature.h"

namespace {
constexpr int kPresets = 4;
// Image word of rows 1..3 (red, green, blue).
constexpr u32 kGainWord[3] = {ram_colour_temp_rgb, ram_colour_temp_rgb + 2, ram_colour_temp_rgb + 4};

// The preset row's sheets carry the row background.
const RowSheets& preset_sheets()
{
    static const RowSheets s = sheets::bordered(
        "QComboBox{\ncolor:rgb(255,255,255);\nbackground-color: rgb(33, 36, 53);border:1px solid %1;\n}\n"
        "QComboBox:drop-down{\nborder-style:none\n}");
    return s;
}
}  // namespace

temperature::temperature(QWidget* parent) : SettingsPage("temperature", PAGE_TEMPERATURE), ui(new Ui::temperature)
{
    (void)parent;
    ui->setupUi(this);
    finish_construction();
}

temperature::~temperature() { delete ui; }

void temperature::para_init()
{
    static const Text4 kNames[kPresets] = {{"自定义", "custom", "Свой", "Tùy chỉnh"},
                                           {"偏暖", "warm", "Теплый", "Màu ấm"},
                                           {"自然", "nature", "Природный", "Tự nhiên"},
                                           {"偏冷", "cool", "Холодный", "Lạnh hơn"}};
    for (const Text4& t : kNames)
        ui->comboBox_type->addItem(tr4(t));
    refresh_fields();
}

u8 temperature::stored_type()
{
    const u16 type = image_u16(ram_colour_temp_type);
    return type < kPresets ? static_cast<u8>(type) : 0;
}

void temperature::refresh_fields()
{
    QLineEdit* fields[3] = {ui->lineEdit_name_red, ui->lineEdit_name_green, ui->lineEdit_name_blue};
    for (int i = 0; i < 3; ++i)
        PictureValue::show(fields[i], kGainWord[i]);
    type_value = stored_type();
    ui->comboBox_type->setCurrentIndex(type_value);
}

void temperature::menulist_init()
{
    set_rows({ui->comboBox_type, ui->lineEdit_name_red, ui->lineEdit_name_green, ui->lineEdit_name_blue},
             {&preset_sheets(), &sheets::row(), &sheets::row(), &sheets::row()});
    saved_type = type_value;
}

void temperature::language_changed()
{
    ui->label_temperature->setText(tr4({"色温", "Temperature", "Температура Оттенок", "Độ màu"}));
    ui->label_type->setText(tr4({"色温类型", "temperature type", "Выбор цвета", "Lựa chọn độ màu"}));
    ui->label_name_red->setText(tr4({"红色", "Red", "Красный", "Màu đỏ"}));
    ui->label_name_green->setText(tr4({"绿色", "Green", "Зеленый", "Màu xanh lá cây"}));
    ui->label_name_blue->setText(tr4({"蓝色", "Blue", "Синий", "Màu xanh da trời"}));
}

void temperature::get_sel_value()
{
    set_editing(true);
    value_.begin(static_cast<QLineEdit*>(current), kGainWord[ui_select - 1]);
}

void temperature::updownset_sel_value(char op)
{
    if (ui_select >= 1)
        value_.apply(static_cast<PictureValue::Op>(op), static_cast<QLineEdit*>(current), kGainWord[ui_select - 1]);
}

void temperature::on_button_type_clicked()
{
    const u16 type = type_value;
    apply(1, [type](u8* image) { ram_wr16(image, ram_colour_temp_type, type); });
}

void temperature::edit_step(int delta)
{
    if (ui_select == 0) {
        type_value = static_cast<u8>((type_value + kPresets + delta) % kPresets);
        ui->comboBox_type->setCurrentIndex(type_value);
    } else {
        updownset_sel_value(delta > 0 ? PictureValue::Up : PictureValue::Down);
    }
}

void temperature::ok_pressed(int row)
{
    if (!editing()) {
        if (row == 0) {
            saved_type = type_value = stored_type();
            ui->comboBox_type->setCurrentIndex(type_value);
            set_editing(true);
        } else {
            get_sel_value();
        }
    } else if (row == 0) {
        if (type_value != saved_type)  // only a preset the user changed is written
            on_button_type_clicked();
        set_editing(false);
    } else {
        updownset_sel_value(PictureValue::Keep);
        set_editing(false);
    }
}

void temperature::edit_back()
{
    if (ui_select == 0) {
        // The preset is written only by F6: the image still holds what it held.
        set_editing(false);
    } else {
        updownset_sel_value(PictureValue::Restore);
        set_editing(false);
    }
}
