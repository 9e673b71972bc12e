// The option menus below the main window. Each lists its rows as data; a row is shown only
// while a page it leads to is built into the device (its opener is registered).
#include <QLabel>

#include "core/log.h"
#include "ui/shell/AdvancedOption.h"
#include "ui/shell/ImageQuality.h"
#include "ui/shell/LinkOption.h"
#include "ui/shell/NumberKeyboard.h"
#include "ui/shell/Option.h"
#include "ui/shell/OutputSet.h"
#include "ui/shell/image_access.h"
#include "ui/shell/page_open.h"
#include "ui_AdvancedOption.h"
#include "ui_ImageQuality.h"
#include "ui_LinkOption.h"
#include "ui_Option.h"
#include "ui_OutputSet.h"

namespace {
const Text4 kOptionTitle{"菜单", "Menu", "Меню", "Menu"};
const Text4 kOutputTitle{"输出设置", "Output", "Выход", "Đầu ra"};
const Text4 kLinkTitle{"通讯设置", "Communication", "Связь", "Kết nối"};
const Text4 kQualityTitle{"画面设置", "Picture", "Изображение", "Hình ảnh"};
const Text4 kAdvancedTitle{"高级设置", "Advanced", "Дополнительно", "Nâng cao"};
const Text4 kCodeTitle{"访问密码", "Access code", "Код доступа", "Mã truy cập"};
const Text4 kLedSize{"LED 尺寸 %1 x %2", "LED size %1 x %2", "Размер LED %1 x %2", "Kích thước LED %1 x %2"};
}  // namespace

const std::vector<PageFocusId> OutputSet::kPages{PAGE_LEDSET, PAGE_NETSET};
const std::vector<PageFocusId> ImageQuality::kPages{PAGE_QUALITY, PAGE_TEMPERATURE};
const std::vector<PageFocusId> LinkOption::kPages{PAGE_LINKCOM, PAGE_LINKWLAN};
const std::vector<PageFocusId> AdvancedOption::kPages{PAGE_LCDSHOW, PAGE_TESTIMAGE, PAGE_OTHERSETUP, PAGE_FACTORY,
                                                      PAGE_FACTORYAGE};

// ---- Option -------------------------------------------------------------------------------

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

// ---- OutputSet ----------------------------------------------------------------------------

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

// ---- LinkOption ---------------------------------------------------------------------------

LinkOption::LinkOption(QWidget* parent) : MenuPage("LinkOption", PAGE_LINKOPTION), ui(new Ui::LinkOption)
{
    (void)parent;
    setup_menu(ui, {
        {"Button_linkcom", {"串口信息", "Serial port", "Последовательный порт", "Cổng nối tiếp"}, nullptr,
         [this] { on_Button_linkcom_clicked(); }, {PAGE_LINKCOM}},
        {"Button_linkwlan", {"网络地址", "Ethernet address", "Адрес Ethernet", "Địa chỉ Ethernet"}, nullptr,
         [this] { on_Button_linkwlan_clicked(); }, {PAGE_LINKWLAN}},
    });
}
LinkOption::~LinkOption() { delete ui; }
void LinkOption::language_changed()
{
    translate_frame(ui->label_title, kLinkTitle, ui->label_note_ok_text, ui->label_note_back_text);
    translate_rows();
}
void LinkOption::on_Button_linkcom_clicked() { open_registered(PAGE_LINKCOM, this); }
void LinkOption::on_Button_linkwlan_clicked() { open_registered(PAGE_LINKWLAN, this); }

// ---- ImageQuality -------------------------------------------------------------------------

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

// ---- AdvancedOption -----------------------------------------------------------------------

const char* const AdvancedOption::kAgingAccessCode = "5738";

AdvancedOption::AdvancedOption(QWidget* parent) : MenuPage("AdvancedOption", PAGE_ADVANCEDOPTION), ui(new Ui::AdvancedOption)
{
    (void)parent;
    setup_menu(ui, {
        {"Button_LCDshow", {"液晶显示", "LCD display", "Дисплей", "Màn hình LCD"}, nullptr,
         [this] { on_Button_LCDshow_clicked(); }, {PAGE_LCDSHOW}},
        {"Button_testimage", {"测试画面", "Test pattern", "Тестовый шаблон", "Mẫu kiểm tra"}, nullptr,
         [this] { on_Button_testimage_clicked(); }, {PAGE_TESTIMAGE}},
        {"Button_other", {"其他设置", "Other settings", "Прочие настройки", "Cài đặt khác"}, nullptr,
         [this] { on_Button_other_clicked(); }, {PAGE_OTHERSETUP}},
        {"Button_factory", {"出厂设置", "Factory settings", "Заводские настройки", "Cài đặt gốc"}, nullptr,
         [this] { on_Button_factory_clicked(); }, {PAGE_FACTORY}},
        {"Button_age", {"老化记录", "Aging log", "Журнал прогона", "Nhật ký lão hóa"}, nullptr,
         [this] { on_Button_age_clicked(); }, {PAGE_FACTORYAGE}},
    });
}
AdvancedOption::~AdvancedOption() { delete ui; }
void AdvancedOption::language_changed()
{
    translate_frame(ui->label_title, kAdvancedTitle, ui->label_note_ok_text, ui->label_note_back_text);
    translate_rows();
}
void AdvancedOption::on_Button_LCDshow_clicked() { open_registered(PAGE_LCDSHOW, this); }
void AdvancedOption::on_Button_testimage_clicked() { open_registered(PAGE_TESTIMAGE, this); }
void AdvancedOption::on_Button_other_clicked() { open_registered(PAGE_OTHERSETUP, this); }
void AdvancedOption::on_Button_factory_clicked() { open_registered(PAGE_FACTORY, this); }

void AdvancedOption::on_Button_age_clicked()
{
    if (!g_numberkeyboard)
        return;
    code_accepted_ = false;
    // Connected only while the prompt is up: a page opened from this menu uses the keypad too.
    auto link = connect(g_numberkeyboard, &NumberKeyboard::sendKeyBoardUIDataToLineEdit, this, &AdvancedOption::confirmString);
    g_numberkeyboard->label_show(tr4(kCodeTitle), QString());
    g_numberkeyboard->exec();
    disconnect(link);
    if (!code_accepted_)
        return;
    open_registered(PAGE_FACTORYAGE, this);
}

void AdvancedOption::confirmString(const QString& text)
{
    code_accepted_ = (text == QLatin1String(kAgingAccessCode));
    if (!code_accepted_)
        writeLogMsg(LOG_WARNING, "front panel: wrong access code for the aging log");
}
