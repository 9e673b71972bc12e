#include "ui/source_pages/InputCut.h"

#include <QDebug>
#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <cstdio>

#include "ui/shell/My_lineEdit.h"
#include "ui/shell/NumberKeyboard.h"
#include "ui/shell/panel_keys.h"
#include "ui/shell/text_fit.h"
#include "ui/source_pages/InputChoose.h"
#include "ui/source_pages/source_common.h"
#include "ui_InputCut.h"

using namespace srcpage;

namespace {
const Text4 kTitle{"输入截取", "Input intercept", "Источник", "Chặn nguồn vào"};
const Text4 kCrop{"截取:", "Crop:", "Обрезать:", "Cắt:"};
const Text4 kW{"宽", "W", "Ширина", "Rộng"};
const Text4 kH{"高", "H", "Высота", "Cao"};
const Text4 kCancel{"取消", "Cancle", "Отмена", "Hủy bỏ"};
const Text4 kOk{"确定", "OK", "OK", "Đồng ý"};
const Text4 kDelete{"删除", "Delete", "Удалить", "Xoá bỏ"};
const Text4 kCropGone{"该截取已被其他设备删除", "Crop removed by another control", "Обрезка удалена извне",
                      "Vùng cắt đã bị xoá từ xa"};
const Text4 kOutOfRange{"请输入0到65535", "Enter 0 to 65535", "Введите от 0 до 65535", "Nhập từ 0 đến 65535"};
const Text4 kTableFull{"截取已满，请先删除一个", "No room: delete a crop first", "Нет места: удалите обрезку",
                       "Hết chỗ: hãy xoá một vùng cắt"};

const char* const kStripImage[6] = {":/png/HDMI13.png", ":/png/HDMI13.png", ":/png/HDMI20.png",
                                    ":/png/HDMI20.png", ":/png/DVI.png",    ":/png/HDMI.png"};
const char* const kCard = "background-color: #212435;border:1px solid #CCCCCC;";
const char* const kCardFocus = "background-color: #212435;border:1px solid #FFA854;";
const char* const kCardText = "background-color:#212435;color:#FFFFFF";
const char* const kAdd = "border:0px solid rgb(0,0,0);";
const char* const kAddFocus = "border:1px solid rgb(255,171,84);";

constexpr int kItemDelete = 4;
constexpr int kItemCancel = 5;
constexpr int kItemOk = 6;
constexpr int kItems = 7;
}  // namespace

InputCut::InputCut(QWidget* parent)
    : PageFrame("InputCut", PAGE_INPUTCUT),
      ui(new Ui::InputCut),
      style_tab_other_("border:1px solid;background-color: rgb(16,16, 28);border-left-color:rgb(71, 119, 255);"
                       "border-right-color:rgb(71, 119, 255);border-top-color:rgb(71, 119, 255);"),
      style_tab_level0_("border:1px solid;background-color: rgb(16,16, 28);border-left-color:rgb(255,171,84);"
                        "border-right-color:rgb(255,171,84);border-top-color:rgb(255,171,84);"),
      style_panel_other_("#frame_source{background-color: rgb(16,16, 28);border:1px solid rgb(71, 119, 255);}"),
      style_panel_level0_("#frame_source{background-color: rgb(16,16, 28);border:1px solid rgb(255,171,84);}"),
      style_item_normal_("color:rgb(255, 255, 255);background-color: rgb(33, 36, 53);border:1px solid rgb(255, 255, 255);font:10px"),
      style_item_focus_("color:rgb(255, 255, 255);background-color: rgb(33, 36, 53);border:1px solid rgb(255,171,84);font:10px"),
      field_names_{"lineEdit_X", "lineEdit_Y", "lineEdit_W", "lineEdit_H"}
{
    (void)parent;
    ui->setupUi(this);
    QLabel* strip[6] = {ui->label_HDMI1, ui->label_HDMI2, ui->label_HDMI3, ui->label_HDMI4, ui->label_DVI, ui->label_EXT};
    for (int c = 0; c < 6; ++c) {
        strip[c]->setPixmap(QPixmap(kStripImage[c]));
        strip[c]->setScaledContents(true);
    }
    source_tab = new QFrame(this);
    source_tab->setGeometry(1, 40, 53, 41);
    source_tab->setStyleSheet(style_tab_level0_);
    crop_source_num_update();
    source_name = "HDMI1";
    source_tab->lower();
    menulist_init();
    source_init();
    ui->frame_add->hide();
    label_tip_ = new QLabel(this);
    label_tip_->setObjectName("label_tip");
    label_tip_->setGeometry(10, 208, 300, 22);
    label_tip_->setAlignment(Qt::AlignCenter);
    label_tip_->setStyleSheet("color:rgb(255,171,84);");
    label_tip_->setFont(pixel_font(10));
    label_tip_->hide();
    const char* texts[3] = {"取消", "确定", "删除"};
    QPushButton** buttons[3] = {&button_cancel, &button_ok, &button_delete};
    for (int i = 0; i < 3; ++i) {
        *buttons[i] = new QPushButton(QString::fromUtf8(texts[i]), this);
        (*buttons[i])->setStyleSheet(style_item_normal_);
        (*buttons[i])->setFocusPolicy(Qt::NoFocus);
        (*buttons[i])->hide();
    }
    for (int i = 0; i < 4; ++i) {
        field(i)->setStyleSheet(style_item_normal_);
        connect(field(i), &My_lineEdit::send_show, this, &InputCut::show_numberkeyboard_ui);
    }
    if (g_numberkeyboard)
        connect(g_numberkeyboard, &NumberKeyboard::sendKeyBoardUIDataToLineEdit, this, &InputCut::confirmString);
    language_changed();
}

