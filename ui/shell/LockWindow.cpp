#include "ui/shell/LockWindow.h"

#include <QGridLayout>
#include <QMutexLocker>
#include <QPixmap>

#include "ui/shell/MainWindow.h"
#include "ui/shell/image_access.h"
#include "ui/shell/lang.h"
#include "ui/shell/panel_keys.h"
#include "ui_LockWindow.h"

namespace {
const Text4 kTitle{"视频处理器", "Video processor", "Видеопроцессор", "Bộ xử lý video"};
const Text4 kLed{"LED 尺寸", "LED size", "Размер LED", "Kích thước LED"};
const Text4 kBrightness{"亮度 %1", "Brightness %1", "Яркость %1", "Độ sáng %1"};
const Text4 kContrast{"对比度 %1", "Contrast %1", "Контраст %1", "Tương phản %1"};
const Text4 kHint{"按 OK 进入菜单", "Press OK for the menu", "OK: открыть меню", "Nhấn OK để vào menu"};
const Text4 kOff{"关闭", "off", "выкл", "tắt"};
const Text4 kWin{"窗口%1", "Win %1", "Окно %1", "Cửa sổ %1"};
const char* const kWindowColours[] = {"#867AE9", "#005A8D", "#39A9CB", "#EBA83A", "#FF96AD", "#D5E5FF"};
}  // namespace

QString source_name(int source)
{
    static const char* const names[] = {"EXT", "DVI", "HDMI1", "HDMI2", "HDMI3", "HDMI4"};
    return source >= 0 && source < 6 ? QString::fromLatin1(names[source]) : QStringLiteral("--");
}

LockWindow::LockWindow(QWidget* parent) : PageFrame("LockWindow", PAGE_LOCKWINDOW), ui(new Ui::LockWindow)
{
    (void)parent;
    ui->setupUi(this);
    ui->label_note_OK->setPixmap(QPixmap(":/png/OK_Enter.png"));
    auto* grid = new QGridLayout(ui->card_area);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(6);
    for (int w = 0; w < kWindows; ++w) {
        auto* card = new QLabel(ui->card_area);
        card->setObjectName(QString("card_%1").arg(w));
        card->setAlignment(Qt::AlignCenter);
        card->setStyleSheet(QString("QLabel{background-color: rgb(33, 36, 53); border:2px solid %1; border-radius:5px; font-size:12px;}")
                                .arg(kWindowColours[w]));
        grid->addWidget(card, w / 3, w % 3);
        cards_.push_back(card);
    }
    finish_construction();
}

LockWindow::~LockWindow() { delete ui; }

void LockWindow::para_init()
{
    ui->label_led_size->setText(QString::asprintf("%u x %u", image_u16(ram_led_width), image_u16(ram_led_height)));
    ui->label_brightness->setText(tr4(kBrightness).arg(static_cast<int16_t>(image_u16(ram_brightness))));
    ui->label_contrast->setText(tr4(kContrast).arg(image_u16(ram_contrast)));
    refresh_cards();
    QMutexLocker lk(&g_config_text_mutex());
    ui->label_ip->setText("IP " + g_str_ip);
}

void LockWindow::language_changed()
{
    ui->label_title->setText(tr4(kTitle));
    ui->label_led_name->setText(tr4(kLed));
    ui->label_hint->setText(tr4(kHint));
    para_init();
}

void LockWindow::syncUpdate()
{
    if (TlxRamPara::p_tlxrampara_config && TlxRamPara::p_tlxrampara_config->TlxLanguageChanged())
        language_changed();
    else
        para_init();
}

QString LockWindow::card_text(int w) const
{
    TlxRamPara* store = TlxRamPara::p_tlxrampara_config;
    QString text = tr4(kWin).arg(w + 1) + "\n";
    if (!store)
        return text + "--";
    if (get_u16(store->ram_image, ram_window_addr(w, WIN_ENABLE)) == 0)
        return text + tr4(kOff);
    int16_t is_crop = 0;
    u8 row = 0;
    const u8 source = store->TlxGetImageSource(store->ram_image, static_cast<u8>(w), &is_crop, &row, 0);
    text += source_name(source);
    // A deleted crop keeps its row in the window record: its cleared key names no crop.
    const u16 key = is_crop && row < RAM_CROP_ROWS ? get_u16(store->ram_image, ram_crop_addr(row, CROP_KEY)) : 0;
    if (key & CROP_KEY_USED)
        text += QString(" C%1").arg(((key & CROP_KEY_NUMBER) >> 8) + 1);
    return text;
}

void LockWindow::refresh_cards()
{
    for (int w = 0; w < kWindows; ++w)
        cards_[w]->setText(card_text(w));
}

bool LockWindow::page_key(int key)
{
    if (key == KEY_OK) {
        hide();
        g_page_focus = PAGE_MAINWINDOW;
        if (g_mainwindow) {
            g_mainwindow->language_changed();
            g_mainwindow->syncUpdate();
            g_mainwindow->show();
            g_mainwindow->raise();
            g_mainwindow->activateWindow();
        }
    }
    return true;  // F4/F5 have nothing to move over here; back stays home
}
