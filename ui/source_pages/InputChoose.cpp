#include "ui/source_pages/InputChoose.h"

#include <QDebug>
#include <QFrame>
#include <QLabel>
#include <QPixmap>

#include "ui/shell/MainWindow.h"
#include "ui/shell/TIP.h"
#include "ui/shell/page_open.h"
#include "ui/shell/panel_keys.h"
#include "ui/source_pages/EDIDset.h"
#include "ui/source_pages/InputCut.h"
#include "ui/shell/text_fit.h"
#include "ui/source_pages/source_common.h"
#include "ui_InputChoose.h"

using namespace srcpage;

namespace {
const Text4 kTitle{"信源切换", "Source switch", "Переключение источника", "Chuyển đổi nguồn"};
const Text4 kInputCut{"输入截取", "Input intercept", "Источник", "Chặn nguồn vào"};
const Text4 kEdid{"设置EDID", "EDID Settings", "Настройка EDID", "Cài đặt EDID"};
// Without a soft hyphen after 使用中: Qt draws one that ends a text as a visible "-".
const Text4 kUsing{"使用中", "Using", "Текущий", "Đang dùng"};

const Text4 kCropGone{"该截取已被其他设备删除", "Crop removed by another control", "Обрезка удалена извне",
                      "Vùng cắt đã bị xoá từ xa"};

const char* const kTileSheet[6] = {
    "background-color: #867AE9;font: 9px", "background-color: #005A8D;color: #FFFFFF;font: 9px", "background-color: #39A9CB;font: 9px",
    "background-color: #EBA83A;font: 9px", "background-color: #FF96AD;font: 9px", "background-color: #D5E5FF;font: 9px",
};
const char* const kCardFocus = "#source_frame{border:1px solid #FFAB54;border-radius:5px;}";
const char* const kCardInUse = "#source_frame{border:1px solid #00D65B;border-radius:5px;}";
const char* const kCardOther = "#source_frame{border:1px solid #CCCCCC;border-radius:5px;}";
// Dark text on the green: white on it cannot be read.
const char* const kBadge = "background-color: #00D65B;color: rgb(16, 16, 28);font: 9px;border-radius:5px;";
const char* const kCardText = "color: rgb(255, 255, 255)";

constexpr int kButtonCut = 6;
constexpr int kButtonEdid = 7;

// Strip icons by column: with signal, without.
const char* const kIconOn[6] = {":/png/HDMI13_lv.png", ":/png/HDMI13_lv.png", ":/png/HDMI20_lv.png",
                                ":/png/HDMI20_lv.png", ":/png/dvilv.png",     ":/png/extlv.png"};
const char* const kIconOff[6] = {":/png/HDMI13_1.png", ":/png/HDMI13_1.png", ":/png/HDMI20.png",
                                 ":/png/HDMI20.png",   ":/png/DVI.png",      ":/png/HDMI.png"};
}  // namespace

InputChoose::InputChoose(QWidget* parent)
    : PageFrame("InputChoose", PAGE_INPUTCHOOSE),
      ui(new Ui::InputChoose),
      style_window_focus_("border:2px solid rgb(255,171,84);"),
      style_window_chosen_("border:2px solid rgb(71, 119, 255);"),
      style_window_hidden_("border:0px solid rgb(255,171,84);"),
      style_button_normal_("color:rgb(255, 255, 255);border:1px solid rgb(255, 255, 255);"),
      style_button_focus_("color:rgb(255, 255, 255);border:1px solid rgb(255,171,84);"),
      style_tab_other_("border:1px solid;border-left-color:rgb(71, 119, 255);border-right-color:rgb(71, 119, 255);"
                       "border-top-color:rgb(71, 119, 255);"),
      style_tab_level1_("border:1px solid;border-left-color:rgb(255,171,84);border-right-color:rgb(255,171,84);"
                        "border-top-color:rgb(255,171,84);"),
      style_panel_other_("#frame{border:1px solid rgb(71, 119, 255);}"),
      style_panel_level1_("#frame{border:1px solid rgb(255,171,84);}")
{
    (void)parent;
    ui->setupUi(this);
    menulist_init();
    refresh_crop_ids();
    crop_source_num_update();
    initMenu();
    image_select();
    label_tip_ = new QLabel(this);
    label_tip_->setObjectName("label_tip");
    label_tip_->setGeometry(0, 200, 320, 40);
    label_tip_->setAlignment(Qt::AlignCenter);
    label_tip_->setStyleSheet("color:rgb(255,171,84);background-color: rgb(16, 16, 28);");
    label_tip_->setFont(pixel_font(10));
    label_tip_->hide();
    language_changed();
}

