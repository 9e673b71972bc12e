// The advanced submenu; the aging log sits behind a four-digit access code. Rows are data; a row
// is shown only while a page it leads to is built into the device (its opener is registered).
#include "ui/shell/AdvancedOption.h"

#include "core/log.h"
#include <QLabel>

#include "ui/shell/NumberKeyboard.h"
#include "ui/shell/page_open.h"
#include "ui/shell/text_fit.h"
#include "ui_AdvancedOption.h"

namespace {
const Text4 kAdvancedTitle{"高级设置", "Advanced", "Дополнительно", "Nâng cao"};
const Text4 kCodeTitle{"访问密码", "Access code", "Код доступа", "Mã truy cập"};
const Text4 kWrongCode{"访问密码错误", "Wrong access code", "Неверный код доступа", "Sai mã truy cập"};
}  // namespace

const std::vector<PageFocusId> AdvancedOption::kPages{PAGE_LCDSHOW, PAGE_TESTIMAGE, PAGE_OTHERSETUP, PAGE_FACTORY,
                                                      PAGE_FACTORYAGE};

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
    // Over the key hints until the next key.
    label_tip_ = new QLabel(this);
    label_tip_->setObjectName("label_tip");
    label_tip_->setGeometry(0, 208, 320, 32);
    label_tip_->setAlignment(Qt::AlignCenter);
    label_tip_->setStyleSheet("color:rgb(255,171,84);background-color: rgb(16, 16, 28);font:12px");
    label_tip_->hide();
    language_changed();
}
AdvancedOption::~AdvancedOption() { delete ui; }
void AdvancedOption::language_changed()
{
    translate_frame(ui->label_title, kAdvancedTitle, ui->label_note_ok_text, ui->label_note_back_text);
    translate_rows();
    if (label_tip_)
        label_tip_->setText(tr4(kWrongCode));
}

QString AdvancedOption::tip_text() const
{
    return label_tip_ && label_tip_->isVisible() ? textfit::full_text(label_tip_) : QString();
}

bool AdvancedOption::page_key(int key)
{
    label_tip_->hide();
    return MenuPage::page_key(key);
}
void AdvancedOption::on_Button_LCDshow_clicked() { open_registered(PAGE_LCDSHOW, this); }
void AdvancedOption::on_Button_testimage_clicked() { open_registered(PAGE_TESTIMAGE, this); }
void AdvancedOption::on_Button_other_clicked() { open_registered(PAGE_OTHERSETUP, this); }
void AdvancedOption::on_Button_factory_clicked() { open_registered(PAGE_FACTORY, this); }

void AdvancedOption::on_Button_age_clicked()
{
    if (!g_numberkeyboard)
        return;
    code_accepted_ = code_typed_ = false;
    label_tip_->hide();
    // Connected only while the prompt is up: a page opened from this menu uses the keypad too.
    auto link = connect(g_numberkeyboard, &NumberKeyboard::sendKeyBoardUIDataToLineEdit, this, &AdvancedOption::confirmString);
    g_numberkeyboard->label_show(tr4(kCodeTitle), QString());
    g_numberkeyboard->exec();
    disconnect(link);
    if (!code_accepted_) {
        if (code_typed_) {  // closed without a code: nothing to say
            label_tip_->show();
            label_tip_->raise();
        }
        return;
    }
    open_registered(PAGE_FACTORYAGE, this);
}

void AdvancedOption::confirmString(const QString& text)
{
    code_typed_ = true;
    code_accepted_ = (text == QLatin1String(kAgingAccessCode));
    if (!code_accepted_)
        writeLogMsg(LOG_WARNING, "front panel: wrong access code for the aging log");
}
