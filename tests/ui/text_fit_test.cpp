// Every page of the panel (and the keypad and the tip) in each of the four languages, with long
// but legal values: every visible label, button, combo box and line edit shows its text whole,
// measured where Qt paints it (not cut at any edge, descenders included, and not elided unless
// the fitting had to and says so) and readable against its background, at every focus state
// the keys reach, the keypad while it is open. Every kind of widget is also compared with the
// ink Qt paints for its text, against the ink of the same text painted with room around it. The failure message lists what does not fit;
// the screenshots go to $K57_BUILD_DIR/ui_screens/fit_*.png.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QTextDocument>
#include <QtTest>
#include <cmath>
#include <cstring>
#include <fstream>

#include "common/temp_dir.h"
#include "core/c331_shared.h"
#include "sim/sim_board.h"
#include "ui/page_test_aids.h"
#include "ui/settings_pages/settings_pages.h"
#include "ui/shell/AdvancedOption.h"
#include "ui/shell/ImageQuality.h"
#include "ui/shell/LinkOption.h"
#include "ui/shell/Option.h"
#include "ui/shell/OutputSet.h"
#include "ui/shell/image_access.h"
#include "ui/shell/panel_keys.h"
#include "ui/shell/shell_start.h"
#include "ui/shell/agelog.h"
#include "ui/shell/text_fit.h"
#include "ui/source_pages/InputChoose.h"
#include "ui/source_pages/source_pages.h"
#include "video_io/fpga_manage.h"
#include "video_io/soc_pads.h"

