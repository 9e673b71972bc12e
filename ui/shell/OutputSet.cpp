// The output submenu: the LED size readout and the rows of the output pages. Rows are data; a row
// is shown only while a page it leads to is built into the device (its opener is registered).
#include "ui/shell/OutputSet.h"

#include "ui/shell/image_access.h"
#include "ui/shell/page_open.h"
#include "ui_OutputSet.h"

namespace {
const Text4 kOutputTitle{"输出设置", "Output", "Выход", "Đầu ra"};
const Text4 kLedSize{"LED 尺寸 %1 x %2", "LED size %1 x %2", "Размер LED %1 x %2", "Kích thước LED %1 x %2"};
}  // namespace

const std::vector<PageFocusId> OutputSet::kPages{PAGE_LEDSET, PAGE_NETSET};

OutputSet::OutputSet(QWidget* parent) : MenuPage("OutputSet", PAGE_OUTPUTSET), ui(new Ui::OutputSet)
{
    (void)parent;
    setup_menu(ui, {
        {"Button_ledset", {"LED 尺寸", "LED size", "Размер LED", "Kích thước LED"}, nullptr,
         [this] { on_Button_ledset_clicked(); }, {PAGE_LEDSET}},
        {"Button_lanset", {"输出网口", "Output ports", "Выходные порты", "Cổng đầu ra"}, nullptr,
         [this] { on_Button_lanset_clicked(); }, {PAGE_NETSET}},
    });
}
OutputSet::~OutputSet() { delete ui; }
void OutputSet::language_changed()
{
    translate_frame(ui->label_title, kOutputTitle, ui->label_note_ok_text, ui->label_note_back_text);
    translate_rows();
    ui->label_ledsize->setText(tr4(kLedSize).arg(image_u16(ram_led_width)).arg(image_u16(ram_led_height)));
}
void OutputSet::on_Button_ledset_clicked() { open_registered(PAGE_LEDSET, this); }
void OutputSet::on_Button_lanset_clicked() { open_registered(PAGE_NETSET, this); }
