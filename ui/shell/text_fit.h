#pragma once
// Every text of the panel shown whole in its widget, in every language: where a text does not
// fit its label, button or combo box on one line at the widget's own font size, the widget's
// font is made one pixel smaller at a time down to kMinPx; then, where the widget is tall
// enough, the text is set on two lines; only then is it elided with "…", never inside the part
// that tells items apart (a name and its number: "HDMI1_…" or "HDMI1" of "HDMI1_Crop2"). A line needs the
// font's full height (ascent and descent), so descenders and underscores are never cut.
//
// The widget keeps its position, size and style sheet; the smaller font is added at the end of
// its sheet. Once install() has run, every text is fitted as it is shown or changed, and again
// when a page swaps a widget's sheet (focus, edit) or resizes it.
#include <QRect>
#include <QString>

class QWidget;

namespace textfit {

constexpr int kMinPx = 8;

// Fits the texts of every window of the application from now on (called once at start).
void install();

// Fits the text `w` shows now (QLabel with plain text, QAbstractButton, QComboBox: its
// current item, again whenever that changes); other widgets are left alone.
void fit(QWidget* w);
// Fits every label, button and combo box under `root`.
void fit_all(QWidget* root);

// One piece of a text a page composes itself (a name beside a count in a rich text): the
// largest size from *px down to kMinPx at which `text` is at most `width` pixels wide in w's
// font, else kMinPx and `text` elided. *px gets the size; `w` is marked as elided when it had
// to be.
QString fit_piece(QWidget* w, const QString& text, int width, int* px);

// Where `w` draws its text: a label's contents less its margin and indent, a button's contents
// beside its icon, a combo box's edit field (within the application style's field too, which
// draws the label of a sheet without padding), a line edit's contents field less its text
// margins.
QRect text_area(const QWidget* w);

// The text the widget was given (what it shows may be on two lines or elided).
QString full_text(const QWidget* w);
// True when even two lines at kMinPx could not hold the text and it is shown elided.
bool elided(const QWidget* w);

}  // namespace textfit