InputCut::~InputCut() { delete ui; }

void InputCut::menulist_init()
{
    ui_select = 0;
    ui_seltype = 0;
}

void InputCut::language_changed()
{
    ui->label_title->setText(tr4(kTitle));
    ui->label_crop->setText(tr4(kCrop));
    ui->label_W->setText(tr4(kW));
    ui->label_H->setText(tr4(kH));
    button_cancel->setText(tr4(kCancel));
    button_ok->setText(tr4(kOk));
    button_delete->setText(tr4(kDelete));
    label_tip_->setText(tip_words());
}

void InputCut::syncUpdate()
{
    PageFrame::syncUpdate();
    crop_source_num_update();
    if (ui_seltype >= 2) {
        source_current_check();
        if (!follow_edit_row()) {
            source_init();  // the cards behind the edit row as the table holds them
            if (button_add)
                button_add->hide();
        }
        return;
    }
    // The cards show the table as it is now.
    if (ui_seltype == 1)
        clamp_card_focus();
    source_init();
}

QString InputCut::tip_text() const { return label_tip_->isVisible() ? textfit::full_text(label_tip_) : QString(); }

QString InputCut::tip_words() const
{
    return tr4(tip_ == Tip::OutOfRange ? kOutOfRange : tip_ == Tip::TableFull ? kTableFull : kCropGone);
}

void InputCut::show_tip(bool on, Tip what)
{
    tip_ = on ? what : Tip::CropGone;
    label_tip_->setText(tip_words());
    // A refused value: beside the crop's name, as the row and its buttons stay open.
    label_tip_->setGeometry(tip_ == Tip::OutOfRange ? QRect(170, 147, 145, 16) : QRect(10, 208, 300, 22));
    label_tip_->setVisible(on);
    label_tip_->raise();
}

My_lineEdit* InputCut::field(int i) const
{
    My_lineEdit* f[4] = {ui->lineEdit_X, ui->lineEdit_Y, ui->lineEdit_W, ui->lineEdit_H};
    return i >= 0 && i < 4 ? f[i] : nullptr;
}

QPushButton* InputCut::edit_button(int item) const
{
    return item == kItemDelete ? button_delete : item == kItemCancel ? button_cancel : item == kItemOk ? button_ok : nullptr;
}

QString InputCut::edit_name() const { return textfit::full_text(ui->label_change_source); }

QWidget* InputCut::edit_item(int item) const
{
    if (item >= 0 && item < 4)
        return field(item);
    return edit_button(item);
}

// ---- strip and cards ----------------------------------------------------------------------------

void InputCut::crop_source_num_update()
{
    for (int c = 0; c < 6; ++c)
        crop_count[c] = static_cast<u8>(entry_count(kColumnSource[c]));
    source_name_update();
}

void InputCut::source_name_update()
{
    QLabel* labels[6] = {ui->label_HDMI1_text, ui->label_HDMI2_text, ui->label_HDMI3_text,
                         ui->label_HDMI4_text, ui->label_DVI_text,   ui->label_EXT_text};
    for (int c = 0; c < 6; ++c) {
        set_strip_label(labels[c], kColumnSource[c], "#ffffff", crop_count[c], false);
    }
}

