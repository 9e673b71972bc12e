#include "ui/source_pages/EDIDset.h"

#include <QDebug>
#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include "ui/shell/My_lineEdit.h"
#include "ui/shell/TIP.h"
#include "ui/shell/NumberKeyboard.h"
#include "ui/shell/panel_keys.h"
#include "ui/source_pages/InputChoose.h"
#include "ui/shell/text_fit.h"
#include "ui/source_pages/source_common.h"
#include "ui_EDIDset.h"
#include "video_io/edid_images.h"

using namespace srcpage;

namespace {
const Text4 kTitle{"设置EDID", "EDID Settings", "Настройка EDID", "Cài đặt EDID"};
const Text4 kSourcePrefix{"EDID信源:", "EDID source:", "Источник EDID:", "Tín hiệu EDID:"};
const Text4 kW{"宽", "W", "Ширина", "Rộng"};
const Text4 kH{"高", "H", "Высота", "Cao"};
const Text4 kFreq{"刷新率", "Refresh rate", "Частота", "Tần số"};
const Text4 kCancel{"取消", "Cancle", "Отмена", "Hủy bỏ"};
const Text4 kSave{"保存", "SAVE", "Сохранить", "lưu"};
const Text4 kDelete{"删除", "Delete", "Удалить", "Xoá bỏ"};
const Text4 kSizeFault{"宽和高须为1至4095", "W and H: 1 to 4095", "Ширина и высота: 1–4095", "Rộng và cao: 1 đến 4095"};
const Text4 kClockFault{"像素时钟超出范围", "Pixel clock out of range", "Частота пикселей вне диапазона",
                        "Xung điểm ảnh ngoài phạm vi"};

// Strip column: EDID record and icon.
const int kColumnPort[6] = {2, 3, 4, 5, 1, 0};
const char* const kIcon[6] = {":/png/HDMI13.png", ":/png/HDMI13.png", ":/png/HDMI20.png",
                              ":/png/HDMI20.png", ":/png/DVI.png",    ":/png/HDMI.png"};
const char* const kNames[6] = {"HDMI1", "HDMI2", "HDMI3", "HDMI4", "DVI", "EXT"};
const QRect kButtonRect[3] = {QRect(65, 214, 50, 20), QRect(135, 214, 50, 20), QRect(205, 214, 50, 20)};

constexpr int kRowRate = 2;
constexpr int kRowDelete = 3;  // then Cancel (4): OK on either closes the panel unsaved
constexpr int kRowSave = 5;

// The EDID record of input `port`: width, height, refresh, unsigned as stored.
void edid_record(int port, int v[3])
{
    const u8* img = live_image();
    for (int i = 0; i < 3; ++i)
        v[i] = img ? ram_rd16(img, ram_edid_addr(port) + 2 * i) : 0;
}

int16_t to_short(const QString& text)
{
    bool ok = false;
    const short v = text.toShort(&ok, 10);
    return ok ? v : 0;
}
}  // namespace

EDIDset::EDIDset(QWidget* parent)
    : PageFrame("EDIDset", PAGE_EDIDSET),
      ui(new Ui::EDIDset),
      style_frame_open_("border:1px solid;border-bottom-color:rgb(16,16,28);border-left-color:rgb(71, 119, 255);"
                        "border-right-color:rgb(71, 119, 255);border-top-color:rgb(71, 119, 255);"),
      style_frame_strip_("border:1px solid;border-bottom-color:rgb(16,16,28);border-left-color:rgb(255,171,84);"
                         "border-right-color:rgb(255,171,84);border-top-color:rgb(255,171,84);"),
      style_card_open_("#frame_source{border:1px solid rgb(71, 119, 255);}"),
      style_card_strip_("#frame_source{border:1px solid rgb(255,171,84);}"),
      style_field_normal_("color:rgb(255,255,255);background-color: rgb(33, 36, 53) ; border:1px solid rgb(255,255,255);"),
      style_field_focus_("color:rgb(255,255,255);background-color: rgb(33, 36, 53); border:1px solid rgb(255,171,84);"),
      style_button_normal_("color: rgb(255, 255, 255);background-color: rgb(33, 36, 53) ; border:1px solid rgb(255,255,255);;"),
      style_button_focus_("color: rgb(255, 255, 255);background-color: rgb(33, 36, 53); border:1px solid rgb(255,171,84);"),
      style_rate_edit_("color:rgb(255,255,255);background-color: rgb(33, 36, 53); border:1px solid rgb(255,0,0);")
{
    (void)parent;
    ui->setupUi(this);
    QLabel* icons[6] = {ui->label_HDMI1, ui->label_HDMI2, ui->label_HDMI3, ui->label_HDMI4, ui->label_DVI, ui->label_EXT};
    for (int c = 0; c < 6; ++c) {
        icons[c]->setPixmap(QPixmap(kIcon[c]));
        icons[c]->setScaledContents(true);
    }
    port_frame = new QFrame(this);
    port_frame->setGeometry(4, 38, 50, 43);
    port_frame->setStyleSheet(style_frame_strip_);
    port_frame->lower();
    ui->frame_add->hide();
    const char* texts[3] = {"删除", "取消", "保存"};
    QPushButton** buttons[3] = {&button_delete, &button_cancel, &button_save};
    QFont font;
    font.setPixelSize(9);
    for (int i = 0; i < 3; ++i) {
        *buttons[i] = new QPushButton(QString::fromUtf8(texts[i]), this);
        (*buttons[i])->setFont(font);
        (*buttons[i])->setStyleSheet("color: rgb(255, 255, 255);border:1px solid rgb(255, 255, 255);font:9px");
        (*buttons[i])->setFocusPolicy(Qt::NoFocus);
        (*buttons[i])->hide();
    }
    connect(ui->lineEdit_W, &My_lineEdit::send_show, this, &EDIDset::show_numberkeyboard_ui);
    connect(ui->lineEdit_H, &My_lineEdit::send_show, this, &EDIDset::show_numberkeyboard_ui);
    if (g_numberkeyboard)
        connect(g_numberkeyboard, &NumberKeyboard::sendKeyBoardUIDataToLineEdit, this, &EDIDset::confirmString);
    menulist_init();
    source_init();
    language_changed();
}