namespace {

using Step = std::function<void()>;
using StepList = std::vector<Step>;

const char* const kLangName[4] = {"zh", "en", "ru", "vi"};
const char* const kAlias = "Alias_Name_16chr";  // 16 characters, an underscore and descenders

QStringList g_misfits;
QStringList g_elided;
int g_lang = 1;

// The size the text needs at the widget's font: its widest line, and a full font height per
// line (ascent and descent, so descenders and underscores are not cut).
QSize need_of(const QWidget* w, const QString& text, bool rich)
{
    if (rich) {
        QTextDocument doc;
        doc.setDefaultFont(w->font());
        doc.setDocumentMargin(0);
        doc.setHtml(text);
        return QSize(int(std::ceil(doc.idealWidth())), int(std::ceil(doc.size().height())));
    }
    const QFontMetrics fm(w->font());
    const QStringList lines = text.split('\n');
    int width = 0;
    for (const QString& l : lines)
        width = std::max(width, fm.horizontalAdvance(l));
    return QSize(width, fm.height() + (lines.size() - 1) * fm.lineSpacing());
}

// A line edit paints one line of the font's full height, centred (or at the top or bottom) in
// its text area and clipped to it: what shows is the ink of the text at that baseline, so a
// line of digits shows whole where its descent is clipped. The part of the ink outside `area`,
// in pixels (0: none).
int ink_cut(const QLineEdit* e, const QString& text, const QRect& area)
{
    const QFontMetrics fm(e->font());
    const Qt::Alignment v = e->alignment() & Qt::AlignVertical_Mask;
    int top = area.top() + (area.height() - fm.height() + 1) / 2;
    if (v == Qt::AlignTop)
        top = area.top();
    else if (v == Qt::AlignBottom)
        top = area.bottom() + 1 - fm.height();
    const QRect ink = fm.tightBoundingRect(text).translated(0, top + fm.ascent());
    return std::max(0, area.top() - ink.top()) + std::max(0, ink.bottom() - area.bottom());
}

double luminance(const QColor& c)
{
    auto lin = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * lin(c.redF()) + 0.7152 * lin(c.greenF()) + 0.0722 * lin(c.blueF());
}
double contrast(const QColor& a, const QColor& b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// One line per text: line breaks shown as "|", rich text as its plain text.
QString flat_of(const QString& text, bool rich)
{
    QString t = text;
    if (rich) {
        QTextDocument doc;
        doc.setHtml(text);
        t = doc.toPlainText();
    }
    return t.replace('\n', '|');
}

QString name_of(const QWidget* w, const QString& where)
{
    return QString("%1 %2 %3").arg(kLangName[g_lang], where,
                                   w->objectName().isEmpty() ? QString(w->metaObject()->className()) : w->objectName());
}

void note(QStringList* list, const QString& line)
{
    if (!list->contains(line))
        list->append(line);
}

// The bounding rectangle of the pixels that differ between two grabs of one widget.
QRect diff_rect(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return {};
    const QImage pa = a.convertToFormat(QImage::Format_RGB32), pb = b.convertToFormat(QImage::Format_RGB32);
    int left = pa.width(), right = -1, top = pa.height(), bottom = -1;
    for (int y = 0; y < pa.height(); ++y) {
        const auto* ra = reinterpret_cast<const QRgb*>(pa.constScanLine(y));
        const auto* rb = reinterpret_cast<const QRgb*>(pb.constScanLine(y));
        for (int x = 0; x < pa.width(); ++x)
            if (ra[x] != rb[x]) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

// The size of the ink of one line of text in `font` painted with room all around it.
QSize free_ink(const QFont& font, const QString& line)
{
    const QFontMetrics fm(font);
    QImage img(fm.horizontalAdvance(line) + 4 * fm.height(), 3 * fm.height(), QImage::Format_RGB32);
    img.fill(Qt::black);
    {
        QPainter p(&img);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(2 * fm.height(), fm.height() + fm.ascent(), line);
    }
    QImage none(img.size(), QImage::Format_RGB32);
    none.fill(Qt::black);
    return diff_rect(img, none).size();
}

// A widget drawn after `w` over the place where w's text is drawn hides part of it.
const QWidget* hidden_by(const QWidget* w, const QRect& text)
{
    const QWidget* parent = w->parentWidget();
    if (!parent)
        return nullptr;
    const QRect on_parent = text.translated(w->pos());
    bool above = false;
    for (QObject* o : parent->children()) {
        auto* sib = qobject_cast<const QWidget*>(o);
        if (sib == w)
            above = true;
        else if (above && sib && sib->isVisible() && sib->geometry().intersects(on_parent) &&
                 (qobject_cast<const QLineEdit*>(sib) || qobject_cast<const QLabel*>(sib) ||
                  qobject_cast<const QAbstractButton*>(sib) || qobject_cast<const QComboBox*>(sib)))
            return sib;
    }
    return nullptr;
}

void check_text(const QWidget* w, const QString& where, const QString& shown, bool rich)
{
    const QRect area = textfit::text_area(w);
    const QSize need = need_of(w, shown, rich);
    Qt::Alignment align = Qt::AlignCenter;
    if (auto* l = qobject_cast<const QLabel*>(w))
        align = l->alignment();
    else if (auto* e = qobject_cast<const QLineEdit*>(w))
        align = e->alignment();
    else if (qobject_cast<const QComboBox*>(w))
        align = Qt::AlignLeft | Qt::AlignVCenter;
    const QRect drawn = QStyle::alignedRect(w->layoutDirection(), align, need.boundedTo(area.size()), area);
    for (const QWidget* a = w->parentWidget(); a; a = a->isWindow() ? nullptr : a->parentWidget())
        if (!a->rect().contains(QRect(w->mapTo(a, drawn.topLeft()), drawn.size())))
            note(&g_misfits, QString("%1 \"%2\": cut by %3").arg(name_of(w, where), flat_of(shown, rich), a->objectName()));
    if (const QWidget* over = hidden_by(w, drawn))
        note(&g_misfits, QString("%1 \"%2\": covered by %3").arg(name_of(w, where), flat_of(shown, rich), over->objectName()));
    auto* edit = qobject_cast<const QLineEdit*>(w);
    const bool too_high = edit ? ink_cut(edit, shown, area) > 0 : need.height() > area.height();
    if (need.width() > area.width() || too_high)
        note(&g_misfits, QString("%1 \"%2\": needs %3x%4, has %5x%6 at %7px")
                             .arg(name_of(w, where), flat_of(shown, rich))
                             .arg(need.width())
                             .arg(need.height())
                             .arg(area.width())
                             .arg(area.height())
                             .arg(QFontInfo(w->font()).pixelSize()));
    // The fitting may only break a line (at a space, or after "_" or "-"); an ellipsis must be
    // its own.
    const QString full = textfit::full_text(w);
    const QString joined = QString(shown).remove('\n').remove(' ');
    const QString full_joined = QString(full).remove('\n').remove(' ');
    if (textfit::elided(w) && QString(shown).remove(QChar(0x2026)).trimmed().isEmpty())
        note(&g_misfits, QString("%1 \"%2\": nothing left of \"%3\"").arg(name_of(w, where), flat_of(shown, rich), flat_of(full, rich)));
    else if (textfit::elided(w))
        note(&g_elided, QString("%1 \"%2\" elided from \"%3\"").arg(name_of(w, where), flat_of(shown, rich), flat_of(full, rich)));
    else if (shown.contains(QChar(0x2026)) || joined != full_joined)
        note(&g_misfits, QString("%1 \"%2\": cut from \"%3\"").arg(name_of(w, where), flat_of(shown, rich), flat_of(full, rich)));
    const QColor fg = w->palette().color(w->foregroundRole());
    const QColor bg = w->palette().color(w->backgroundRole());
    if (!rich && contrast(fg, bg) < 3.0)
        note(&g_misfits, QString("%1 \"%2\": %3 on %4 is not readable").arg(name_of(w, where), flat_of(shown, rich), fg.name(), bg.name()));
}

// The ink of the widget's text as Qt paints it: the pixels that change when the text is taken
// away (border, background, icon and arrow stay), in widget coordinates.
QRect painted_ink(QWidget* w)
{
    const QImage with = w->grab().toImage();
    const QSignalBlocker quiet(w);
    // The widget grabbed once its text is taken away by `clear`, which returns what puts it back.
    const auto without = [&](auto clear) {
        const auto restore = clear();
        const QImage img = w->grab().toImage();
        restore();
        return diff_rect(with, img);
    };
    if (auto* l = qobject_cast<QLabel*>(w))
        return without([l] { const QString t = l->text(); l->setText(QString()); return [l, t] { l->setText(t); }; });
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        return without([b] { const QString t = b->text(); b->setText(QString()); return [b, t] { b->setText(t); }; });
    if (auto* c = qobject_cast<QComboBox*>(w))
        return without([c] {
            const int i = c->currentIndex();
            const QString t = c->itemText(i);
            c->setItemText(i, QString());
            return [c, i, t] { c->setItemText(i, t); };
        });
    if (auto* e = qobject_cast<QLineEdit*>(w))
        return without([e] {
            const QString t = e->text();
            const int cursor = e->cursorPosition();
            e->setText(QString());
            return [e, t, cursor] { e->setText(t); e->setCursorPosition(cursor); };
        });
    return {};
}

// The painted text against the text given: narrower or lower ink than the text's own means
// Qt cut it (at the widget's edge, a line edit scrolled, a combo box or button clipped).
void check_ink(QWidget* w, const QString& where, const QString& shown, bool rich)
{
    if (rich || textfit::elided(w) || QString(shown).trimmed().isEmpty())
        return;
    // A widget painted alike before (same kind, text, size, font and sheet) is not grabbed again.
    static QHash<QString, bool> seen;
    const QString look = QString("%1|%2|%3x%4|%5|%6|%7")
                             .arg(w->metaObject()->className(), shown)
                             .arg(w->width())
                             .arg(w->height())
                             .arg(w->font().key(), w->styleSheet(), w->isEnabled() ? "on" : "off");
    if (seen.contains(look) && seen.value(look))
        return;
    const QRect ink = painted_ink(w);
    const QStringList lines = shown.split('\n');
    int width = 0, height = 0;
    for (const QString& l : lines) {
        const QSize t = free_ink(w->font(), l);
        width = std::max(width, t.width());
        height = std::max(height, t.height());
    }
    const bool whole = ink.width() >= width - 1 && ink.height() >= height - 1;
    seen.insert(look, whole);
    if (!whole)
        note(&g_misfits, QString("%1 \"%2\": painted %3x%4 of %5x%6")
                             .arg(name_of(w, where), flat_of(shown, rich))
                             .arg(ink.width())
                             .arg(ink.height())
                             .arg(width)
                             .arg(height));
}

void check_widget(const QWidget* w, const QString& where)
{
    if (auto* l = qobject_cast<const QLabel*>(w)) {
        if (textfit::full_text(w).isEmpty())  // a picture
            return;
        const bool rich = l->textFormat() == Qt::RichText || (l->textFormat() == Qt::AutoText && Qt::mightBeRichText(l->text()));
        check_text(w, where, l->text(), rich);
        check_ink(const_cast<QWidget*>(w), where, l->text(), rich);
    } else if (auto* b = qobject_cast<const QAbstractButton*>(w)) {
        if (!b->text().isEmpty()) {
            check_text(w, where, b->text(), false);
            check_ink(const_cast<QWidget*>(w), where, b->text(), false);
        }
    } else if (auto* c = qobject_cast<const QComboBox*>(w)) {
        check_text(w, where, c->currentText(), false);
        check_ink(const_cast<QWidget*>(w), where, c->currentText(), false);
    } else if (auto* e = qobject_cast<const QLineEdit*>(w)) {
        if (!e->displayText().isEmpty()) {
            check_text(w, where, e->displayText(), false);
            check_ink(const_cast<QWidget*>(w), where, e->displayText(), false);
        }
    }
}

// Every visible text of every window shown now.
void check_all(const QString& where)
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (!top->isVisible())
            continue;
        for (QWidget* w : top->findChildren<QWidget*>())
            if (w->isVisible())
                check_widget(w, where);
    }
}

void snap(const QString& where)
{
    shot(QString("fit_%1_%2").arg(kLangName[g_lang], where).toLatin1().constData());
}

int key_code(char k)
{
    switch (k) {
    case 'L': return KEY_LEFT;
    case 'R': return KEY_RIGHT;
    case 'O': return KEY_OK;
    default: return KEY_BACK;
    }
}

// Checks the page as opened, then after every key of `tour` (L, R, O, B); a screenshot as
// opened and after every O. The check after a key is a step of its own: a key that opens a
// modal dialog (the keypad) returns only when it closes, and the steps after it run inside its
// loop, while it is shown.
StepList tour(const QString& where, const std::string& keys)
{
    StepList s{[where] {
        check_all(where);
        snap(where);
    }};
    int shots = 0;
    for (char k : keys) {
        const bool ok = k == 'O';
        const int n = ok ? ++shots : shots;
        s.push_back([k] { key(key_code(k)); });
        s.push_back([where, ok, n] {
            check_all(where);
            if (ok)
                snap(where + QString::number(n));
        });
    }
    return s;
}

StepList operator+(StepList a, const StepList& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

StepList home() { return {[] { g_mainwindow->go_home(); }}; }
// Save on the EDID page of a record the EDID builder refuses: the tip that says why.
StepList edid_refused(u16 w, u16 h, u16 hz, const char* where)
{
    const u32 rec = ram_edid_addr(2);
    return StepList{[=] {
                        ram_wr16(image(), rec, w);
                        ram_wr16(image(), rec + 2, h);
                        ram_wr16(image(), rec + 4, hz);
                        key(KEY_OK);
                        g_mainwindow->on_inputchoose_clicked();
                    },
                    [] { g_inputchoose->tlx_button_EDID_clicked(); }} +
           tour(where, "ORRRRRO") + StepList{[=] {
               ticks(TIP::kTicks);
               ram_wr16(image(), rec, 1920);
               ram_wr16(image(), rec + 2, 1080);
               ram_wr16(image(), rec + 4, 60);
           }};
}
StepList menu() { return {[] { key(KEY_OK); }}; }
// Apply on the LED size page of a stored wall beyond what the page sets: the tip that says why.
StepList ledset_refused()
{
    return StepList{[] {
                        ram_wr16(image(), ram_led_width, 7680);
                        ram_wr16(image(), ram_led_height, 4320);
                        key(KEY_OK);
                        g_mainwindow->on_option_clicked();
                    },
                    [] { g_option->on_Button_outputset_clicked(); }, [] { g_outputset->on_Button_ledset_clicked(); }} +
           tour("ledset_refused", "RRO") + StepList{[] {
               ticks(TIP::kTicks);
               ram_wr16(image(), ram_led_width, 4096);
               ram_wr16(image(), ram_led_height, 2048);
           }};
}
StepList option() { return menu() + StepList{[] { g_mainwindow->on_option_clicked(); }}; }
StepList keypad_digits(const char* digits)
{
    return {[digits] {
        for (const char* d = digits; *d; ++d)
            g_numberkeyboard->press(QString(QChar(*d)));
        g_numberkeyboard->press("ok");
    }};
}

// Types `digits` on the open keypad, then checks every text while they are shown.
StepList keypad_typed(const char* digits, const QString& where)
{
    return {[digits] {
                for (const char* d = digits; *d; ++d)
                    g_numberkeyboard->press(QString(QChar(*d)));
            },
            [where] {
                check_all(where);
                snap(where);
                g_numberkeyboard->press("ok");
            }};
}

// Input aliases that share their beginning, a crop alias longer than its card.
void write_shared_aliases(const std::string& path)
{
    std::ofstream f(path);
    f << R"({"namelist": {"source": [{"id": 2, "valid": "on", "name": "Camera Left"},
        {"id": 3, "valid": "on", "name": "Camera Right"}, {"id": 4, "valid": "on", "name": "Stage PC 1"},
        {"id": 5, "valid": "on", "name": "Stage PC 2"}],
        "crop": [{"id": 0, "valid": "on", "name": "Stage PC 1 wide shot"}]}})";
}

