// The option menus below the main window. Each lists its rows as data; a page built later
// adds its row here with its opener.
#include <QLabel>

#include "core/log.h"
#include "ui/shell/AdvancedOption.h"
#include "ui/shell/ImageQuality.h"
#include "ui/shell/LinkOption.h"
#include "ui/shell/NumberKeyboard.h"
#include "ui/shell/Option.h"
#include "ui/shell/OutputSet.h"
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
}  // namespace

// The same form set-up for every menu: sheet, hints, rows, then the frame's init chain.
#define MENU_SETUP(rows)                                               \
    ui->setupUi(this);                                                 \
    setup_frame(ui->label_note_OK, ui->label_note_back);               \
    build_rows(ui->row_area, ui->label_empty, rows, 1);                \
    finish_construction()

#define MENU_TRANSLATE(title)                                                                   \
    translate_frame(ui->label_title, title, ui->label_note_ok_text, ui->label_note_back_text); \
    translate_rows()

// ---- Option -------------------------------------------------------------------------------

Option::Option(QWidget* parent) : MenuPage("Option", PAGE_OPTION), ui(new Ui::Option)
{
    (void)parent;
    MENU_SETUP((std::vector<MenuRow>{
        {"Button_outputset", {"输出设置", "Output", "Выход", "Đầu ra"}, nullptr, [this] { on_Button_outputset_clicked(); }},
        {"Button_imagequality", {"画面设置", "Picture", "Изображение", "Hình ảnh"}, nullptr, [this] { on_Button_imagequality_clicked(); }},
        {"Button_linkoption", {"通讯设置", "Communication", "Связь", "Kết nối"}, nullptr, [this] { on_Button_linkoption_clicked(); }},
        {"Button_advanced", {"高级设置", "Advanced", "Дополнительно", "Nâng cao"}, nullptr, [this] { on_Button_advanced_clicked(); }},
    }));
}
Option::~Option() { delete ui; }
void Option::language_changed() { MENU_TRANSLATE(kOptionTitle); }
void Option::on_Button_outputset_clicked() { open_page(g_outputset, this); }
void Option::on_Button_imagequality_clicked() { open_page(g_imagequality, this); }
void Option::on_Button_linkoption_clicked() { open_page(g_linkoption, this); }
void Option::on_Button_advanced_clicked() { open_page(g_advancedoption, this); }

// ---- OutputSet ----------------------------------------------------------------------------

OutputSet::OutputSet(QWidget* parent) : MenuPage("OutputSet", PAGE_OUTPUTSET), ui(new Ui::OutputSet)
{
    (void)parent;
    MENU_SETUP((std::vector<MenuRow>{}));
}
OutputSet::~OutputSet() { delete ui; }
void OutputSet::language_changed() { MENU_TRANSLATE(kOutputTitle); }

// ---- LinkOption ---------------------------------------------------------------------------

LinkOption::LinkOption(QWidget* parent) : MenuPage("LinkOption", PAGE_LINKOPTION), ui(new Ui::LinkOption)
{
    (void)parent;
    MENU_SETUP((std::vector<MenuRow>{}));
}
LinkOption::~LinkOption() { delete ui; }
void LinkOption::language_changed() { MENU_TRANSLATE(kLinkTitle); }

// ---- ImageQuality -------------------------------------------------------------------------

ImageQuality::ImageQuality(QWidget* parent) : MenuPage("ImageQuality", PAGE_IMAGEQUALITY), ui(new Ui::ImageQuality)
{
    (void)parent;
    MENU_SETUP((std::vector<MenuRow>{}));
}
ImageQuality::~ImageQuality() { delete ui; }
void ImageQuality::language_changed() { MENU_TRANSLATE(kQualityTitle); }

// ---- AdvancedOption -----------------------------------------------------------------------

const char* const AdvancedOption::kAgingAccessCode = "5738";

AdvancedOption::AdvancedOption(QWidget* parent) : MenuPage("AdvancedOption", PAGE_ADVANCEDOPTION), ui(new Ui::AdvancedOption)
{
    (void)parent;
    MENU_SETUP((std::vector<MenuRow>{}));
}
AdvancedOption::~AdvancedOption() { delete ui; }
void AdvancedOption::language_changed() { MENU_TRANSLATE(kAdvancedTitle); }

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
