// The option menu below the main window: crop, layout and the four submenus. Rows are data; a row
// is shown only while a page it leads to is built into the device (its opener is registered).
#include "ui/shell/Option.h"

#include "ui/shell/AdvancedOption.h"
#include "ui/shell/ImageQuality.h"
#include "ui/shell/LinkOption.h"
#include "ui/shell/OutputSet.h"
#include "ui/shell/page_open.h"
#include "ui_Option.h"

namespace {
const Text4 kOptionTitle{"菜单", "Menu", "Меню", "Menu"};
}  // namespace

std::vector<PageFocusId> Option::pages()
{
    std::vector<PageFocusId> all{PAGE_INPUTCUT, PAGE_IMAGELAYOUT};
    for (const auto* sub : {&OutputSet::kPages, &ImageQuality::kPages, &LinkOption::kPages, &AdvancedOption::kPages})
        all.insert(all.end(), sub->begin(), sub->end());
    return all;
}

Option::Option(QWidget* parent) : MenuPage("Option", PAGE_OPTION), ui(new Ui::Option)
{
    (void)parent;
    setup_menu(ui, {
        {"input_cut", {"裁剪", "Crop", "Обрезка", "Cắt ảnh"}, nullptr, [this] { on_input_cut_clicked(); }, {PAGE_INPUTCUT}},
        {"image_layout", {"布局", "Layout", "Раскладка", "Bố cục"}, nullptr, [this] { on_image_layout_clicked(); },
         {PAGE_IMAGELAYOUT}},
        {"Button_outputset", {"输出设置", "Output", "Выход", "Đầu ra"}, nullptr, [this] { on_Button_outputset_clicked(); },
         OutputSet::kPages},
        {"Button_imagequality", {"画面设置", "Picture", "Изображение", "Hình ảnh"}, nullptr,
         [this] { on_Button_imagequality_clicked(); }, ImageQuality::kPages},
        {"Button_linkoption", {"通讯设置", "Communication", "Связь", "Kết nối"}, nullptr,
         [this] { on_Button_linkoption_clicked(); }, LinkOption::kPages},
        {"Button_advanced", {"高级设置", "Advanced", "Дополнительно", "Nâng cao"}, nullptr,
         [this] { on_Button_advanced_clicked(); }, AdvancedOption::kPages},
    }, 2);
}
Option::~Option() { delete ui; }
void Option::language_changed()
{
    translate_frame(ui->label_title, kOptionTitle, ui->label_note_ok_text, ui->label_note_back_text);
    translate_rows();
}
void Option::on_input_cut_clicked() { open_registered(PAGE_INPUTCUT, this); }
void Option::on_image_layout_clicked() { open_registered(PAGE_IMAGELAYOUT, this); }
void Option::on_Button_outputset_clicked() { open_page(g_outputset, this); }
void Option::on_Button_imagequality_clicked() { open_page(g_imagequality, this); }
void Option::on_Button_linkoption_clicked() { open_page(g_linkoption, this); }
void Option::on_Button_advanced_clicked() { open_page(g_advancedoption, this); }