void write_aliases(const std::string& path)
{
    std::ofstream f(path);
    f << "{\"namelist\": {";
    const char* cats[4] = {"source", "crop", "win", "usermode"};
    const int counts[4] = {6, 40, 16, 16};
    for (int c = 0; c < 4; ++c) {
        f << (c ? "," : "") << '"' << cats[c] << "\": [";
        for (int id = 0; id < counts[c]; ++id)
            f << (id ? "," : "") << "{\"id\": " << id << ", \"valid\": \"on\", \"name\": \"" << kAlias << "\"}";
        f << "]";
    }
    f << "}}";
}

// Long but legal values: 4-digit sizes everywhere, crops of 65535 x 65535, two saved user
// modes (the second with its OSD).
void long_values()
{
    u8* img = image();
    for (int s = 0; s < 6; ++s) {
        put_u16(img, ram_input_timing_addr(s), 3840);
        put_u16(img, ram_input_timing_addr(s) + 2, 2160);
        put_u16(img, ram_input_timing_addr(s) + 4, 60);
    }
    put_u16(img, ram_led_width, 8188);
    put_u16(img, ram_led_height, 1280);
    for (int r = 0; r < 3; ++r) {
        const u16 v[5] = {u16(0x8000 | (r << 8) | 2), 1000, 1000, 65535, 65535};
        for (int i = 0; i < 5; ++i)
            put_u16(img, ram_crop_addr(r, 2 * i), v[i]);
    }
    for (int w = 0; w < 6; ++w) {
        put_u16(img, ram_window_addr(w, WIN_ENABLE), 1);
        put_u16(img, ram_window_addr(w, WIN_SOURCE), w == 1 ? 0x8000 : 2);
        put_u16(img, ram_window_addr(w, WIN_WIDTH), 8188);
        put_u16(img, ram_window_addr(w, WIN_HEIGHT), 1280);
    }
    TlxRamPara* st = TlxRamPara::p_tlxrampara_config;
    for (int m : {0, 1}) {
        std::memcpy(st->mode_slot[m].bytes + 2, img + 0x380, RAM_MODE_LEN);
        st->mode_slot[m].bytes[0] = st->mode_slot[m].bytes[1] = 0xAA;
    }
    put_u16(st->mode_slot[1].bytes, MODE_SLOT_OSD, 1);  // mode 2 shows its OSD and More
    put_u16(img, ram_current_mode, 1);
    for (int s = 0; s < RAM_INPUTS; ++s) {
        put_u16(img, ram_edid_addr(s), 3840);
        put_u16(img, ram_edid_addr(s) + 2, 2160);
        put_u16(img, ram_edid_addr(s) + 4, 60);
    }
    std::memcpy(st->ram_shadow, img, RAM_IMAGE_SIZE);
}