int InputCut::source_current_check()
{
    refresh_crop_ids();
    max_source_info = entry_count(source_number);
    last_page = static_cast<u8>((max_source_info + 5) / 6 - 1);
    return max_source_info;
}

int InputCut::entry_of_position(int position) const
{
    return current_page == 0 ? position - 1 : 6 * current_page + position;
}

void InputCut::source_init()
{
    source_current_check();
    if (current_page > last_page)
        current_page = last_page;
    const int cards = std::min(6, max_source_info - 6 * current_page);
    delete frame_source;
    card_names_.clear();
    frame_source = new QFrame(this);
    frame_source->setGeometry(1, 80, 318, 120);
    frame_source->setObjectName("frame_source");
    frame_source->setStyleSheet(ui_seltype == 0 ? style_panel_level0_ : style_panel_other_);
    frame_source->lower();
    card_font.setPixelSize(10);
    for (int k = 0; k < cards; ++k)
        build_card(k, 6 * current_page + k);
    button_add = new QPushButton(frame_source);
    button_add->setGeometry(292, 10, 20, 20);
    button_add->setIcon(QIcon(":/png/add.png"));
    button_add->setIconSize(QSize(20, 20));
    button_add->setFocusPolicy(Qt::NoFocus);
    button_add->setStyleSheet(ui_seltype == 1 && ui_select == 0 && current_page == 0 ? kAddFocus : kAdd);
    frame_source->show();
}

void InputCut::build_card(int k, int entry)
{
    const int cx = 95 * (k % 3);
    const int cy = 55 * (k / 3);
    auto* card = new QFrame(frame_source);
    card->setGeometry(5 + cx, 10 + cy, 92, 45);
    const int focus_position = current_page == 0 ? k + 1 : k;
    card->setStyleSheet(ui_seltype == 1 && ui_select == focus_position ? kCardFocus : kCard);
    picture(frame_source, ":/png/state_on.png", QRect(10 + cx, 12 + cy, 7, 7));
    picture(frame_source, source_number == 1 ? ":/png/DVI.png" : ":/png/HDMI.png", QRect(20 + cx, 12 + cy, 25, 8),
            "background-color: #212435;");
    auto* name = new QLabel(frame_source);
    name->setGeometry(7 + cx, 23 + cy, 80, 12);
    auto* size = new QLabel(frame_source);
    size->setGeometry(7 + cx, 38 + cy, 88, 12);
    for (QLabel* l : {name, size}) {
        l->setFont(card_font);
        l->setStyleSheet(kCardText);
    }
    card_texts(name, size, source_number, source_name, entry, &crop_name);
    card_names_ << name->text();
}

void InputCut::tlx_button_input_clicked()
{
    if (ui_seltype == 0) {
        source_number = static_cast<u8>(kColumnSource[ui_select % 6]);
        source_name = name_of(source_number);
        source_tab->setGeometry(1 + 53 * (ui_select % 6), 40, 53, 41);
        source_tab->setStyleSheet(style_tab_level0_);
    } else {
        source_tab->setStyleSheet(style_tab_other_);
    }
    source_tab->lower();
    source_init();
}

void InputCut::tlx_sel_info(int select, int type, int base)
{
    if (type == 2) {
        for (int i = 0; i < kItems; ++i)
            edit_item(i)->setStyleSheet(style_item_normal_);
        return;
    }
    QWidget* w = edit_item(select - base);
    if (!w)
        return;
    if (type == 0)
        w->setStyleSheet(style_item_normal_);
    else if (type == 1)
        w->setStyleSheet(style_item_focus_);
}

void InputCut::para_changed_over()
{
    ui->frame_add->hide();
    button_cancel->hide();
    button_ok->hide();
    button_delete->hide();
    if (button_add)
        button_add->show();
}

void InputCut::show_edit_buttons(bool with_delete)
{
    ui->frame_add->show();
    button_cancel->show();
    button_ok->show();
    button_delete->setVisible(with_delete);
    if (button_add)
        button_add->hide();
}

// ---- the edit row -------------------------------------------------------------------------------

void InputCut::show_edit_name(int n)
{
    crop_name = QString::asprintf("-Crop-%d", n);
    ui->label_change_source->setText(tr4(kNamePrefix) + source_name + crop_name);
}