InputChoose::~InputChoose() { delete ui; }

void InputChoose::menulist_init()
{
    ui_select = 0;
    ui_seltype = 0;
    current_page = 0;
    window_index = 0;
    window_source = 0;
}

void InputChoose::language_changed()
{
    ui->label_title->setText(tr4(kTitle));
    ui->button_inputcut->setText(tr4(kInputCut));
    ui->button_EDID->setText(tr4(kEdid));
    label_tip_->setText(tr4(kCropGone));
}

QString InputChoose::tip_text() const { return label_tip_->isVisible() ? textfit::full_text(label_tip_) : QString(); }

void InputChoose::show_tip(bool on)
{
    label_tip_->setVisible(on);
    if (on)
        label_tip_->raise();
}

QLabel* InputChoose::tile(int position) const
{
    return position >= 0 && position < window_count ? tiles_[position] : nullptr;
}

QString InputChoose::tile_source_text(int window) const
{
    return window >= 0 && window < 6 && tile_source_label[window]
               ? textfit::full_text(tile_source_label[window]).replace('\n', '_')
               : QString();
}

// ---- window strip -----------------------------------------------------------------------------

// Bit w: window w is shown in the window strip (window 0 always).
int InputChoose::switched_on_windows()
{
    const u8* img = live_image();
    int on = 1;
    for (int w = 1; w < 6; ++w)
        if (img && u8(ram_rd16(img, ram_window_addr(w, WIN_ENABLE))) == 1)  // no lock: one load
            on |= 1 << w;
    return on;
}

void InputChoose::initMenu()
{
    strip_windows_ = switched_on_windows();
    delete window_strip;
    std::fill(std::begin(tile_source_label), std::end(tile_source_label), nullptr);
    std::fill(std::begin(tiles_), std::end(tiles_), nullptr);
    window_count = 0;
    window_strip = new QFrame(this);
    window_strip->setGeometry(0, 42, 320, 47);
    window_frame = new QFrame(window_strip);
    window_frame->setStyleSheet(style_window_focus_);
    for (int w = 0; w < 6; ++w) {
        if (!(strip_windows_ & (1 << w)))
            continue;
        const int k = window_count;
        window_tile = new QLabel(window_strip);
        window_tile->setStyleSheet(kTileSheet[w]);
        window_tile->setText(QString::asprintf("%d", w + 1));
        window_tile->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
        window_tile->setGeometry(50 * k + 10, 3, 45, 40);
        tile_source_label[w] = new QLabel(window_tile);
        // Two lines for a crop ("HDMI3", "Crop2") beside the state icon, the window's number below.
        tile_source_label[w]->setGeometry(0, 1, 32, 24);
        tile_source_label[w]->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        TextCreate(static_cast<char>(w));
        tile_state_icon = picture(window_tile, ":/png/state_on.png", QRect(33, 1, 7, 7));
        tiles_[k] = window_tile;
        tile_window[k] = static_cast<u8>(w);
        if (w == window_index)
            window_frame->setGeometry(50 * k + 7, 0, 51, 46);
        ++window_count;
    }
    window_strip->show();
}

void InputChoose::TextCreate(char window, char)
{
    const int w = static_cast<unsigned char>(window);
    if (w >= 6 || !tile_source_label[w] || !store())
        return;
    int16_t is_crop = 0;
    u8 row = kNoRow;
    const int s = store()->TlxGetImageSource(store()->ram_image, static_cast<u8>(w), &is_crop, &row, 0);
    QString text = name_of(s);
    const int entry = is_crop ? entry_of_row(s, row) : kNoEntry;
    if (entry != kNoEntry) {
        CROP_PARA crop;
        if (crop_entry(s, entry, &crop) != kNoRow)
            text += QString::asprintf("\nCrop%d", crop_id_of(crop));  // never cut away: it tells a crop from its input
    }
    tile_source_label[w]->setText(text);
}

void InputChoose::imagemenu()
{
    if (!window_frame)
        return;
    if (ui_seltype == 0 && ui_select < window_count) {
        saved_window_select = ui_select;
        window_index = tile_window[ui_select];
        ui->button_inputcut->setStyleSheet(style_button_normal_);
        ui->button_EDID->setStyleSheet(style_button_normal_);
        window_frame->setStyleSheet(style_window_focus_);
        window_frame->setGeometry(50 * ui_select + 7, 0, 51, 46);
    } else if (ui_seltype == 0) {
        window_frame->setStyleSheet(style_window_hidden_);
        ui->button_inputcut->setStyleSheet(ui_select == kButtonCut ? style_button_focus_ : style_button_normal_);
        ui->button_EDID->setStyleSheet(ui_select == kButtonEdid ? style_button_focus_ : style_button_normal_);
    } else if (ui_seltype == 1) {
        window_frame->setStyleSheet(style_window_chosen_);
        window_frame->setGeometry(50 * ui_select + 7, 0, 51, 46);
    }
}

