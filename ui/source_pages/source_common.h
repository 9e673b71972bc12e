#pragma once
// What the source, crop, EDID, layout and user-mode pages share: the six inputs in strip
// order, their names and signal state, crop entries of a source, aliases and elided names,
// and the rich text of the input strips. Every source number is checked (0..5) before it
// indexes a table: a window record may name anything.
#include <QFont>
#include <QString>

class QLabel;
class QLineEdit;
class QRect;
class QWidget;

#include "core/TlxRamPara.h"
#include "ui/shell/lang.h"

namespace srcpage {

constexpr int kSources = 6;
constexpr int kNoRow = RAM_CROP_ROWS;

// Strip column c shows source kColumnSource[c]: HDMI1, HDMI2, HDMI3, HDMI4, DVI, EXT.
extern const int kColumnSource[kSources];
inline bool valid_source(int s) { return s >= 0 && s < kSources; }
// Strip column of source s; 0 for a source outside 0..5.
int column_of(int s);
// "EXT" .. "HDMI4"; "--" for a source outside 0..5.
QString name_of(int s);

TlxRamPara* store();
u8* live_image();  // null before the store exists

// The input timing record of source s; false (all 0) for no signal or no such source.
bool input_timing(int s, int* w, int* h, int* hz);
// "%dx%d@%dHz" of source s, or the no-signal text of the language.
QString timing_text(int s);

// Entry n (1..) of source s: the crop as the store finds it, zero when there is none. The
// result is its row, kNoRow when the source has no such crop.
int crop_entry(int s, int n, CROP_PARA* crop);
inline int crop_id_of(const CROP_PARA& c) { return ((c.key >> 8) & 0x7F) + 1; }
// The crop of source s with crop id `id`, as the table holds it now: its row, kNoRow (and a
// zero crop) when no row in use holds it.
int crop_of_id(int s, int id, CROP_PARA* crop);
// Entry of crop row r among the crops of source s (1.., in crop-id order); kNoEntry when the row is not in use
// or belongs to another source (a deleted crop leaves its row in the window records).
constexpr int kNoEntry = -1;
int entry_of_row(int s, int row);
// Crops of source s plus the whole input.
int entry_count(int s);
// Rebuilds the store's map of used crop ids from the crop table: a mode recall or a remote
// write changes the table behind an open page, and the map decides which crop is entry n and
// which id a new crop takes.
void refresh_crop_ids();

// The alias of `category`/id: true with the name (UTF-8) when there is a valid one.
bool alias_name(const char* category, int id, QString* name);
QFont pixel_font(int px);
// The page's hidden tip line ("label_tip") at `r`: orange 10 px text, on `background` when given.
QLabel* tip_label(QWidget* parent, const QRect& r, const char* background = nullptr);

// A label on `parent` at `r` showing the picture `png` scaled to fit, with style `sheet` if
// given.
QLabel* picture(QWidget* parent, const char* png, const QRect& r, const char* sheet = nullptr);

// The name and size lines of the card of entry `entry` (0 the whole input, 1.. its crops) of
// source s named `source_name`: the whole input shows its name and timing; a crop shows its
// alias, else the source name and "_crop<id>" (that suffix then goes to *crop_name), and its
// size. The labels fit what they are given (text_fit.h).
void card_texts(QLabel* name, QLabel* size, int s, const QString& source_name, int entry, QString* crop_name);

// Strip label `label` of source s with `count` entries: its alias (or its own name) in
// `name_colour`, then "(" count ")" in blue, the count white when `white_count` and the source
// has no alias. An alias is made smaller, then elided, to leave room for the count.
void set_strip_label(QLabel* label, int s, const char* name_colour, int count, bool white_count);

// Opens the keypad for `field` (g_lineedit) with `title` and the field's text; returns when
// the keypad has closed.
void open_keypad(QLineEdit* field, const QString& title);
// The field the keypad writes into when it lies on `page`, else null: a keypad answer meant
// for another page is not taken.
QLineEdit* keypad_field_on(QWidget* page);

extern const Text4 kNoSignal;
extern const Text4 kNamePrefix;  // "Name:" before an alias

}  // namespace srcpage
