#include "ui/source_pages/ImageLayout.h"

#include <QDebug>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPixmap>

#include "ui/shell/panel_keys.h"
#include "ui/shell/text_fit.h"
#include "ui/source_pages/source_common.h"
#include "ui_ImageLayout.h"

using namespace srcpage;

namespace {
const Text4 kTitle{"画面布局", "Screen layout", "Расположение", "Bố cục màn hình"};
const Text4 kP2P{"点对点", "DBD", "Пиксель к пикселю", "Điểm tới điểm"};
const Text4 kW{"宽", "W", "Ширина", "Rộng"};
const Text4 kH{"高", "H", "Высота", "Cao"};
const Text4 kMirror{"镜像", "mirror", "Отражение", "Ảnh phản chiếu"};
const Text4 kNameCaption{"名称:", "Name:", "Название:", "Tên:"};
const Text4 kDefaultName{"画面名称:画面%1", "Name:Image%1", "Название:Канал%1", "Tên:Hình ảnh%1"};
const Text4 kSourceCaption{"信源:", "Source:", "Источник:", "Nguồn tín hiệu:"};
const Text4 kStateCaption{"画面状态:", "Image state:", "Состояние:", "Trạng thái:"};
const Text4 kOn{"开启", "ON", "Вкл", "Mở"};
const Text4 kOff{"关闭", "OFF", "Откл", "Đóng"};
const Text4 kP2PItems[4] = {
    {"点对点关闭", "OFF", "Откл", "Đóng"},
    {"点对点开启", "ON", "Вкл", "Mở"},
    {"HD3,HD4水平拼接", "HD3,HD4 Hor", "Гор HD3,HD4", "Nối ngang HD3,HD4"},
    {"HD3,HD4垂直拼接", "HD3,HD4 Ver", "Вер HD3,HD4", "Ghép dọc HD3,HD4"},
};

u16 window_word(int w, u32 field)
{
    const u8* img = live_image();
    return img ? ram_rd16(img, ram_window_addr(w, field)) : 0;
}

// The four rotate/mirror images, the one of mode `lit` lit (none when it is not 0..3).
void show_mirrors(const ImageLayout& page, int lit)
{
    for (int m = 0; m < 4; ++m) {
        QLabel* l = page.mirror_label(m);
        l->setPixmap(QPixmap(QString(":/png/mirror%1_%2.png").arg(m + 1).arg(m == lit ? "on" : "off")));
        l->setScaledContents(true);
    }
}
}  // namespace

ImageLayout::ImageLayout(QWidget* parent) : PageFrame("ImageLayout", PAGE_IMAGELAYOUT), ui(new Ui::ImageLayout)
{
    (void)parent;
    ui->setupUi(this);
    menulist_init();
    for (const Text4& t : kP2PItems)
        ui->comboBox_P2P->addItem(tr4(t));
    image_init();
    show_mirrors(*this, -1);  // never the form's placeholder text, whatever mode a window names
    image_para_update();
    language_changed();
}

ImageLayout::~ImageLayout() { delete ui; }

void ImageLayout::menulist_init() { ui_select = 0; }

void ImageLayout::language_changed()
{
    ui->label_title->setText(tr4(kTitle));
    ui->label_P2P->setText(tr4(kP2P));
    ui->label_W->setText(tr4(kW));
    ui->label_H->setText(tr4(kH));
    ui->label_mirror->setText(tr4(kMirror));
    for (int i = 0; i < ui->comboBox_P2P->count() && i < 4; ++i)  // a tool may change the language while the page is open
        ui->comboBox_P2P->setItemText(i, tr4(kP2PItems[i]));
}

QString ImageLayout::name_text() const { return textfit::full_text(ui->image_name); }
QString ImageLayout::source_text() const { return textfit::full_text(ui->image_source); }
QComboBox* ImageLayout::p2p_box() const { return ui->comboBox_P2P; }

QLabel* ImageLayout::mirror_label(int mode) const
{
    QLabel* m[4] = {ui->mirror1, ui->mirror2, ui->mirror3, ui->mirror4};
    return mode >= 0 && mode < 4 ? m[mode] : nullptr;
}

void ImageLayout::image_init()
{
    ui->image_state->setText(tr4(kStateCaption) + tr4(window_word(ui_select, WIN_ENABLE) ? kOn : kOff));
    ui->frame_image->setStyleSheet("#frame_image{border:1px solid;border-left-color:rgb(255,171,84);"
                                   "border-right-color:rgb(255,171,84);border-top-color:rgb(255,171,84);}");
}

void ImageLayout::image_para_update()
{
    const int w = ui_select;
    QString alias;
    if (alias_name("win", w, &alias)) {
        ui->image_name->setText(tr4(kNameCaption) + alias);
    } else {
        ui->image_name->setText(tr4(kDefaultName).arg(w + 1));
    }
    const int s = store() ? store()->TlxGetImageSource(store()->ram_image, static_cast<u8>(w), nullptr, nullptr, 0) : 0xFF;
    ui->image_source->setText(tr4(kSourceCaption) + (valid_source(s) ? name_of(s) : QString()));
    ui->lineEdit_X->setText(QString::asprintf("%u", window_word(w, WIN_X)));
    ui->lineEdit_Y->setText(QString::asprintf("%u", window_word(w, WIN_Y)));
    ui->lineEdit_W->setText(QString::asprintf("%u", window_word(w, WIN_WIDTH)));
    ui->lineEdit_H->setText(QString::asprintf("%u", window_word(w, WIN_HEIGHT)));
    mirror_select(window_word(w, WIN_ROTATE));
    if (!(window_word(w, WIN_OUTPUT) & WIN_OUT_P2P)) {
        ui->comboBox_P2P->setCurrentIndex(0);
    } else {
        switch (window_word(w, WIN_P2P_MODE)) {
        case 0: ui->comboBox_P2P->setCurrentIndex(1); break;
        case 8: ui->comboBox_P2P->setCurrentIndex(2); break;
        case 9: ui->comboBox_P2P->setCurrentIndex(3); break;
        default: ui->comboBox_P2P->setCurrentIndex(-1); break;  // no such mode: none shown
        }
    }
    ui->frame->setStyleSheet("#frame{border:1px solid rgb(255,171,84);}");
}

void ImageLayout::mirror_select(int mode) { show_mirrors(*this, mode); }  // none lit for no such mode

void ImageLayout::syncUpdate()
{
    PageFrame::syncUpdate();
    image_init();
    image_para_update();
}

void ImageLayout::tlx_image_button_clicked() {}

void ImageLayout::keyPressEvent(QKeyEvent* e)
{
    const int key = panel_key(e->key());
    if (key == KEY_OK)
        qDebug("this is OK ImageLayout(Option)[Press]\n");
    else if (key == KEY_BACK)
        qDebug("this is back ImageLayout(Option)[Press]\n");
    e->accept();
}

bool ImageLayout::page_key(int key)
{
    if (key != KEY_LEFT && key != KEY_RIGHT)
        return false;  // OK only logs, back closes: the frame's
    if (key == KEY_LEFT)
        ui_select = static_cast<u8>(ui_select == 0 ? 5 : ui_select - 1);
    else
        ui_select = static_cast<u8>(ui_select >= 5 ? 0 : ui_select + 1);
    ui->frame_image->setGeometry(7 + 51 * ui_select, 39, 51, 49);
    image_init();
    image_para_update();
    return true;
}