void InputCut::set_edit_item(int item)
{
    edit_item_ = static_cast<u8>(item);
    ui_select = static_cast<u8>(max_source_info + item);
}

// The crop the edit row was opened for, after a tool changed the table: it keeps its place
// in the row under its new entry number, and the fields the user has not typed show its
// values now; when it is gone the row closes with a tip, and nothing is stored. True when
// the row closed.
bool InputCut::follow_edit_row()
{
    if (ui_seltype == 2) {
        set_edit_item(edit_item_);
        show_edit_name(max_source_info);
        return false;
    }
    if (ui_seltype != 3)
        return false;
    CROP_PARA crop;
    const int row = crop_of_id(source_number, edit_crop_id_, &crop);
    const int entry = entry_of_row(source_number, row);
    if (row == kNoRow || entry == kNoEntry) {
        close_edit_row();
        show_tip(true);
        return true;
    }
    crop_number = static_cast<u8>(entry);
    show_edit_name(crop_number);
    const int values[4] = {crop.x, crop.y, crop.width, crop.height};
    for (int i = 0; i < 4; ++i)
        if (!(typed_fields_ & (1 << i)))
            field(i)->setText(QString::asprintf("%d", values[i]));
    set_edit_item(edit_item_);
    return false;
}

void InputCut::close_edit_row()
{
    ui_seltype = 1;
    ui_select = saved_card_select;
    clamp_card_focus();
    tlx_button_input_clicked();
    para_changed_over();
    tlx_sel_info(0, 2, max_source_info);
}

// Back from editing, the focus is on the edited crop's card, wherever the table moved it.
void InputCut::focus_edited_card()
{
    if (edit_level_ != 3)
        return;
    CROP_PARA crop;
    const int entry = entry_of_row(source_number, crop_of_id(source_number, edit_crop_id_, &crop));
    if (entry == kNoEntry)
        return;
    current_page = static_cast<u8>(entry / 6);
    ui_select = static_cast<u8>(current_page == 0 ? entry + 1 : entry - 6 * current_page);
}

// The card focus after the list got shorter: it stays on its position while that still holds
// an entry, else it goes to the new last entry (a page back when that page is gone).
void InputCut::clamp_card_focus()
{
    source_current_check();
    if (current_page > last_page || entry_of_position(ui_select) >= max_source_info) {
        const int last = max_source_info - 1;
        current_page = last_page;
        ui_select = static_cast<u8>(current_page == 0 ? last + 1 : last - 6 * current_page);
    }
}

// The stored crop with the fields the user typed put over it.
CROP_PARA InputCut::typed_over(const CROP_PARA& stored) const
{
    int v[4] = {stored.x, stored.y, stored.width, stored.height};
    for (int i = 0; i < 4; ++i) {
        if (edit_level_ == 3 && !(typed_fields_ & (1 << i)))
            continue;
        bool ok = false;
        v[i] = field(i)->text().toUShort(&ok, 10);  // the keypad's answer was checked: 0..65535
        if (!ok)
            v[i] = 0;
    }
    return CROP_PARA{stored.key, v[0], v[1], v[2], v[3]};
}

void InputCut::tlx_button_add_clicked()
{
    if (button_add)
        button_add->hide();
    typed_fields_ = 0;
    edit_crop_id_ = 0;
    show_edit_name(max_source_info);
    const char* values[4] = {"0", "0", "1920", "1080"};
    for (int i = 0; i < 4; ++i)
        field(i)->setText(values[i]);
    button_cancel->setGeometry(80, 210, 60, 18);
    button_ok->setGeometry(150, 210, 60, 18);
    show_edit_buttons(false);
}

void InputCut::tlx_button_source_clicked()
{
    crop_number = static_cast<u8>(std::max(0, entry_of_position(ui_select)));
    qDebug("this is tlx_button_source_clicked [InputCut][Release] [ui_select=%#x] [current_pag=%#x][crop_number=%#x] ",
           ui_select, current_page, crop_number);
    if (crop_number == 0) {
        para_changed_over();
        return;
    }
    if (button_add)
        button_add->hide();
    show_edit_name(crop_number);
    CROP_PARA crop;
    crop_entry(source_number, crop_number, &crop);
    edit_crop_id_ = static_cast<u8>(crop_id_of(crop));
    typed_fields_ = 0;
    const int values[4] = {crop.x, crop.y, crop.width, crop.height};
    for (int i = 0; i < 4; ++i)
        field(i)->setText(QString::asprintf("%d", values[i]));
    button_cancel->setGeometry(120, 210, 60, 18);
    button_ok->setGeometry(190, 210, 60, 18);
    button_delete->setGeometry(50, 210, 60, 18);
    show_edit_buttons(true);
}

