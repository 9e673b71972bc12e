// The user-mode page's information lines and preview: everything is read from the slot's
// saved copy of the image (what invoking the mode would bring), never from the live image;
// while a tool's write to the slot is not carried out, from the mode's file (panel_mode).
#include <QLabel>

#include "core/store_files.h"
#include "scaler/omenu_file.h"
#include "scaler/osd_text.h"
#include "ui/source_pages/CustomMode.h"
#include "ui/shell/text_fit.h"
#include "ui/source_pages/source_common.h"
#include "ui_CustomMode.h"

using namespace srcpage;

namespace {
const Text4 kDefaultName{"名称:用户模式%1", "Name:Mode%1", "Название:Слот%1", "Tên:Chế độ%1"};
const Text4 kLed{"LED参数:%1x%2", "LED size:%1x%2", "LED:%1x%2", "LED:%1x%2"};
const Text4 kPictureOn{"亮度:%1 对比度:%2 音量:开启", "Bri:%1 CTRST:%2 Volume:ON", "Яркость:%1 Контраст:%2 Громкость:Вкл",
                       "Độ sáng:%1 Tương phản:%2 Âm:Mở"};
const Text4 kPictureOff{"亮度:%1 对比度:%2 音量:关闭", "Bri:%1 CTRST:%2 Volume:OFF", "Яркость:%1 Контраст:%2 Громкость:Откл",
                        "Độ sáng:%1 Tương phản:%2 Âm:đóng"};
const Text4 kMore{"更多", "More", "Больше", "Nhiều hơn"};
const Text4 kOn{"开启", "ON", "Вкл", "Mở"};
const Text4 kOff{"关闭", "OFF", "Откл", "Đóng"};
const char* const kInfoSheet = "background-color: #10101C;color: #FFFFFF;";

// A field of the slot copy by its image address, unsigned as stored.
u16 copy_u16(const u8* copy, u32 addr) { return ram_rd16(copy, addr - RAM_MODE_BASE); }

// "RRGGBB" of an OSD colour read as the scaler reads it ("#RRGGBB", "RRGGBB", or a number
// after "0x": "0xFF" is blue), so the preview shows what the wall shows; empty when the
// scaler would not take it.
QString osd_colour(const std::string& text)
{
    uint32_t bgr = 0;
    if (!osd_text::colour_bgr(text, &bgr))
        return QString();
    const uint32_t rgb = (bgr & 0xFF) << 16 | (bgr & 0xFF00) | (bgr >> 16 & 0xFF);
    return QString::asprintf("%06X", rgb);
}

QString effect_text(int effect)
{
    static const char* const zh[] = {"特技:静止", "特技:上移", "特技:下移", "特技:左移", "特技:右移"};
    static const char* const en[] = {"effect:static", "effect:move up", "effect:move down", "effect:move left",
                                     "effect:move right"};
    const int i = effect >= 2 && effect <= 5 ? effect - 1 : 0;
    return QString::fromUtf8(g_language == 0 ? zh[i] : en[i]);
}
}  // namespace

void CustomMode::color_fill(QLabel* label, char index)
{
    static const char* const colours[6] = {"#D5E5FF", "#D4FC79", "#FC9D79", "#7E9AC9", "#32CC4C", "#4777FF"};
    const int i = static_cast<unsigned char>(index);
    label->setStyleSheet(QString("background-color: %1;").arg(i < 6 ? colours[i] : "#CCCCCC"));
}

void CustomMode::lcd_para_init()
{
    const int s = g_mode_select % MODE_SLOTS;
    if (!store())
        return;
    MODE_SLOT mode;
    const bool saved = store()->panel_mode(s, &mode);
    const u8* copy = mode.image();
    int w = copy[ram_selected_window - RAM_MODE_BASE];
    if (w >= 6)
        w = 0;
    const bool volume = copy_u16(copy, ram_window_addr(w, WIN_AUDIO)) & WIN_AUDIO_ON;
    QString alias;
    if (alias_name("usermode", s, &alias))
        ui->label_name->setText(tr4(kNamePrefix) + alias);
    else
        ui->label_name->setText(tr4(kDefaultName).arg(s + 1));
    ui->label_LED->setText(tr4(kLed).arg(copy_u16(copy, ram_led_width)).arg(copy_u16(copy, ram_led_height)));
    ui->label_brightness->setText(
        tr4(volume ? kPictureOn : kPictureOff).arg(copy_u16(copy, ram_brightness)).arg(copy_u16(copy, ram_contrast)));
    ui->Button_more->setText(tr4(kMore));
    ui->label_using->setVisible(saved && store()->TlxGetCurrentModeIndex() == s + 1);
}