EDIDset::~EDIDset() { delete ui; }

My_lineEdit* EDIDset::width_field() const { return ui->lineEdit_W; }
My_lineEdit* EDIDset::height_field() const { return ui->lineEdit_H; }
QString EDIDset::rate_text() const { return textfit::full_text(ui->label_rate); }
bool EDIDset::panel_open() const { return !ui->frame_add->isHidden(); }
QString EDIDset::card_text() const { return card_values_ ? textfit::full_text(card_values_) : QString(); }

void EDIDset::menulist_init()
{
    menu_list = {button_delete, button_cancel, button_save, ui->lineEdit_W, ui->lineEdit_H};
    ui_select = ui_line_select = ui_seltype = rate_sel = 0;
    focus_button = button_delete;
    focus_edit = ui->lineEdit_W;
    focus_button->setStyleSheet(style_button_normal_);
    focus_edit->setStyleSheet(style_button_normal_);
}

void EDIDset::language_changed()
{
    ui->label_title->setText(tr4(kTitle));
    ui->label_edid_source->setText(tr4(kSourcePrefix) + source_name);
    ui->label_W->setText(tr4(kW));
    ui->label_H->setText(tr4(kH));
    ui->label_freq->setText(tr4(kFreq));
    button_cancel->setText(tr4(kCancel));
    button_save->setText(tr4(kSave));
    button_delete->setText(tr4(kDelete));
}

QWidget* EDIDset::row_widget(int row) const
{
    QWidget* rows[6] = {ui->lineEdit_W, ui->lineEdit_H, ui->label_rate, button_delete, button_cancel, button_save};
    return row >= 0 && row < 6 ? rows[row] : nullptr;
}

void EDIDset::style_row(int row, bool focus)
{
    QWidget* w = row_widget(row);
    if (!w)
        return;
    if (row < kRowDelete)
        w->setStyleSheet(focus ? style_field_focus_ : style_field_normal_);
    else
        w->setStyleSheet(focus ? style_button_focus_ : style_button_normal_);
    if (focus && row < kRowRate)
        focus_edit = w;
    else if (focus && row >= kRowDelete)
        focus_button = w;
}

// ---- card and panel ---------------------------------------------------------------------------

void EDIDset::tlx_button_input_clicked()
{
    const int c = ui_select % 6;
    port_frame->setGeometry(4 + 52 * c, 38, 50, 43);
    edid_port = static_cast<u8>(kColumnPort[c]);
    source_name = kNames[c];
    source_init();
}