// ---- input strip ------------------------------------------------------------------------------

void InputChoose::crop_source_num_update()
{
    for (int c = 0; c < 6; ++c)
        crop_count[c] = static_cast<u8>(entry_count(kColumnSource[c]));
    source_name_update();
    source_check_update();
}

void InputChoose::source_name_update()
{
    QLabel* labels[6] = {ui->label_HDMI1_text, ui->label_HDMI2_text, ui->label_HDMI3_text,
                         ui->label_HDMI4_text, ui->label_DVI_text,   ui->label_EXT_text};
    for (int c = 0; c < 6; ++c) {
        const int s = kColumnSource[c];
        const char* colour = (s == 4 || s == 5) ? "#12BB32" : "#ffffff";
        set_strip_label(labels[c], s, colour, crop_count[c], s == 0 || s == 1);
    }
}

void InputChoose::source_check_update()
{
    QLabel* icons[6] = {ui->label_HDMI1, ui->label_HDMI2, ui->label_HDMI3, ui->label_HDMI4, ui->label_DVI, ui->label_EXT};
    for (int c = 0; c < 6; ++c) {
        int w, h, hz;
        icons[c]->setPixmap(QPixmap(input_timing(kColumnSource[c], &w, &h, &hz) ? kIconOn[c] : kIconOff[c]));
        icons[c]->setScaledContents(true);
    }
}

int InputChoose::source_current_check()
{
    refresh_crop_ids();
    const int max = entry_count(source_number);
    last_page = static_cast<u8>(max / 3 - (max % 3 == 0 ? 1 : 0));
    return max;
}

// ---- focus follow-up and the card panel ---------------------------------------------------------

void InputChoose::image_select()
{
    current_page = 0;
    const u8 s = store() ? store()->TlxGetImageSource(store()->ram_image, window_index, nullptr, nullptr, 0) : 0xFF;
    if (ui_seltype == 1) {
        source_select = ui_select;
    } else if (ui_seltype == 0) {
        source_select = static_cast<u8>(column_of(s));
        source_name = name_of(kColumnSource[source_select]);
        window_source = s;
    }
    on_Button_source_clicked();
}

void InputChoose::on_Button_source_clicked()
{
    initSource();
    ui->frame1->setGeometry(53 * source_select + 1, 95, 53, 33);
    ui->frame1->setStyleSheet(ui_seltype == 1 ? style_tab_level1_ : style_tab_other_);
}

void InputChoose::initSource()
{
    int compare = window_source;
    if (ui_seltype == 0) {
        int16_t is_crop = 0;
        u8 row = crop_row;
        const u8 s = store() ? store()->TlxGetImageSource(store()->ram_image, window_index, &is_crop, &row, 0) : 0xFF;
        // A window naming no source 0..5 shows the cards of the tab's column, none in use.
        source_number = static_cast<u8>(valid_source(s) ? s : kColumnSource[column_of(s)]);
        source_type = is_crop;
        if (is_crop)
            crop_row = row;
        compare = s;
    } else {
        source_number = static_cast<u8>(kColumnSource[source_select % 6]);
    }
    source_name = name_of(source_number);
    const int max = source_current_check();
    const int cards = std::min(3, max - 3 * current_page);
    const int in_use = source_type == 1 ? entry_of_row(source_number, crop_row) : 0;
    if (g_debugSwitch == 254)
        qDebug("initSource [source_type = %d] , [crop_id = %d] [select_sorce = %d],[current_page=%d],[source_id=%d],"
               "[source_number=%d],[ui_select=%d]\n",
               source_type, crop_row, in_use + 1, current_page, compare, source_number, ui_select);
    delete card_panel;
    card_panel = new QFrame(this);
    card_panel->setObjectName("frame");
    card_panel->setGeometry(1, 127, 318, 70);
    card_panel->setStyleSheet(ui_seltype == 1 ? style_panel_level1_ : style_panel_other_);
    card_panel->lower();
    for (int c = 0; c < cards; ++c)
        build_card(c, 3 * current_page + c, source_number == compare ? in_use : kNoEntry);
    card_panel->show();
}

// Crop id of entry `entry` of the current source as the table holds it now (0 the whole input).
int InputChoose::card_crop_id(int entry) const
{
    CROP_PARA crop;
    return entry > 0 && crop_entry(source_number, entry, &crop) != kNoRow ? crop_id_of(crop) : 0;
}