// Every output port sends an area of 65535 x 65535 at 65535, 65535.
void long_port_areas(fpga_manage* fpga)
{
    abyte* page = fpga_manage::MCU_RAM_PARA_func[0];
    for (unsigned char p = 0; p < 16; ++p) {
        unsigned short a[4];
        fpga->get_eth_param_addr(p, &a[0], &a[1], &a[2], &a[3]);
        for (unsigned short addr : a)
            fpga_manage::page_wr16(page, addr, 65535);
    }
}

// The FPGA after a whole bring-up (register 80 = 3), or before it; no FPGA pass runs here.
void set_fpga_ready(fpga_manage* fpga, bool ready)
{
    fpga->bringup_step[0] = ready ? fpga_manage::kBringupDone : 0;
    fpga_manage::MCU_REG_func[0][fpga::REG_RUN_STATE] = ready ? 3 : 0;
}

// A full aging log (seven days of samples) with every flag, three-digit registers and rises
// in every class, and counters of ten years of samples (one every 3 minutes).
void long_aging_log()
{
    for (int i = 0; i < kAgeLogMax; ++i)
        agelog_append(QString("12-%1 23:%2").arg(10 + i % 20).arg(10 + i % 50), 255, i % 2 ? 0xFF : 0xE0, (i * 23) % 256);
    const u32 ten_years = 10 * 365 * 24 * 20;
    for (u32* c : {&factoryage_log_diff3, &factoryage_log_diff5, &factoryage_log_diff10, &factoryage_log_diff20,
                   &factoryage_log_diffmore})
        *c = ten_years;
}

