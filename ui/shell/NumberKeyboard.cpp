#include "ui/shell/NumberKeyboard.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QKeyEvent>
#include <QPushButton>

#include "ui/shell/PageFrame.h"
#include "ui/shell/lang.h"
#include "ui/shell/panel_keys.h"
#include "ui/shell/text_fit.h"
#include "ui_NumberKeyboard.h"

namespace {
// Keys in F5 order; laid out three to a row.
const char* const kKeys[] = {"1", "2", "3", "4", "5", "6", "7", "8", "9", ".", "0", "del", "-", "close", "ok"};
constexpr int kKeyCount = sizeof(kKeys) / sizeof(kKeys[0]);
const Text4 kOk{"确定", "OK", "ОК", "OK"};
const Text4 kClose{"关闭", "Close", "Закр.", "Đóng"};
const char* const kKeyNormal = "background-color: rgb(33, 36, 53); border:1px solid rgb(90, 94, 110); border-radius:4px;";
const char* const kKeyFocus = "background-color: rgb(33, 36, 53); border:2px solid rgb(255,171,84); border-radius:4px;";
}  // namespace

NumberKeyboard::NumberKeyboard(QWidget* parent) : QDialog(parent), ui(new Ui::NumberKeyboard)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    auto* grid = new QGridLayout(ui->key_area);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(3);
    for (int i = 0; i < kKeyCount; ++i) {
        auto* b = new QPushButton(ui->key_area);
        const QString key = QString::fromLatin1(kKeys[i]);
        b->setObjectName("key_" + key);
        b->setFocusPolicy(Qt::NoFocus);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        b->setStyleSheet(kKeyNormal);
        connect(b, &QPushButton::clicked, this, [this, key] { key_clicked(key); });
        grid->addWidget(b, i / 3, i % 3);
        keys_.push_back(b);
    }
    set_focus_key(0);
    language_changed();
}

NumberKeyboard::~NumberKeyboard() { delete ui; }

void NumberKeyboard::language_changed()
{
    for (int i = 0; i < kKeyCount; ++i) {
        const QString key = QString::fromLatin1(kKeys[i]);
        if (key == "ok")
            keys_[i]->setText(tr4(kOk));
        else if (key == "close")
            keys_[i]->setText(tr4(kClose));
        else if (key == "del")
            keys_[i]->setText(QString::fromUtf8("\u2190"));
        else
            keys_[i]->setText(key);
    }
}

void NumberKeyboard::label_show(const QString& title, const QString& text)
{
    ui->label_title->setText(title);
    typed_.clear();
    show_line(text);
    set_focus_key(0);
    language_changed();
}

QString NumberKeyboard::line_text() const { return ui->lineEdit->text(); }

void NumberKeyboard::press(const QString& key) { key_clicked(key); }

void NumberKeyboard::close_without_signal()
{
    if (isVisible())
        done(QDialog::Rejected);
}

void NumberKeyboard::key_clicked(const QString& key)
{
    if (key == "ok") {
        const QString text = ui->lineEdit->text();
        done(QDialog::Accepted);  // hide first: the receiver may open another modal dialog
        emit sendKeyBoardUIDataToLineEdit(text);
        return;
    }
    if (key == "close") {
        close_without_signal();
        return;
    }
    if (key == "del")
        typed_.chop(1);
    else if (typed_.size() < 24)
        typed_ += key;
    show_line(typed_);
}

// The line at its own size, made smaller as it grows (down to the panel's smallest size), so a
// value as long as the keypad takes shows whole.
void NumberKeyboard::show_line(const QString& text)
{
    if (line_sheet_.isEmpty())
        line_sheet_ = ui->lineEdit->styleSheet();
    constexpr int kLinePx = 15;
    ui->lineEdit->setStyleSheet(line_sheet_);
    const int room = textfit::text_area(ui->lineEdit).width();
    int px = kLinePx;
    for (QFont f = ui->lineEdit->font(); px > textfit::kMinPx; --px) {
        f.setPixelSize(px);
        if (QFontMetrics(f).horizontalAdvance(text) <= room)
            break;
    }
    if (px != kLinePx)
        ui->lineEdit->setStyleSheet(line_sheet_ + QString(";font-size:%1px;").arg(px));
    ui->lineEdit->setText(text);
}

void NumberKeyboard::set_focus_key(int index)
{
    keys_[focus_]->setStyleSheet(kKeyNormal);
    focus_ = index;
    keys_[focus_]->setStyleSheet(kKeyFocus);
}

void NumberKeyboard::keyPressEvent(QKeyEvent* e) { e->accept(); }

void NumberKeyboard::keyReleaseEvent(QKeyEvent* e)
{
    switch (released_panel_key(e)) {
    case KEY_LEFT: set_focus_key((focus_ + kKeyCount - 1) % kKeyCount); break;
    case KEY_RIGHT: set_focus_key((focus_ + 1) % kKeyCount); break;
    case KEY_OK: keys_[focus_]->click(); break;
    case KEY_BACK: close_without_signal(); break;
    }
}

void open_number_keyboard(QLineEdit* field, const QString& title)
{
    if (!g_numberkeyboard || !field)
        return;
    g_lineedit = field;
    g_numberkeyboard->label_show(title, field->text());
    g_numberkeyboard->exec();
}