void EDIDset::source_init()
{
    delete frame_source;
    frame_source = new QFrame(this);
    frame_source->setObjectName("frame_source");
    frame_source->setGeometry(4, 80, 310, 120);
    frame_source->setStyleSheet(ui_seltype != 0 ? style_card_open_ : style_card_strip_);
    frame_source->lower();
    auto* inner = new QFrame(frame_source);
    inner->setGeometry(10, 10, 120, 50);
    inner->setStyleSheet("background-color: #212435;border:1px solid #CCCCCC;");
    picture(frame_source, ":/png/state_on.png", QRect(15, 13, 7, 7));
    picture(frame_source, edid_port == 1 ? ":/png/DVI.png" : ":/png/HDMI.png", QRect(25, 13, 25, 8),
            "background-color: #212435;");
    int v[3];
    edid_record(edid_port, v);
    auto* name = new QLabel(source_name, frame_source);
    name->setGeometry(15, 24, 60, 12);
    card_values_ = new QLabel(QString::asprintf("%dx%d@%dHz", v[0], v[1], v[2]), frame_source);
    card_values_->setGeometry(15, 39, 88, 12);
    for (QLabel* l : {name, card_values_}) {
        l->setStyleSheet("background-color:#212435;color:#FFFFFF");
        l->setFont(pixel_font(10));
    }
    frame_source->show();
}

void EDIDset::syncUpdate()
{
    PageFrame::syncUpdate();
    if (ui_seltype == 0)
        source_init();
    else
        follow_record();
}

void EDIDset::follow_record()
{
    int v[3];
    edid_record(edid_port, v);
    if (!(typed_ & kTypedWidth))
        ui->lineEdit_W->setText(QString::asprintf("%d", v[0]));
    if (!(typed_ & kTypedHeight))
        ui->lineEdit_H->setText(QString::asprintf("%d", v[1]));
    if (!(typed_ & kTypedRate) && ui_seltype != 2) {
        ui->label_rate->setText(QString::asprintf("%d", v[2]));
        rate_sel = v[2] == 60 ? 1 : 0;
    }
}

void EDIDset::tlx_button_source_clicked()
{
    typed_ = 0;
    port_frame->setStyleSheet(style_frame_open_);
    frame_source->setStyleSheet(style_card_open_);
    ui->label_edid_source->setText(tr4(kSourcePrefix) + source_name);
    int v[3];
    edid_record(edid_port, v);
    ui->lineEdit_W->setText(QString::asprintf("%d", v[0]));
    ui->lineEdit_H->setText(QString::asprintf("%d", v[1]));
    ui->label_rate->setText(QString::asprintf("%d", v[2]));
    rate_sel = v[2] == 60 ? 1 : 0;
    QPushButton* buttons[3] = {button_delete, button_cancel, button_save};
    for (int i = 0; i < 3; ++i) {
        buttons[i]->setGeometry(kButtonRect[i]);
        buttons[i]->show();
    }
    ui->frame_add->show();
}

void EDIDset::on_Button_freq_clicked() { ui->label_rate->setText(rate_sel ? "60" : "30"); }

void EDIDset::close_panel()
{
    port_frame->setStyleSheet(style_frame_strip_);
    frame_source->setStyleSheet(style_card_strip_);
    focus_edit->setStyleSheet(style_field_normal_);
    focus_button->setStyleSheet(style_button_normal_);
}

void EDIDset::tlx_button_ok_clicked()
{
    close_panel();
    // What the user changed over the record as stored now: a tool's write of the other
    // values stays.
    int v[3];
    edid_record(edid_port, v);
    const int16_t width = typed_ & kTypedWidth ? to_short(ui->lineEdit_W->text()) : static_cast<int16_t>(v[0]);
    const int16_t height = typed_ & kTypedHeight ? to_short(ui->lineEdit_H->text()) : static_cast<int16_t>(v[1]);
    const int16_t rate = typed_ & kTypedRate ? to_short(textfit::full_text(ui->label_rate))  // the value, not as fitted
                                             : static_cast<int16_t>(v[2]);
    // The EDID builder's own check: a timing it would refuse is not stored (the EEPROM would
    // keep its EDID while the record showed the new one); the tip says why.
    const edid::TimingFault fault = width <= 0 || height <= 0 ? edid::TimingFault::Size
                                    : rate <= 0              ? edid::TimingFault::Clock
                                                             : edid::timing_fault(edid_port, uint32_t(width), uint32_t(height), uint32_t(rate));
    if (fault != edid::TimingFault::None) {
        qDebug("EDIDset: %dx%d@%d refused: %s", width, height, rate, edid::timing_fault_text(fault));
        tlx_button_cancel_clicked();
        if (g_tip)
            g_tip->tip_warning(tr4(fault == edid::TimingFault::Size ? kSizeFault : kClockFault));
        return;
    }
    if (store())
        store()->TlxSetEDIDPara(edid_port, width, height, rate);
    rate_sel = rate == 60 ? 1 : 0;
    source_init();
    ui->frame_add->hide();
    button_delete->hide();
    button_cancel->hide();
    button_save->hide();
}