// The columns where `w` as painted has ink of its text (light pixels on a dark field), within
// its contents rect less a pixel (the sheet's border).
QRect ink_columns(QWidget* w)
{
    const QImage img = w->grab().toImage();
    const QRect scan = w->contentsRect().adjusted(1, 1, -1, -1);
    QRect ink;
    for (int y = scan.top(); y <= scan.bottom(); ++y)
        for (int x = scan.left(); x <= scan.right(); ++x)
            if (qGray(img.pixel(x, y)) > 128)
                ink |= QRect(x, y, 1, 1);
    return ink;
}

}  // namespace

class TextFitTest : public QObject {
    Q_OBJECT
    testutil::TempDir root_;
    std::unique_ptr<sim::SimBoard> board_;
    fpga_manage* fpga_ = nullptr;

private slots:
    void initTestCase()
    {
        board_ = start_board_and_store(root_.path());
        board_->soc().write16(pads::PAD_FPGA0_CFG, pads::kHigh);  // powers the simulated FPGA
        fpga_ = new fpga_manage();
        fpga_manage::p_fpga_manage = fpga_;
        QCOMPARE(fpga_->open_devices(), 0);
        long_port_areas(fpga_);
        long_aging_log();
        source_pages_register();
        register_settings_pages();
        start_shell_windows();
        write_aliases(root_.file("data/configs/alias.json"));
        long_values();
    }

