#include "ui/shell/text_fit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionFrame>
#include <QTextDocument>

namespace textfit {
namespace {

// Widget properties: the text given, the text shown, whether it had to be elided, and the font
// size of the widget's own sheet.
const char* const kFull = "textfit_full";
const char* const kShown = "textfit_shown";
const char* const kElided = "textfit_elided";
const char* const kBasePx = "textfit_base_px";
const char* const kBusy = "textfit_busy";
// Start of what the helper adds to a sheet.
const char* const kMark = "/*fit*/";

// Fits what a page shows as it changes: a widget being shown (each child of a window that is
// shown gets its own show event) and the children of a widget whose child changed (a label's
// or button's new text asks its parent for a new layout) have their texts fitted before they
// are painted; a widget whose sheet a page swapped (focus, edit) or that was resized is fitted
// again.
class Refit : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (!o->isWidgetType())
            return false;
        auto* w = static_cast<QWidget*>(o);
        switch (e->type()) {
        case QEvent::Show:
            fit(w);
            break;
        case QEvent::LayoutRequest:
            fit_all(w);
            break;
        case QEvent::StyleChange:
        case QEvent::Resize:
            if (w->property(kFull).isValid() || qobject_cast<QComboBox*>(w))
                fit(w);
            break;
        default:
            break;
        }
        return false;
    }
};

QString own_sheet(const QWidget* w)
{
    const QString s = w->styleSheet();
    const int i = s.indexOf(kMark);
    return i < 0 ? s : s.left(i);
}

QString sheet_with_px(const QString& sheet, int px)
{
    const char* rule = sheet.contains('{') ? "QWidget{font-size:%1px}" : ";font-size:%1px;";
    return sheet + kMark + QString(rule).arg(px);
}

// The font size the widget's own sheet and font give it.
int base_px(QWidget* w)
{
    if (w->styleSheet().contains(kMark))
        return w->property(kBasePx).toInt();
    w->ensurePolished();
    const int px = QFontInfo(w->font()).pixelSize();
    w->setProperty(kBasePx, px);
    return px;
}

void set_sheet(QWidget* w, const QString& sheet)
{
    if (w->styleSheet() == sheet)
        return;
    w->setProperty(kBusy, true);
    w->setStyleSheet(sheet);
    w->setProperty(kBusy, false);
}

// Qt's own horizontal margin between a line edit's contents rect and its text.
constexpr int kLineEditMargin = 2;

// A label draws inside its contents rect less its margin and, on each side its alignment
// names, its indent; a label with a frame (a sheet's border too) and no indent of its own is
// indented by half an "x" of its font.
QRect label_area(const QLabel* l)
{
    const int m = l->margin();
    QRect r = l->contentsRect().adjusted(m, m, -m, -m);
    int indent = l->indent();
    if (indent < 0 && l->frameWidth() > 0)
        indent = l->fontMetrics().horizontalAdvance('x') / 2 - m;
    if (indent <= 0)
        return r;
    const Qt::Alignment a = QStyle::visualAlignment(l->layoutDirection(), l->alignment());
    if (a & Qt::AlignLeft)
        r.setLeft(r.left() + indent);
    if (a & Qt::AlignRight)
        r.setRight(r.right() - indent);
    if (a & Qt::AlignTop)
        r.setTop(r.top() + indent);
    if (a & Qt::AlignBottom)
        r.setBottom(r.bottom() - indent);
    return r;
}

// A line edit draws its line inside the style's contents field (within the frame and the
// sheet's border and padding), less its text margins and Qt's own margin at either side.
QRect line_edit_area(const QLineEdit* e)
{
    QStyleOptionFrame o;
    o.initFrom(e);
    o.rect = e->contentsRect();
    o.lineWidth = e->hasFrame() ? e->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &o, e) : 0;
    o.midLineWidth = 0;
    o.state |= QStyle::State_Sunken;
    if (e->isReadOnly())
        o.state |= QStyle::State_ReadOnly;
    o.features = QStyleOptionFrame::None;
    const QRect r = e->style()->subElementRect(QStyle::SE_LineEditContents, &o, e).marginsRemoved(e->textMargins());
    return r.adjusted(kLineEditMargin, 0, -kLineEditMargin, 0);
}