void EDIDset::tlx_button_cancel_clicked()
{
    close_panel();
    ui->label_rate->setStyleSheet(style_button_normal_);
    ui->frame_add->hide();
    button_delete->hide();
    button_cancel->hide();
    button_save->hide();
}

// ---- keypad -----------------------------------------------------------------------------------

void EDIDset::show_numberkeyboard_ui(QString)
{
    auto* f = qobject_cast<QLineEdit*>(sender());
    if (!f)
        return;
    const bool width = f == ui->lineEdit_W;
    const char* title = g_language == 0 ? (width ? "宽" : "高") : (width ? "W" : "H");
    open_keypad(f, QString::fromUtf8(title));
}

void EDIDset::confirmString(QString text)
{
    QLineEdit* f = keypad_field_on(this);
    if (!f)
        return;
    f->setText(text);
    typed_ |= f == ui->lineEdit_W ? kTypedWidth : f == ui->lineEdit_H ? kTypedHeight : 0;
}

void EDIDset::retranslate_parent()
{
    PageFrame* parent = parent_page();
    if (auto* choose = qobject_cast<InputChoose*>(parent)) {
        choose->language_changed();
        choose->initSource();
    } else if (parent) {
        parent->language_changed();
    }
}

// ---- keys -------------------------------------------------------------------------------------

bool EDIDset::page_key(int key)
{
    if (ui_seltype != 0)
        follow_record();
    if (key == KEY_OK)
        qDebug("this is OK button(EDIDset)[Release] ui_seltype = %d ,ui_line_select=%d ", ui_seltype, ui_line_select);
    if (ui_seltype == 0) {
        switch (key) {
        case KEY_LEFT:
            ui_select = static_cast<u8>(ui_select == 0 ? 5 : ui_select - 1);
            tlx_button_input_clicked();
            break;
        case KEY_RIGHT:
            ui_select = static_cast<u8>(ui_select >= 5 ? 0 : ui_select + 1);
            tlx_button_input_clicked();
            break;
        case KEY_OK:
            tlx_button_source_clicked();
            style_row(0, true);
            ui_line_select = 0;
            ui_seltype = 1;
            break;
        case KEY_BACK:
            slot_Button_back_clicked();
            break;
        }
        return true;
    }
    if (ui_seltype == 1) {
        key_panel(key);
        return true;
    }
    // Rate editing: both arrows toggle 60 / 30 Hz. OK without a toggle keeps the rate as it
    // was (a stored 50 stays 50); PowerOff shows it as it was.
    switch (key) {
    case KEY_LEFT:
        rate_sel = rate_sel == 0 ? 1 : rate_sel - 1;
        rate_toggled_ = true;
        on_Button_freq_clicked();
        break;
    case KEY_RIGHT:
        rate_sel = rate_sel + 1 > 1 ? 0 : rate_sel + 1;
        rate_toggled_ = true;
        on_Button_freq_clicked();
        break;
    case KEY_OK:
        if (rate_toggled_) {
            on_Button_freq_clicked();
            typed_ |= kTypedRate;
        }
        ui->label_rate->setStyleSheet(style_field_focus_);
        ui_seltype = 1;
        break;
    case KEY_BACK:
        rate_sel = rate_sel_saved;
        ui_seltype = 1;
        ui->label_rate->setText(rate_text_saved_);
        ui->label_rate->setStyleSheet(style_field_focus_);
        break;
    }
    return true;
}

void EDIDset::key_panel(int key)
{
    switch (key) {
    case KEY_LEFT:
    case KEY_RIGHT:
        style_row(ui_line_select, false);
        ui_line_select = static_cast<u8>((ui_line_select + (key == KEY_RIGHT ? 1 : 5)) % 6);
        style_row(ui_line_select, true);
        break;
    case KEY_OK:
        if (ui_line_select < kRowRate) {
            auto* f = ui_line_select == 0 ? ui->lineEdit_W : ui->lineEdit_H;
            emit f->send_show(f->objectName());
        } else if (ui_line_select == kRowRate) {
            ui_seltype = 2;
            ui->label_rate->setStyleSheet(style_rate_edit_);
            rate_sel_saved = rate_sel;
            rate_text_saved_ = textfit::full_text(ui->label_rate);
            rate_toggled_ = false;
        } else {
            ui_seltype = 0;
            if (ui_line_select == kRowSave)
                tlx_button_ok_clicked();
            else
                tlx_button_cancel_clicked();
            ui_line_select = 0;
        }
        break;
    case KEY_BACK:
        ui_seltype = 0;
        ui_line_select = 0;
        tlx_button_cancel_clicked();
        break;
    }
}