    void cleanupTestCase()
    {
        delete_shell_windows();
        fpga_manage::p_fpga_manage = nullptr;
        delete fpga_;
    }

    // The measured text area is where Qt draws: the text's ink starts (or ends) within two
    // pixels of it. A label with a sheet's border is indented by half an "x" on the side it
    // is aligned to; a line edit draws inside its border and padding.
    void measuredAreaIsWhereQtPaints()
    {
        const char* sheet = "color: rgb(255, 255, 255);background-color: rgb(33, 36, 53);"
                            "border-top:1px solid rgb(255, 255, 255);border-bottom:1px solid rgb(255, 255, 255);";
        QWidget field;
        field.resize(200, 100);
        QLabel left("Hg", &field);
        QLabel right("Hg", &field);
        right.setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        QLineEdit edit("1234", &field);
        edit.setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        edit.setStyleSheet("color: rgb(255, 255, 255);background-color: rgb(33, 36, 53);border:1px solid rgb(255, 255, 255);"
                           "padding-left:6px;");
        for (QLabel* l : {&left, &right})
            l->setStyleSheet(sheet);
        left.setGeometry(0, 0, 60, 24);
        right.setGeometry(0, 30, 60, 24);
        edit.setGeometry(0, 60, 60, 24);
        field.show();
        QVERIFY(QTest::qWaitForWindowExposed(&field));
        const QRect l_ink = ink_columns(&left), r_ink = ink_columns(&right), e_ink = ink_columns(&edit);
        const QRect l_area = textfit::text_area(&left), r_area = textfit::text_area(&right), e_area = textfit::text_area(&edit);
        QVERIFY2(l_ink.left() >= l_area.left() && l_ink.left() <= l_area.left() + 2,
                 qPrintable(QString("ink from %1, area from %2").arg(l_ink.left()).arg(l_area.left())));
        QVERIFY2(r_ink.right() <= r_area.right() && r_ink.right() >= r_area.right() - 2,
                 qPrintable(QString("ink to %1, area to %2").arg(r_ink.right()).arg(r_area.right())));
        QVERIFY2(e_ink.left() >= e_area.left() && e_ink.left() <= e_area.left() + 2,
                 qPrintable(QString("ink from %1, area from %2").arg(e_ink.left()).arg(e_area.left())));
        QVERIFY(e_area.contains(e_ink));
        // A line of digits shows whole in a field lower than the font, where only its descent
        // is clipped; in a lower field still the digits are cut, and the check says so.
        const char* field_sheet = "color:rgb(255, 255, 255);background-color: rgb(33, 36, 53);border:1px solid rgb(255, 255, 255);font:10px";
        for (int h : {14, 8}) {
            QLineEdit digits("1080", &field);
            digits.setAlignment(Qt::AlignCenter);
            digits.setStyleSheet(field_sheet);
            digits.setGeometry(100, 0, 38, h);
            digits.show();
            const QRect area = textfit::text_area(&digits);
            const QFontMetrics fm(digits.font());
            const bool whole = ink_columns(&digits).height() == fm.tightBoundingRect("1080").height();
            QVERIFY2(fm.height() > area.height(), qPrintable(QString("field %1: %2 > %3").arg(h).arg(fm.height()).arg(area.height())));
            QCOMPARE(ink_cut(&digits, "1080", area) == 0, whole);
            QCOMPARE(whole, h == 14);
        }
    }

