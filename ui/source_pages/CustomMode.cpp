#include "ui/source_pages/CustomMode.h"

#include <QComboBox>
#include <QDebug>
#include <QLabel>
#include <cstring>
#include <memory>

#include "ui/shell/panel_keys.h"
#include "ui/source_pages/source_common.h"
#include "ui/source_pages/tlxcontrol.h"
#include "ui_CustomMode.h"

using namespace srcpage;

QWidget* g_button_focus = nullptr;

namespace {
const Text4 kTitle{"用户模式", "User mode", "Слот", "Chế độ người dùng"};
const Text4 kUse{"调用", "Invoke", "Вызвать", "Dùng"};
const Text4 kDelete{"删除", "Delete", "Удалить", "Xoá bỏ"};
// Without a soft hyphen after 使用中: Qt draws one that ends a text as a visible "-".
const Text4 kUsing{"使用中", "Using", "Текущий", "Đang dùng"};
const Text4 kBlank{"未保存用户模式数据", "Usermode does not exist", "Настройки не сохранены", "Chế độ không được lưu"};
const Text4 kEntry{"用户模式%1", "MODE %1", "Слот %1", "Chế độ %1"};
}  // namespace

CustomMode::CustomMode(QWidget* parent) : PageFrame("CustomMode", PAGE_CUSTOMMODE), ui(new Ui::CustomMode)
{
    (void)parent;
    style_focus = "background-color: #212435;color: rgb(255, 255, 255);border:1px solid rgb(255, 171, 84);";
    style_normal = "background-color: #212435;color: rgb(255, 255, 255);border:1px solid rgb(255, 255, 255);";
    ui->setupUi(this);
    preview_font.setPixelSize(10);
    ui->label_blank->hide();
    const int index = store() ? store()->TlxGetCurrentModeIndex() : 0;
    g_mode_select = static_cast<u8>(index > 0 ? index - 1 : 0);
    qDebug() << "custom mode = " << g_mode_select << index;
    selector = new tlxcontrol(QRect(19, 0, 100, 22), QRect(0, 0, 20, 22), QRect(118, 0, 20, 22), this);
    selector->setGeometry(3, 28, 320, 24);
    init();
    lcd_para_init();
    image_para_init();
    menulist_init();
    ui->label_ID->setText(QString::asprintf("ID:%d", g_mode_select + 1));
    g_button_focus = ui->Button_use;
    for (int i = 0; i < 3; ++i)  // white on the row colour before the focus reaches them
        action_button(i)->setStyleSheet(style_normal);
    language_changed();
}

CustomMode::~CustomMode()
{
    if (g_button_focus && isAncestorOf(g_button_focus))
        g_button_focus = nullptr;
    delete ui;
}

void CustomMode::init()
{
    selector->setFocusPolicy(Qt::NoFocus);
    selector->combo_box()->setFocusPolicy(Qt::NoFocus);
    for (int n = 1; n <= MODE_SLOTS; ++n)
        selector->combo_box()->addItem(tr4(kEntry).arg(n));
    selector->combo_box()->setCurrentIndex(g_mode_select);
}

void CustomMode::menulist_init()
{
    menu_list = {selector};
    current = selector;
    action_select = 0;
    action_level = 0;
    ui_select = g_mode_select;
    selector->set_box_default();
}

void CustomMode::language_changed()
{
    ui->label_title->setText(tr4(kTitle));
    ui->Button_use->setText(tr4(kUse));
    ui->Button_delete->setText(tr4(kDelete));
    ui->label_using->setText(tr4(kUsing));
    ui->label_blank->setText(tr4(kBlank));
    for (int i = 0; i < selector->combo_box()->count(); ++i)  // a tool may change the language while the list is open
        selector->combo_box()->setItemText(i, tr4(kEntry).arg(i + 1));
}

void CustomMode::syncUpdate()
{
    PageFrame::syncUpdate();
    follow_mode();
}

// The information and preview of the mode in view again; the action row stays only while the
// mode is saved, and More only while it has an OSD record.
void CustomMode::follow_mode()
{
    tlx_button_mode_clicked();
    if (action_level != 1)
        return;
    if (!get_mode_status()) {
        close_actions();
        return;
    }
    if (action_select >= 3 - more_hidden) {
        action_select = 0;
        tlx_button_selinfo(2, 0);
        tlx_button_selinfo(0, 0);
    }
}

void CustomMode::close_actions()
{
    action_level = 0;
    selector->set_box_default();
    tlx_button_selinfo(2, 0);
    tlx_button_mode_clicked();
}

