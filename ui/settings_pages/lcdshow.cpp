#include "lcdshow.h"

#include <QComboBox>

#include "ui/shell/lang.h"
#include "ui_lcdshow.h"

namespace {
constexpr int kChoices = 3;
constexpr int kBackTicks[kChoices] = {3000, 6000, 120000};
}  // namespace

lcdshow::lcdshow(QWidget* parent) : SettingsPage("lcdshow", PAGE_LCDSHOW), ui(new Ui::lcdshow)
{
    (void)parent;
    ui->setupUi(this);
    finish_construction();
}

lcdshow::~lcdshow() { delete ui; }

void lcdshow::para_init()
{
    // Built once, in the language of the moment; both boxes open on item 0.
    for (const Text4& t : {Text4{"30", "30", "30", "30"}, Text4{"60", "60", "60", "60"},
                           Text4{"从不", "Never", "Отключить", "Không bao giờ khoá"}})
        ui->comboBox_back->addItem(tr4(t));
    for (const Text4& t : {Text4{"5分钟", "5min", "5 мин", "5 phút"}, Text4{"10分钟", "10min", "10 мин", "10 phút"},
                           Text4{"从不", "Never", "Отключить", "Không bao giờ khoá"}})
        ui->comboBox_lock->addItem(tr4(t));
}

void lcdshow::menulist_init()
{
    set_rows({ui->comboBox_back, ui->comboBox_lock}, {&sheets::combo(), &sheets::combo()});
    value_index = 0;
    ui->comboBox_back->setCurrentIndex(0);
}

void lcdshow::language_changed()
{
    ui->label_LCDshow->setText(tr4({"液晶显示", "LCD display", "ЖК дисплей", "Màn hình LCD"}));
    ui->label_backmainwindow->setText(tr4({"返回主界面时长", "To main interface", "Возврат к главному", "Quay lại màn hình chính"}));
    ui->label_autolock->setText(tr4({"自动锁屏", "Auto-screen lock", "Автоблокировка", "Tự đọng khoá màn hình"}));
}

void lcdshow::on_button_backtolock_clicked() { g_back_to_mainwindow_time = kBackTicks[value_index]; }

void lcdshow::on_button_autolock_clicked()
{
    if (value_index == 0)
        g_auto_lock_time = 30000;  // 10 minutes and never keep the value as it is
}

void lcdshow::edit_step(int delta)
{
    value_index = static_cast<u8>((value_index + kChoices + delta) % kChoices);
    static_cast<QComboBox*>(current)->setCurrentIndex(value_index);
}

void lcdshow::ok_pressed(int row)
{
    if (!editing()) {
        set_editing(true);
        return;
    }
    set_editing(false);
    if (row == 0)
        on_button_backtolock_clicked();
    else
        on_button_autolock_clicked();
}