void InputCut::tlx_button_ok_clicked()
{
    bool added_none = false;
    if (TlxRamPara* st = store()) {
        if (edit_level_ == 3) {
            if (g_debugSwitch == 254)
                std::printf("\n tlx_button_ok_clicked soureinfo [source_number = %d] [crop_number=%d]\n", source_number,
                            crop_number);
            CROP_PARA stored;
            crop_of_id(source_number, edit_crop_id_, &stored);
            const CROP_PARA crop = typed_over(stored);
            // Only what the user typed is written, to the crop the row was opened for.
            if (typed_fields_ && !st->TlxSetCropById(source_number, edit_crop_id_, &crop))
                show_tip(true);
        } else {
            if (g_debugSwitch == 254)
                std::printf("\n tlx_button_ok_clicked add [source_number = %d] \n", source_number);
            const CROP_PARA crop = typed_over(CROP_PARA{source_number, 0, 0, 0, 0});
            // The table may have filled up (a tool's rows) since the row was opened.
            added_none = !st->TlxAddNewCrop(source_number, &crop);
        }
        st->TlxCropSourceInit();
    }
    crop_source_num_update();
    clamp_card_focus();
    source_init();
    para_changed_over();
    if (added_none)
        show_tip(true, Tip::TableFull);
    qDebug("this is back button(InputCut)[tlx_button_ok_clicked]\n");
}

void InputCut::tlx_button_cancel_clicked()
{
    source_init();
    para_changed_over();
}

void InputCut::tlx_button_delete_clicked()
{
    if (TlxRamPara* st = store()) {
        if (!st->TlxDeleteCropById(source_number, edit_crop_id_))
            show_tip(true);
        st->TlxCropSourceInit();
    }
    clamp_card_focus();
    crop_source_num_update();
    source_init();
    para_changed_over();
    qDebug("this is back button(InputCut)[tlx_button_delete_clicked]\n");
}

// ---- keypad -----------------------------------------------------------------------------------

void InputCut::show_numberkeyboard_ui(QString)
{
    auto* f = qobject_cast<QLineEdit*>(sender());
    if (!f)
        return;
    const QString name = f->objectName();
    QString title = name == field_names_[0] ? "X" : name == field_names_[1] ? "Y" : "";
    if (name == field_names_[2])
        title = g_language == 0 ? QString::fromUtf8("宽") : "W";
    else if (name == field_names_[3])
        title = g_language == 0 ? QString::fromUtf8("高") : "H";
    open_keypad(f, title);
}

void InputCut::confirmString(QString text)
{
    QLineEdit* f = keypad_field_on(this);
    if (!f)
        return;
    // A crop value is a 16-bit word: anything else ("-5", "70000") is refused, the field
    // keeps what it showed.
    bool ok = false;
    text.toUShort(&ok, 10);
    if (!ok) {
        show_tip(true, Tip::OutOfRange);
        return;
    }
    f->setText(text);
    for (int i = 0; i < 4; ++i)
        if (f == field(i))
            typed_fields_ |= static_cast<u8>(1 << i);
}

// ---- back -------------------------------------------------------------------------------------

void InputCut::retranslate_parent()
{
    PageFrame* parent = parent_page();
    if (auto* choose = qobject_cast<InputChoose*>(parent)) {
        choose->language_changed();
        choose->initSource();
        choose->crop_source_num_update();
    } else if (parent) {
        parent->language_changed();
    }
}

// ---- keys -------------------------------------------------------------------------------------

bool InputCut::page_key(int key)
{
    show_tip(false);
    source_current_check();
    if (follow_edit_row())
        return true;  // the key meant the closed row: it does nothing else
    if (ui_seltype == 1)
        clamp_card_focus();
    switch (key) {
    case KEY_RIGHT:
    case KEY_LEFT:
        qDebug("this is %s-code [InputCut][Release] [ui_select=%#x] [current_pag=%#x] [max_source_info=%#x]",
               key == KEY_LEFT ? "left" : "right", ui_select, current_page, max_source_info);
        break;
    case KEY_OK:
        qDebug("this is OK [InputCut][Release] [ui_select=%#x] [current_pag=%#x] [max_source_info=%#x]", ui_select,
               current_page, max_source_info);
        break;
    default:
        qDebug("this is back button(InputCut)[Release]\n");
        break;
    }
    switch (ui_seltype) {
    case 0: key_sources(key); break;
    case 1: key_cards(key); break;
    default: key_edit_row(key); break;
    }
    return true;
}