u32 CustomMode::get_mode_status() { return store() && store()->panel_mode(g_mode_select, nullptr) ? 1 : 0; }

QWidget* CustomMode::action_button(int index) const
{
    QWidget* b[3] = {ui->Button_use, ui->Button_delete, ui->Button_more};
    return index >= 0 && index < 3 ? b[index] : nullptr;
}

QLabel* CustomMode::info_label(const char* name) const { return findChild<QLabel*>(name); }

void CustomMode::tlx_button_mode_clicked()
{
    g_mode_select = ui_select;
    ui->label_ID->setText(QString::asprintf("ID:%d", ui_select + 1));
    lcd_para_init();
    image_para_init();
}

void CustomMode::tlx_button_selinfo(char op, char index)
{
    QWidget* b = action_button(index);
    switch (op) {
    case 0:
        if (b) {
            g_button_focus = b;
            b->setStyleSheet(style_focus);
        }
        tlx_button_mode_clicked();
        break;
    case 1:
        if (b) {
            g_button_focus = b;
            b->setStyleSheet(style_normal);
        }
        break;
    case 2:
        for (int i = 0; i < 3; ++i) {
            g_button_focus = action_button(i);
            g_button_focus->setStyleSheet(style_normal);
        }
        break;
    default:
        break;
    }
}

// ---- use and delete ---------------------------------------------------------------------------

void CustomMode::on_Button_use_clicked()
{
    const int slot = g_mode_select;
    auto mode = std::make_shared<MODE_SLOT>();
    if (!store() || !store()->panel_mode(slot, mode.get()))
        return;
    apply(1, [slot, mode](u8* image) {
        // Whole words, as the remote writes do: the FPGA thread reads window fields without the lock.
        ram_wr16(image, ram_current_mode, static_cast<u16>((slot + 1) & 0xFF));
        ram_copy_in(image, RAM_MODE_BASE, mode->image(), RAM_MODE_LEN);
    });
}

void CustomMode::on_Button_delete_clicked()
{
    if (!get_mode_status())
        return;
    store()->mode_file_deal(g_mode_select, 1);
    lcd_para_init();
    image_para_init();
}

// ---- keys -------------------------------------------------------------------------------------

bool CustomMode::page_key(int key)
{
    if (action_level == 1 && !get_mode_status()) {
        close_actions();  // a tool deleted the mode: the key meant its actions
        return true;
    }
    if (action_level == 0)
        key_browse(key);
    else
        key_actions(key);
    return true;
}

void CustomMode::key_browse(int key)
{
    switch (key) {
    case KEY_RIGHT:
    case KEY_LEFT:
        qDebug("this is %s-code [CustomMode][Release] ui_select=%#x", key == KEY_LEFT ? "left" : "right", ui_select);
        selector->set_box_default();
        if (key == KEY_RIGHT)
            ui_select = static_cast<u8>(ui_select >= MODE_SLOTS - 1 ? 0 : ui_select + 1);
        else
            ui_select = static_cast<u8>(ui_select == 0 ? MODE_SLOTS - 1 : ui_select - 1);
        selector->set_boxindexsel(static_cast<char>(ui_select));
        tlx_button_mode_clicked();
        break;
    case KEY_OK:
        qDebug("this is OK button(CustomMode)[Release]\n");
        if (get_mode_status() == 1) {
            action_level = 1;
            selector->set_box_modify();
            action_select = 0;
            tlx_button_selinfo(0, 0);
        }
        break;
    case KEY_BACK:
        qDebug("this is back button(CustomMode)[Release]\n");
        slot_Button_back_clicked();
        break;
    }
}

void CustomMode::key_actions(int key)
{
    const int buttons = 3 - more_hidden;
    switch (key) {
    case KEY_RIGHT:
        tlx_button_selinfo(1, static_cast<char>(action_select));
        action_select = static_cast<u8>(action_select + 1 >= buttons ? 0 : action_select + 1);
        tlx_button_selinfo(0, static_cast<char>(action_select));
        break;
    case KEY_LEFT:
        tlx_button_selinfo(1, static_cast<char>(action_select));
        action_select = static_cast<u8>(action_select == 0 ? buttons - 1 : action_select - 1);
        tlx_button_selinfo(0, static_cast<char>(action_select));
        break;
    case KEY_OK:
        action_level = 0;
        selector->set_box_default();
        if (action_select == 0)
            on_Button_use_clicked();
        else if (action_select == 1)
            on_Button_delete_clicked();
        tlx_button_selinfo(2, 0);
        break;
    case KEY_BACK:
        close_actions();
        break;
    }
}
