#include "ui/source_pages/source_common.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>

#include "core/alias_reader.h"
#include "ui/shell/LockWindow.h"
#include "ui/shell/NumberKeyboard.h"
#include "ui/shell/text_fit.h"

namespace srcpage {

const int kColumnSource[kSources] = {2, 3, 4, 5, 1, 0};
const Text4 kNoSignal{"无信号", "No signal", "Нет сигнала", "Không có tín hiệu"};
const Text4 kNamePrefix{"名称:", "Name:", "Название:", "Tên:"};

int column_of(int s)
{
    static const int columns[kSources] = {5, 4, 0, 1, 2, 3};
    return valid_source(s) ? columns[s] : 0;
}

QString name_of(int s) { return source_name(s); }

TlxRamPara* store() { return TlxRamPara::p_tlxrampara_config; }

u8* live_image() { return store() ? store()->ram_image : nullptr; }

bool input_timing(int s, int* w, int* h, int* hz)
{
    *w = *h = *hz = 0;
    const u8* img = live_image();
    if (!img || !valid_source(s))
        return false;
    const u32 a = ram_input_timing_addr(s);
    *w = ram_rd16(img, a);  // unsigned, as stored
    *h = ram_rd16(img, a + 2);
    *hz = ram_rd16(img, a + 4);
    return *w && *h && *hz;
}

QString timing_text(int s)
{
    int w, h, hz;
    if (!input_timing(s, &w, &h, &hz))
        return tr4(kNoSignal);
    return QString::asprintf("%dx%d@%dHz", w, h, hz);
}

int crop_entry(int s, int n, CROP_PARA* crop)
{
    *crop = CROP_PARA{};
    int row = kNoRow;
    if (store() && valid_source(s))
        store()->TlxGetCropPara(s, n, crop, &row);
    if (row < 0 || row >= kNoRow) {
        *crop = CROP_PARA{};
        return kNoRow;
    }
    return row;
}

int crop_of_id(int s, int id, CROP_PARA* crop)
{
    *crop = CROP_PARA{};
    const u8* img = live_image();
    if (!img || !valid_source(s) || id < 1 || id > kNoRow)
        return kNoRow;
    const u16 want = static_cast<u16>(CROP_KEY_USED | ((id - 1) << 8) | s);
    for (int r = 0; r < kNoRow; ++r) {
        if (ram_rd16(img, ram_crop_addr(r, CROP_KEY)) != want)
            continue;
        *crop = CROP_PARA{want, ram_rd16(img, ram_crop_addr(r, CROP_X)), ram_rd16(img, ram_crop_addr(r, CROP_Y)),
                          ram_rd16(img, ram_crop_addr(r, CROP_WIDTH)), ram_rd16(img, ram_crop_addr(r, CROP_HEIGHT))};
        return r;
    }
    return kNoRow;
}

int entry_of_row(int s, int row)
{
    const u8* img = live_image();
    if (!img || !valid_source(s) || row < 0 || row >= kNoRow)
        return kNoEntry;
    const u16 key = ram_rd16(img, ram_crop_addr(row, CROP_KEY));
    if (!(key & CROP_KEY_USED) || (key & CROP_KEY_SOURCE) != s)
        return kNoEntry;
    // Entries are in crop-id order, and rows need not be: count the source's smaller ids.
    const int id = key & CROP_KEY_NUMBER;
    int entry = 1;
    for (int r = 0; r < kNoRow; ++r) {
        const u16 k = ram_rd16(img, ram_crop_addr(r, CROP_KEY));
        if ((k & CROP_KEY_USED) && (k & CROP_KEY_SOURCE) == s && (k & CROP_KEY_NUMBER) < id)
            ++entry;
    }
    return entry;
}

int entry_count(int s)
{
    return (store() && valid_source(s) ? store()->TlxGetSourceNum(s, RAM_CROP_ROWS) : 0) + 1;
}

void refresh_crop_ids()
{
    if (store())
        store()->TlxCropSourceInit();
}

bool alias_name(const char* category, int id, QString* name)
{
    ALIAS_PARA alias{};
    if (!get_json_alias_para(&alias, category, id))
        return false;
    *name = QString::fromStdString(alias.name);
    return true;
}

void set_strip_label(QLabel* label, int s, const char* name_colour, int count, bool white_count)
{
    const QString tpl = "<font style = 'font-size:%1px' color = %2 >%3</font>";
    const char* blue = "#4777ff";
    constexpr int kPx = 9;
    const QString count_text = "(" + QString::number(count) + ")";
    QString name;
    const bool has_alias = alias_name("source", s, &name);
    if (!has_alias)
        name = name_of(s);
    QFont f = label->font();
    f.setPixelSize(kPx);
    const int room = label->contentsRect().width() - QFontMetrics(f).horizontalAdvance(count_text);
    int px = kPx;
    const QString alias = name;
    name = textfit::fit_piece(label, alias, room, &px);
    // Aliases may share their beginning ("Camera Left", "Camera Right"): one that does not
    // fit gives way to the input's own name, which tells the inputs apart.
    if (has_alias && textfit::elided(label)) {
        px = kPx;
        name = textfit::fit_piece(label, name_of(s), room, &px);
    }
    label->setText(tpl.arg(px).arg(name_colour, name.toHtmlEscaped()) + tpl.arg(kPx).arg(blue, "(") +
                   tpl.arg(kPx).arg(white_count && !has_alias ? "#ffffff" : blue, QString::number(count)) +
                   tpl.arg(kPx).arg(blue, ")"));
}

QLabel* picture(QWidget* parent, const char* png, const QRect& r, const char* sheet)
{
    auto* l = new QLabel(parent);
    l->setGeometry(r);
    l->setPixmap(QPixmap(png));
    l->setScaledContents(true);
    if (sheet)
        l->setStyleSheet(sheet);
    return l;
}

namespace {
// Whether `text` fits `label` on one line at the label's size or smaller, without an ellipsis.
bool fits_whole(QLabel* label, const QString& text)
{
    int px = QFontInfo(label->font()).pixelSize();
    textfit::fit_piece(label, text, textfit::text_area(label).width(), &px);
    return !textfit::elided(label);
}
}  // namespace

void card_texts(QLabel* name, QLabel* size, int s, const QString& source_name, int entry, QString* crop_name)
{
    if (entry == 0) {
        name->setText(source_name);
        size->setText(timing_text(s));
        return;
    }
    CROP_PARA crop;
    const int row = crop_entry(s, entry, &crop);
    QString alias;
    // A crop's alias that does not fit its card whole gives way to the crop's own name: cut
    // aliases of neighbouring cards may read the same.
    if (row != kNoRow && alias_name("crop", row, &alias) && fits_whole(name, alias)) {
        name->setText(alias);
    } else {
        *crop_name = QString::asprintf("_crop%d", crop_id_of(crop));
        name->setText(source_name + *crop_name);
    }
    size->setText(QString::asprintf("%dx%d", crop.width, crop.height));
}

QFont pixel_font(int px)
{
    QFont f;
    f.setPixelSize(px);
    return f;
}

void open_keypad(QLineEdit* field, const QString& title) { open_number_keyboard(field, title); }

QLineEdit* keypad_field_on(QWidget* page)
{
    return g_lineedit && page && page->isAncestorOf(g_lineedit) ? g_lineedit : nullptr;
}

}  // namespace srcpage