    void everyTextFits_data()
    {
        QTest::addColumn<int>("lang");
        for (int l : {0, 1, 2, 3})
            QTest::newRow(kLangName[l]) << l;
    }

    void everyTextFits()
    {
        QFETCH(int, lang);
        g_lang = lang;
        g_language = static_cast<u8>(lang);
        image()[ram_language] = static_cast<u8>(lang);
        TlxRamPara::p_tlxrampara_config->ram_shadow[ram_language] = static_cast<u8>(lang);
        g_misfits.clear();
        g_elided.clear();
        g_lockwindow->language_changed();
        g_mainwindow->language_changed();
        g_numberkeyboard->language_changed();

        const std::vector<StepList> visits = {
            tour("home", ""),
            menu() + tour("main", "RRRRRRRR"),
            menu() + StepList{[] { g_mainwindow->on_usermode_popup_clicked(); }} + tour("usermode_popup", "RO"),
            menu() + StepList{[] { g_mainwindow->on_machinestate_clicked(); }} + tour("machinestate", ""),
            menu() + StepList{[] { g_mainwindow->on_inputchoose_clicked(); }} + tour("inputchoose", "RRRRRRRLLLLLLLORRRRRRORRR"),
            menu() + StepList{[] { g_mainwindow->on_inputchoose_clicked(); }, [] { g_inputchoose->tlx_button_EDID_clicked(); }} +
                tour("edidset", "RRRRRRORRRRRRO") + StepList{[] { g_numberkeyboard->press("close"); }},
            menu() + StepList{[] { g_mainwindow->on_custommode_clicked(); }} + tour("custommode", "RORRRRBLORRB"),
            option() + tour("option", "RRRRRR"),
            option() + StepList{[] { g_option->on_input_cut_clicked(); }} + tour("inputcut", "RRRRRROORRRRRRRBRROORRRRRRR"),
            option() + StepList{[] { g_option->on_image_layout_clicked(); }} + tour("imagelayout", "RRRRRR"),
            option() + StepList{[] { g_option->on_Button_outputset_clicked(); }} + tour("outputset", "RR"),
            option() + StepList{[] { g_option->on_Button_outputset_clicked(); }, [] { g_outputset->on_Button_ledset_clicked(); }} +
                tour("ledset", "RRRRO") + tour("keypad", "RRRRRRRRRRRRRRR") + StepList{[] { g_numberkeyboard->press("close"); }},
            option() + StepList{[] { g_option->on_Button_outputset_clicked(); }, [] { g_outputset->on_Button_lanset_clicked(); }} +
                tour("netset_not_ready", ""),
            StepList{[this] { set_fpga_ready(fpga_, true); }} + option() +
                StepList{[] { g_option->on_Button_outputset_clicked(); }, [] { g_outputset->on_Button_lanset_clicked(); }} +
                tour("netset", "RRRRRRRRRRRRRRRR") + StepList{[this] { set_fpga_ready(fpga_, false); }},
            option() + StepList{[] { g_option->on_Button_imagequality_clicked(); }} + tour("imagequality", "RR"),
            option() + StepList{[] { g_option->on_Button_imagequality_clicked(); },
                                [] { g_imagequality->on_Button_quality_clicked(); }} +
                tour("quality", "RRRRR"),
            option() + StepList{[] { g_option->on_Button_imagequality_clicked(); },
                                [] { g_imagequality->on_Button_temperature_clicked(); }} +
                tour("temperature", "RRRRRR"),
            option() + StepList{[] { g_option->on_Button_linkoption_clicked(); }} + tour("linkoption", "RR"),
            option() + StepList{[] { g_option->on_Button_linkoption_clicked(); }, [] { g_linkoption->on_Button_linkcom_clicked(); }} +
                tour("linkcom", "RR"),
            option() + StepList{[] { g_option->on_Button_linkoption_clicked(); }, [] { g_linkoption->on_Button_linkwlan_clicked(); }} +
                tour("linkwlan", "RRRRRRRRRRRRRRRRR"),
            option() + StepList{[] { g_option->on_Button_advanced_clicked(); }} + tour("advanced", "RRRRRR"),
            option() + StepList{[] { g_option->on_Button_advanced_clicked(); }, [] { g_advancedoption->on_Button_LCDshow_clicked(); }} +
                tour("lcdshow", "RRORRRO"),
            option() + StepList{[] { g_option->on_Button_advanced_clicked(); }, [] { g_advancedoption->on_Button_testimage_clicked(); }} +
                tour("testimage", "RRRRRRRRRR"),
            option() + StepList{[] { g_option->on_Button_advanced_clicked(); }, [] { g_advancedoption->on_Button_other_clicked(); }} +
                tour("othersetup", "ORROROROORRRRRR"),
            option() + StepList{[] { g_option->on_Button_advanced_clicked(); }, [] { g_advancedoption->on_Button_factory_clicked(); }} +
                tour("factory", "RRRRRR"),
            option() + StepList{[] { g_option->on_Button_advanced_clicked(); }, [] { g_advancedoption->on_Button_age_clicked(); }} +
                tour("agecode", "") + keypad_digits("5738") + tour("factoryage", "RRRROROO"),
            StepList{[] { g_tip->tip_create(1); }, [] {
                          check_all("tip");
                          snap("tip");
                          ticks(TIP::kTicks);
                      }},
            edid_refused(4096, 2160, 60, "edid_size_refused"),
            edid_refused(4095, 4095, 120, "edid_clock_refused"),
            ledset_refused(),
            StepList{[] { g_tip->tip_create(TIP::kNotKept); }, [] {
                          check_all("tip_not_kept");
                          snap("tip_not_kept");
                          ticks(TIP::kTicks);
                      }},
            StepList{[] { g_tip->tip_create(TIP::kModeOnlyKept); }, [] {
                          check_all("tip_mode_only_kept");
                          snap("tip_mode_only_kept");
                          ticks(TIP::kTicks);
                      }},
        };
        // Typed values as long as the keypad takes them, and input aliases that share their
        // beginning (their own names then tell them apart).
        const std::vector<StepList> typed = {
            option() + StepList{[] { g_option->on_Button_outputset_clicked(); }, [] { g_outputset->on_Button_ledset_clicked(); }} +
                tour("ledset_typed", "RRRRO") + keypad_typed("888888888888888888888888", "keypad_24") +
                StepList{[] { g_numberkeyboard->press("close"); }},
            option() + StepList{[] { g_option->on_input_cut_clicked(); }} + tour("inputcut_typed", "ORROO") +
                keypad_typed("-5", "inputcut_refused") + tour("inputcut_refused_tip", "O") +
                keypad_typed("65535", "inputcut_typed_x") + tour("inputcut_typed_ok", "RRRRRR"),
            menu() + StepList{[] { g_mainwindow->on_inputchoose_clicked(); }, [] { g_inputchoose->tlx_button_EDID_clicked(); }} +
                tour("edidset_typed", "OO") + keypad_typed("65535", "edidset_typed_w") + tour("edidset_typed_ok", "RRRRRR") +
                StepList{[] { key(KEY_BACK); }},
            StepList{[this] { write_shared_aliases(root_.file("data/configs/alias.json")); }} + menu() +
                StepList{[] { g_mainwindow->on_inputchoose_clicked(); }} + tour("inputchoose_aliases", "OROR") +
                StepList{[] { keys(KEY_BACK, 2); }, [] { g_inputchoose->tlx_button_inputcut_clicked(); }} +
                tour("inputcut_aliases", "RRO") +
                StepList{[this] { write_aliases(root_.file("data/configs/alias.json")); }},
        };
        for (const StepList& v : visits)
            Steps().run(v + home());
        for (const StepList& v : typed)
            Steps().run(v + home());
        for (const QString& e : g_elided)
            qInfo("elided by the fitting: %s", qPrintable(e));
        for (const QString& m : g_misfits)
            qWarning("does not fit: %s", qPrintable(m));
        QVERIFY2(g_misfits.isEmpty(), qPrintable(QString("%1 texts do not fit (listed above)").arg(g_misfits.size())));
    }
};

QTEST_MAIN(TextFitTest)
#include "text_fit_test.moc"