void InputChoose::build_card(int c, int entry, int in_use)
{
    card_ids_[c] = card_crop_id(entry);
    auto* card = new QFrame(card_panel);
    card->setObjectName("source_frame");
    card->setGeometry(14 + 95 * c, 10, 92, 50);
    const bool focused = ui_seltype == 2 && ui_select == c;
    const bool used = entry == in_use;
    card->setStyleSheet(focused ? kCardFocus : used ? kCardInUse : kCardOther);
    picture(card, used ? ":/png/state_on.png" : ":/png/state_off.png", QRect(3, 5, 7, 7));
    picture(card, source_number == 1 ? ":/png/DVI.png" : ":/png/HDMI.png", QRect(12, 5, 25, 8));
    auto* name = new QLabel(card);
    name->setGeometry(3, 15, 80, 12);
    auto* size = new QLabel(card);
    size->setGeometry(3, 30, 88, 12);
    for (QLabel* l : {name, size}) {
        l->setStyleSheet(kCardText);
        l->setFont(pixel_font(10));
    }
    card_texts(name, size, source_number, source_name, entry, &crop_name);
    if (used) {
        auto* badge = new QLabel(card);
        badge->setStyleSheet(kBadge);
        badge->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
        badge->setGeometry(40, 0, 50, 13);
        badge->setText(tr4(kUsing));
    }
}

void InputChoose::para_source_index_init()
{
    ui_select = source_select;
    current_page = 0;
}

void InputChoose::para_uiselect_init()
{
    ui_select = 0;
    if (!store())
        return;
    int16_t is_crop = 0;
    u8 row = kNoRow;
    const u8 s = store()->TlxGetImageSource(store()->ram_image, window_index, &is_crop, &row, 0);
    if (s != source_number)
        return;
    const int entry = is_crop ? entry_of_row(s, row) : 0;
    if (entry >= 0 && entry <= 2)
        ui_select = static_cast<u8>(entry);
}

// ---- OK on a card and the two buttons ------------------------------------------------------------

// A tool switched windows on or off: the strip shows them as they are now, and the focus (or
// the choice, at the lower levels) stays on its window. A focused window that went off gives
// the focus to window 1, which is always shown; a chosen one keeps the choice, with no tile.
void InputChoose::follow_windows()
{
    if (switched_on_windows() == strip_windows_)
        return;
    initMenu();
    int position = -1;
    for (int k = 0; k < window_count; ++k)
        if (tile_window[k] == window_index)
            position = k;
    if (ui_seltype == 0) {
        if (ui_select < kButtonCut && position < 0) {
            ui_select = 0;
            imagemenu();
            image_select();
        } else {
            if (ui_select < kButtonCut)
                ui_select = static_cast<u8>(position);
            imagemenu();
        }
        return;
    }
    saved_window_select = static_cast<u8>(std::max(position, 0));
    window_frame->setStyleSheet(position < 0 ? style_window_hidden_ : style_window_chosen_);
}

void InputChoose::syncUpdate()
{
    PageFrame::syncUpdate();
    follow_windows();
    for (int w = 0; w < 6; ++w)
        TextCreate(static_cast<char>(w));
    crop_source_num_update();
    if (ui_seltype == 2)
        follow_focused_crop();
    initSource();
}

// The card in focus after a tool changed the crops: the focus stays on its crop (by id),
// wherever the table put it now; when that crop is gone it goes to the whole input, with a
// tip. True when the crop is gone.
bool InputChoose::follow_focused_crop()
{
    const int id = card_ids_[ui_select % 3];
    const int max = source_current_check();
    int entry = 0;
    if (id != 0) {
        CROP_PARA crop;
        entry = entry_of_row(source_number, crop_of_id(source_number, id, &crop));
    }
    const bool gone = entry == kNoEntry || entry >= max;
    if (gone)
        entry = 0;
    current_page = static_cast<u8>(entry / 3);
    ui_select = static_cast<u8>(entry % 3);
    card_ids_[ui_select] = id != 0 && !gone ? id : 0;
    if (gone)
        show_tip(true);
    return gone;
}