void CustomMode::image_para_init()
{
    const int s = g_mode_select % MODE_SLOTS;
    delete preview;
    preview = nullptr;
    MODE_SLOT mode;
    if (!store() || !store()->panel_mode(s, &mode)) {
        ui->label_LED->hide();
        ui->label_brightness->hide();
        ui->label_blank->show();
        ui->Button_delete->hide();
        ui->Button_use->hide();
        ui->label_using->hide();
        ui->Button_more->hide();
        more_hidden = 1;
        return;
    }
    const u8* copy = mode.image();
    ui->label_LED->show();
    ui->label_brightness->show();
    ui->label_blank->hide();
    ui->Button_delete->show();
    ui->Button_use->show();
    more_hidden = copy_u16(copy, ram_osd_enable) != 0 ? 0 : 1;
    ui->Button_more->setVisible(!more_hidden);
    preview = new QWidget(ui->frame);
    preview->setGeometry(3, 61, 285, 90);
    preview->setMinimumSize(50, 60);
    if (action_level == 1 && !more_hidden && action_select == 2)
        fill_osd(s);
    else
        fill_layout(copy);
    preview->show();
}

QLabel* CustomMode::preview_label(const QRect& r, const QString& text, const char* sheet)
{
    auto* l = new QLabel(text, preview);
    l->setGeometry(r);
    l->setFont(preview_font);
    if (sheet)
        l->setStyleSheet(sheet);
    return l;
}

QStringList CustomMode::preview_texts() const
{
    QStringList texts;
    if (preview)
        for (QLabel* l : preview->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly))
            texts << textfit::full_text(l);
    return texts;
}

void CustomMode::fill_layout(const u8* copy)
{
    for (int w = 0; w < 6; ++w) {
        const int x_tile = w < 3 ? 0 : 145;
        const int x_text = w < 3 ? 24 : 171;
        const int b = 16 + 30 * (w % 3);
        QLabel* tile = preview_label(QRect(x_tile, b - 14, 24, 24), QString::asprintf("%d", w + 1), nullptr);
        tile->setAlignment(Qt::AlignCenter);
        color_fill(tile, static_cast<char>(w));
        int16_t is_crop = 0;
        u8 row = kNoRow;
        const int src = store()->TlxGetImageSource(copy, static_cast<u8>(w), &is_crop, &row, 1);
        QString line = name_of(src);  // "--" for a source outside 0..5
        if (is_crop && valid_source(src) && row < kNoRow) {
            const u16 key = copy_u16(copy, ram_crop_addr(row, CROP_KEY));
            if (key & CROP_KEY_USED)  // a deleted crop's row shows the source alone
                line += QString::asprintf("_Crop%d", ((key & CROP_KEY_NUMBER) >> 8) + 1);
        }
        line += " " + tr4(copy_u16(copy, ram_window_addr(w, WIN_ENABLE)) ? kOn : kOff);
        // Up to the next column's tiles, or the preview's edge: a longer text is fitted there.
        const int width = (w < 3 ? 145 : preview->width()) - x_text - 1;
        preview_label(QRect(x_text, b - 14, std::min(100, width), 12), line, kInfoSheet);
        preview_label(QRect(x_text, b, width, 12),
                      QString::asprintf("[%u,%u]%ux%u", copy_u16(copy, ram_window_addr(w, WIN_X)),
                                        copy_u16(copy, ram_window_addr(w, WIN_Y)), copy_u16(copy, ram_window_addr(w, WIN_WIDTH)),
                                        copy_u16(copy, ram_window_addr(w, WIN_HEIGHT))),
                      kInfoSheet);
    }
}

void CustomMode::osd_caption(const OMENU_PARA& o, QString* text, QString* sheet)
{
    QStringList lines = QString::fromStdString(o.texts).split("\n");
    if (lines.size() > 3)
        lines = lines.mid(0, 3);
    *text = lines.join("\n");
    const QString bg = osd_colour(o.backpara_color);
    const QString fg = osd_colour(o.font_color);
    *sheet = QString("background-color:#%1;color:#%2;").arg(bg.isEmpty() ? "10101C" : bg, fg.isEmpty() ? "FFFFFF" : fg);
}

void CustomMode::fill_osd(int slot)
{
    // A list of our own, zero until the file fills it: the scaler's list is not touched.
    OSD_LIST list{};
    const std::string path = store_files::mode_osd_path(slot);
    get_json_omenu_para(path.c_str(), &list);
    const OMENU_PARA& o = list.osd[0];
    QString text, sheet;
    osd_caption(o, &text, &sheet);
    preview_label(QRect(6, 2, 300, 50), text, nullptr)->setStyleSheet(sheet);
    const bool zh = g_language == 0;
    auto u = [](int v) { return QString::number(static_cast<unsigned>(v)); };
    const QString info = "osd [x:" + u(o.pos_x) + ",y:" + u(o.pos_y) + ",w:" + u(o.pos_w) + ",h:" + u(o.pos_h) + "] " +
                         QString::fromUtf8(zh ? "字体大小:" : "font size:") + u(o.fontw) + "*" + u(o.fonth) + "\n" +
                         QString::fromUtf8(zh ? "字-行间距 [h:" : "space [h:") + u(o.wordspace) + ",v:" + u(o.verticalspace) +
                         "] " + QString::fromUtf8(zh ? "字幕坐标[x:" : "char[x:") + u(o.startx) + ",y:" + u(o.starty) + "] " +
                         QString::fromUtf8(zh ? "速度:" : "speed:") + u(o.speed) + "," + effect_text(o.effect);
    preview_label(QRect(2, 56, 300, 30), info, kInfoSheet);
}