QRect area_of(const QWidget* w)
{
    if (auto* l = qobject_cast<const QLabel*>(w))
        return label_area(l);
    if (auto* e = qobject_cast<const QLineEdit*>(w))
        return line_edit_area(e);
    if (auto* b = qobject_cast<const QAbstractButton*>(w)) {
        QStyleOptionButton o;
        o.initFrom(b);
        o.icon = b->icon();
        o.iconSize = b->iconSize();
        QRect r = b->style()->subElementRect(QStyle::SE_PushButtonContents, &o, b);
        if (!b->icon().isNull())
            r.setLeft(r.left() + b->iconSize().width() + 4);
        return r;
    }
    if (auto* c = qobject_cast<const QComboBox*>(w)) {
        // A sheet without padding leaves the label to the application's style, which keeps
        // room for its arrow: the text must fit both fields.
        QStyleOptionComboBox o;
        o.initFrom(c);
        o.editable = c->isEditable();
        const QRect own = c->style()->subControlRect(QStyle::CC_ComboBox, &o, QStyle::SC_ComboBoxEditField, c);
        const QRect app = QApplication::style()->subControlRect(QStyle::CC_ComboBox, &o, QStyle::SC_ComboBoxEditField, c);
        return own.intersected(app).adjusted(1, 0, -1, 0);
    }
    return {};
}

bool lines_fit(const QStringList& lines, const QFontMetrics& fm, const QSize& area)
{
    if (fm.height() + (lines.size() - 1) * fm.lineSpacing() > area.height())
        return false;
    for (const QString& l : lines)
        if (fm.horizontalAdvance(l) > area.width())
            return false;
    return true;
}

QFontMetrics metrics(const QWidget* w, int px)
{
    QFont f = w->font();
    f.setPixelSize(px);
    return QFontMetrics(f);
}

// The text on two lines, broken at a space (dropped) or after "_" or "-" (kept), where the
// longer line is shortest; empty when it has no such place.
QString two_lines(const QString& text, const QFontMetrics& fm)
{
    QString best;
    int best_width = 0;
    for (int i = 1; i < text.size(); ++i) {
        const QChar c = text[i - 1];
        if (c != ' ' && c != '_' && c != '-')
            continue;
        const QString a = text.left(c == ' ' ? i - 1 : i).trimmed();
        const QString b = text.mid(i).trimmed();
        const int width = std::max(fm.horizontalAdvance(a), fm.horizontalAdvance(b));
        if (!a.isEmpty() && !b.isEmpty() && (best.isEmpty() || width < best_width)) {
            best = a + '\n' + b;
            best_width = width;
        }
    }
    return best;
}

// The part of a text that tells items apart: its start up to and including its first number
// ("HDMI1" of "HDMI1_Crop2"); empty when the text has no number.
QString key_of(const QString& text)
{
    static const QRegularExpression kKey("^\\D*\\d+");
    return kKey.match(text).captured();
}

// `text` elided at the right to `width`, never inside its key: where "…" would cut the key
// ("HDMI…"), the key alone, which still names the item ("HDMI1").
QString elide(const QFontMetrics& fm, const QString& text, int width)
{
    const QString plain = fm.elidedText(text, Qt::ElideRight, width);
    const QString key = key_of(text);
    if (key.isEmpty() || plain == text || plain.startsWith(key))
        return plain;
    return fm.horizontalAdvance(key) <= width ? key : plain;
}

struct Fitted {
    int px;
    QString shown;
    bool elided;
};

// A text of several lines keeps its own breaks: it is only made smaller, then each line elided.
Fitted fit_text(const QWidget* w, const QString& text, int base, const QSize& area)
{
    const QStringList lines = text.split('\n');
    const int min_px = std::min(base, kMinPx);
    for (int px = base; px >= min_px; --px)
        if (lines_fit(lines, metrics(w, px), area))
            return {px, text, false};
    for (int px = base; px >= min_px && lines.size() == 1; --px) {
        const QFontMetrics fm = metrics(w, px);
        const QString two = two_lines(text, fm);
        if (!two.isEmpty() && lines_fit(two.split('\n'), fm, area))
            return {px, two, false};
    }
    QStringList shown;
    for (const QString& l : lines)
        shown << elide(metrics(w, min_px), l, area.width());
    return {min_px, shown.join('\n'), true};
}