void InputCut::key_sources(int key)
{
    switch (key) {
    case KEY_LEFT:
        current_page = 0;
        ui_select = static_cast<u8>(ui_select == 0 ? 5 : ui_select - 1);
        tlx_button_input_clicked();
        break;
    case KEY_RIGHT:
        current_page = 0;
        ui_select = static_cast<u8>(ui_select >= 5 ? 0 : ui_select + 1);
        tlx_button_input_clicked();
        break;
    case KEY_OK:
        saved_source_select = ui_select;
        ui_select = 0;
        current_page = 0;
        ui_seltype = 1;
        tlx_button_input_clicked();
        break;
    case KEY_BACK:
        slot_Button_back_clicked();
        break;
    }
}

void InputCut::key_cards(int key)
{
    switch (key) {
    case KEY_RIGHT: {
        int pos = ui_select + 1;
        const bool past_last = current_page == 0 ? pos > max_source_info : 6 * current_page + pos >= max_source_info;
        if (past_last) {
            current_page = 0;
            pos = 0;
        } else if (pos >= (current_page == 0 ? 7 : 6)) {
            current_page = static_cast<u8>(current_page >= last_page ? 0 : current_page + 1);
            pos = 0;
        }
        ui_select = static_cast<u8>(pos);
        tlx_button_input_clicked();
        break;
    }
    case KEY_LEFT:
        if (ui_select > 0) {
            ui_select = static_cast<u8>(ui_select - 1);
        } else if (current_page == 0) {
            current_page = last_page;
            ui_select = static_cast<u8>(last_page == 0 ? max_source_info : max_source_info - 1 - 6 * last_page);
        } else {
            current_page = static_cast<u8>(current_page - 1);
            ui_select = static_cast<u8>(current_page == 0 ? 6 : 5);
        }
        tlx_button_input_clicked();
        break;
    case KEY_OK:
        if (current_page == 0 && ui_select == 0) {
            saved_card_select = 0;
            set_edit_item(0);
            tlx_button_add_clicked();
            ui_seltype = edit_level_ = 2;
            tlx_sel_info(ui_select, 1, max_source_info);
        } else if (!(current_page == 0 && ui_select == 1)) {
            ui_seltype = edit_level_ = 3;
            tlx_button_input_clicked();
            tlx_button_source_clicked();
            saved_card_select = ui_select;
            set_edit_item(0);
            tlx_sel_info(ui_select, 1, max_source_info);
        }
        break;
    case KEY_BACK:
        ui_seltype = 0;
        ui_select = saved_source_select;
        tlx_button_input_clicked();
        break;
    }
}

void InputCut::key_edit_row(int key)
{
    const int item = edit_item_;
    auto step = [this, item](int delta) {
        tlx_sel_info(ui_select, 0, max_source_info);
        int next = item;
        do
            next = (next + delta + kItems) % kItems;
        while (next == kItemDelete && ui_seltype == 2);
        set_edit_item(next);
        tlx_sel_info(ui_select, 1, max_source_info);
    };
    auto back_to_cards = [this] {
        ui_seltype = 1;
        ui_select = saved_card_select;
        focus_edited_card();
    };
    switch (key) {
    case KEY_RIGHT: step(+1); break;
    case KEY_LEFT: step(-1); break;
    case KEY_OK:
        if (item < 4) {
            emit field(item)->send_show(field_names_[item]);
        } else if (item == kItemOk) {
            back_to_cards();
            tlx_button_ok_clicked();
            tlx_sel_info(0, 2, max_source_info);
        } else if (item == kItemCancel) {
            back_to_cards();
            tlx_button_cancel_clicked();
            tlx_sel_info(0, 2, max_source_info);
        } else if (item == kItemDelete && ui_seltype == 3) {
            back_to_cards();
            tlx_button_delete_clicked();
            tlx_sel_info(0, 2, max_source_info);
        }
        break;
    case KEY_BACK:
        back_to_cards();
        tlx_button_input_clicked();
        tlx_button_cancel_clicked();
        tlx_sel_info(0, 2, max_source_info);
        break;
    }
}
