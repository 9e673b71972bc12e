#include "netset.h"

#include <QDebug>
#include <QLabel>
#include <QPixmap>

#include "ui/settings_pages/fpga_link.h"
#include "ui/shell/lang.h"
#include "ui/shell/panel_keys.h"
#include "ui_netset.h"

namespace {
const char* const kTileNormal =
    "background-color:transparent; border:1px solid rgb(255, 255, 255);border-radius:1px;padding:2px 4px";
const char* const kTileSelected =
    "background-color:transparent; border:0px solid rgb(255, 255, 255);border-radius:1px;padding:2px 4px";
constexpr int kTilePitch = 68;
const char* const kNoValue = "--";
const Text4 kNotReady{"输出端口未就绪", "Output ports not ready", "Выходы ещё не готовы", "Cổng ra chưa sẵn sàng"};
}  // namespace

netset::netset(QWidget* parent) : PageFrame("netset", PAGE_NETSET), ui(new Ui::netset)
{
    (void)parent;
    ui->setupUi(this);
    ui->l_p->setPixmap(QPixmap(":/png/ltri.png"));
    ui->r_p->setPixmap(QPixmap(":/png/rtri.png"));
    initMenu();
    para_init();
    language_changed();
    menulist_init();
}

netset::~netset() { delete ui; }

void netset::initMenu()
{
    wlan_para_get(0);
    initWlan();
}

void netset::menulist_init()
{
    ui_select = ui_sel = ui_min_select = 0;
    set_menu_list({ui->LED1Button, ui->LED2Button, ui->LED3Button, ui->LED4Button}, kTileNormal, kTileSelected);
    show_selection();
}

void netset::show_selection() { ui->net_frame->setGeometry(24 + kTilePitch * ui_sel, 40, 58, 41); }

void netset::language_changed()
{
    ui->label_netset->setText(tr4({"网口输出", "Port output", "Настройка LAN", "Cài đặt cổng MẠNG"}));
    ui->w_label->setText(tr4({"宽", "W", "Ширина", "Rộng"}));
    ui->h_label->setText(tr4({"高", "H", "Высота", "Cao"}));
    show_ready();
}

void netset::syncUpdate()
{
    PageFrame::syncUpdate();
    follow_device();
}

// ---- what the device holds ------------------------------------------------------------------

void netset::wlan_para_get(unsigned short port)
{
    if (port >= kPorts)
        port = 0;
    shown_.ready = fpga_link::chip_ready();
    shown_.area = shown_.ready ? fpga_link::port_area(port) : fpga_link::PortArea{};
    show_area();
    show_ready();
    QLabel* captions[kTiles] = {ui->LED1label, ui->LED2label, ui->LED3label, ui->LED4label};
    for (int i = 0; i < kTiles; ++i)
        captions[i]->setText(tr4({"网口LED%1", "LED%1", "LED%1", "LED%1"}).arg(ui_min_select + i + 1));
}

// On opening and at F4/F5 the links are read from the FPGA itself.
void netset::initWlan()
{
    shown_.links = shown_.ready ? fpga_link::link_bitmap() : 0;
    show_links();
}

// The tick's look takes the links the FPGA thread read last (the register mirror) and the
// parameter page as it stands: no SPI and no lock on the GUI thread.
void netset::follow_device()
{
    Shown now;
    now.ready = fpga_link::chip_ready();
    if (now.ready) {
        now.links = fpga_link::link_bitmap_seen();
        now.area = fpga_link::port_area(ui_select);
    }
    if (now.ready == shown_.ready && now.links == shown_.links && now.area == shown_.area)
        return;
    shown_ = now;
    show_area();
    show_links();
    show_ready();
}

// ---- drawing ----------------------------------------------------------------------------------

void netset::show_area()
{
    const auto text = [this](u16 v) { return shown_.ready ? QString::number(v) : QString(kNoValue); };
    ui->x_lineEdit->setText(text(shown_.area.x));
    ui->y_lineEdit->setText(text(shown_.area.y));
    ui->w_lineEdit->setText(text(shown_.area.w));
    ui->h_lineEdit->setText(text(shown_.area.h));
}

// Before the FPGA runs no link is known: the tiles show no icon rather than "offline".
void netset::show_links()
{
    QLabel* icons[kTiles] = {ui->L1label, ui->L2label, ui->L3label, ui->L4label};
    for (int i = 0; i < kTiles; ++i) {
        const bool up = (shown_.links >> (ui_min_select + i)) & 1;
        if (shown_.ready)
            icons[i]->setPixmap(QPixmap(up ? ":/png/online_up.png" : ":/png/offline_up.png"));
        else
            icons[i]->clear();
        icons[i]->setProperty("online", up);
    }
}

void netset::show_ready() { ui->label_state->setText(shown_.ready ? QString() : tr4(kNotReady)); }

// F4/F5 move the selection without wrapping; at the first or last tile the tiles scroll.
bool netset::page_key(int key)
{
    switch (key) {
    case KEY_RIGHT:
        qDebug("this is right-code [netset][Release] ui_select=%#x", ui_select);
        if (ui_sel < kTiles - 1) {
            ++ui_sel;
            set_focus_row(ui_sel);
            ui_select = static_cast<u8>(ui_min_select + ui_sel);
        } else {
            if (ui_select < kPorts - 1)
                ++ui_select;
            ui_min_select = static_cast<u8>(ui_select - (kTiles - 1));
        }
        break;
    case KEY_LEFT:
        qDebug("this is left-code [netset][Release] ui_select=%#x", ui_select);
        if (ui_sel > 0) {
            --ui_sel;
            set_focus_row(ui_sel);
            ui_select = static_cast<u8>(ui_min_select + ui_sel);
        } else if (ui_min_select > 0) {
            --ui_min_select;
            --ui_select;
        }
        break;
    case KEY_OK:
        qDebug("this is OK button(netset)[Release]\n");
        return true;
    default:
        return false;  // PowerOff: the frame's back
    }
    qDebug("\n ui_min_select=%d,ui_select=%d ui_sel=%d\n", ui_min_select, ui_select, ui_sel);
    show_selection();
    wlan_para_get(ui_select);
    initWlan();
    return true;
}