// The current item at the largest size that holds it (down to kMinPx; Qt elides the rest).
// A combo box is fitted again whenever its current item changes.
Fitted fit_combo(QComboBox* c, int base, const QSize& area)
{
    if (!c->property("textfit_follows").toBool()) {
        c->setProperty("textfit_follows", true);
        QObject::connect(c, QOverload<int>::of(&QComboBox::currentIndexChanged), c, [c] { fit(c); });
    }
    const QString text = c->currentText();
    for (int px = base; px >= std::min(base, kMinPx); --px) {
        const QFontMetrics fm = metrics(c, px);
        if (fm.height() <= area.height() && fm.horizontalAdvance(text) <= area.width())
            return {px, QString(), false};
    }
    return {std::min(base, kMinPx), QString(), true};
}

QString shown_text(const QWidget* w)
{
    if (auto* l = qobject_cast<const QLabel*>(w))
        return l->text();
    if (auto* b = qobject_cast<const QAbstractButton*>(w))
        return b->text();
    if (auto* c = qobject_cast<const QComboBox*>(w))
        return c->currentText();
    if (auto* e = qobject_cast<const QLineEdit*>(w))
        return e->displayText();
    return QString();
}

void show_text(QWidget* w, const QString& text)
{
    if (auto* l = qobject_cast<QLabel*>(w))
        l->setText(text);
    else if (auto* b = qobject_cast<QAbstractButton*>(w))
        b->setText(text);
}

bool is_rich(const QLabel* l)
{
    return l->textFormat() == Qt::RichText || (l->textFormat() == Qt::AutoText && Qt::mightBeRichText(l->text()));
}

}  // namespace

QRect text_area(const QWidget* w) { return area_of(w); }

QString full_text(const QWidget* w)
{
    const QString now = shown_text(w);
    return w->property(kShown).toString() == now && w->property(kFull).isValid() ? w->property(kFull).toString() : now;
}

bool elided(const QWidget* w) { return w->property(kElided).toBool(); }

void fit(QWidget* w)
{
    auto* combo = qobject_cast<QComboBox*>(w);
    auto* label = qobject_cast<QLabel*>(w);
    if (!w || w->property(kBusy).toBool() || (!combo && !label && !qobject_cast<QAbstractButton*>(w)))
        return;
    if (label && is_rich(label))
        return;
    const QString text = full_text(w);
    if (!combo && text.isEmpty())
        return;
    const QString sheet = own_sheet(w);
    const int base = base_px(w);
    const QSize area = area_of(w).size();
    const Fitted f = combo ? fit_combo(combo, base, area) : fit_text(w, text, base, area);
    set_sheet(w, f.px == base ? sheet : sheet_with_px(sheet, f.px));
    w->setProperty(kElided, f.elided);
    if (combo)
        return;
    w->setProperty(kFull, text);
    w->setProperty(kShown, f.shown);
    if (shown_text(w) != f.shown)
        show_text(w, f.shown);
}

QString fit_piece(QWidget* w, const QString& text, int width, int* px)
{
    const int base = *px;
    for (*px = base; *px >= std::min(base, kMinPx); --*px) {
        if (metrics(w, *px).horizontalAdvance(text) <= width) {
            w->setProperty(kElided, false);
            return text;
        }
    }
    *px = std::min(base, kMinPx);
    w->setProperty(kElided, true);
    return elide(metrics(w, *px), text, width);
}

void fit_all(QWidget* root)
{
    fit(root);
    for (QWidget* w : root->findChildren<QWidget*>())
        fit(w);
}

void install()
{
    static Refit* refit = nullptr;
    if (!refit && QCoreApplication::instance()) {
        refit = new Refit(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(refit);
    }
}

}  // namespace textfit