void InputChoose::tlx_source_button_clicked()
{
    // A tool changed the crops since the cards were drawn: the focus follows the crop the
    // user chose, and a crop that is gone is not replaced by another.
    if (follow_focused_crop()) {
        initSource();
        return;
    }
    const int e = 3 * current_page + ui_select;
    if (e == 0) {
        source_type = 0;
        crop_row = 0;
    } else {
        source_type = 1;
        CROP_PARA crop;
        const int row = crop_entry(source_number, e, &crop);
        if (row != kNoRow)
            crop_row = static_cast<u8>(row);
    }
    if (store())
        store()->TlxSetImageSource(e, static_cast<char>(source_number), static_cast<char>(window_index));
    window_source = source_number;
    initSource();
    // The tip waits for the parameter file: the check mark once the choice is kept, else
    // "not saved".
    if (g_mainwindow)
        g_mainwindow->tip_after_store();
}

void InputChoose::tlx_button_inputcut_clicked() { open_page(g_inputcut, this); }

void InputChoose::tlx_button_EDID_clicked() { open_page(g_edidset, this); }

// ---- keys -------------------------------------------------------------------------------------

bool InputChoose::page_key(int key)
{
    show_tip(false);
    if (ui_seltype == 2 && follow_focused_crop()) {
        initSource();
        return true;  // the key meant the crop that is gone: it does nothing else
    }
    if (key == KEY_LEFT || key == KEY_RIGHT)
        qDebug("this is %s-code [InputChoose][Release] ui_select=%#x ui_seltype=%#x current_page=%#x",
               key == KEY_LEFT ? "left" : "right", ui_select, ui_seltype, current_page);
    else
        qDebug("this is %s [InputChoose][Release] ui_select=%#x ui_seltype=%#x", key == KEY_OK ? "OK" : "back",
               ui_select, ui_seltype);
    switch (ui_seltype) {
    case 0: key_windows(key); break;
    case 1: key_sources(key); break;
    default: key_cards(key); break;
    }
    return true;
}

void InputChoose::key_windows(int key)
{
    switch (key) {
    case KEY_RIGHT:
        ui_select = static_cast<u8>(ui_select + 1);
        if (ui_select == window_count)
            ui_select = kButtonCut;
        if (ui_select > kButtonEdid)
            ui_select = 0;
        imagemenu();
        image_select();
        break;
    case KEY_LEFT:
        if (ui_select == 0)
            ui_select = kButtonEdid;
        else if (ui_select == kButtonCut)
            ui_select = static_cast<u8>(window_count - 1);
        else
            ui_select = static_cast<u8>(ui_select - 1);
        imagemenu();
        image_select();
        break;
    case KEY_OK:
        if (ui_select == kButtonCut) {
            tlx_button_inputcut_clicked();
        } else if (ui_select == kButtonEdid) {
            tlx_button_EDID_clicked();
        } else {
            ui_seltype = 1;
            imagemenu();
            para_source_index_init();
            on_Button_source_clicked();
        }
        break;
    case KEY_BACK:
        slot_Button_back_clicked();
        break;
    }
}

void InputChoose::key_sources(int key)
{
    switch (key) {
    case KEY_RIGHT:
        ui_select = static_cast<u8>(ui_select >= 5 ? 0 : ui_select + 1);
        image_select();
        break;
    case KEY_LEFT:
        ui_select = static_cast<u8>(ui_select == 0 ? 5 : ui_select - 1);
        image_select();
        break;
    case KEY_OK:
        ui_seltype = 2;
        para_uiselect_init();
        on_Button_source_clicked();
        break;
    case KEY_BACK:
        ui_seltype = 0;
        ui_select = saved_window_select;
        imagemenu();
        on_Button_source_clicked();
        break;
    }
}

void InputChoose::key_cards(int key)
{
    switch (key) {
    case KEY_RIGHT: {
        ui_select = static_cast<u8>(ui_select + 1);
        const int max = source_current_check();
        if (3 * current_page + ui_select >= max) {
            current_page = 0;
            ui_select = 0;
        } else if (ui_select > 2) {
            current_page = static_cast<u8>(std::min<int>(current_page + 1, last_page));
            ui_select = 0;
        }
        initSource();
        break;
    }
    case KEY_LEFT: {
        const int max = source_current_check();
        if (ui_select == 0) {
            if (current_page > 0) {
                current_page = static_cast<u8>(current_page - 1);
                ui_select = 3;
            } else {
                current_page = last_page;
                ui_select = static_cast<u8>(max - 3 * last_page);
            }
        }
        if (g_debugSwitch == 254)
            qDebug("[max_source_info = %#x], [ui_select = %#x], [current_page=%#x]\n", max, ui_select, current_page);
        ui_select = static_cast<u8>(ui_select - 1);
        initSource();
        break;
    }
    case KEY_OK:
        tlx_source_button_clicked();
        TextCreate(static_cast<char>(window_index));
        break;
    case KEY_BACK:
        ui_seltype = 1;
        para_source_index_init();
        on_Button_source_clicked();
        break;
    }
}
