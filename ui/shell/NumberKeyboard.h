#pragma once
// The numeric keypad (g_numberkeyboard): a frameless dialog on the right half of the panel.
// label_show() prepares it, exec() shows it modally; OK emits the line's text and hides,
// close hides without the signal. Worked by touch or by the panel keys: F4/F5 move over the
// keys, F6 presses the focused key, PowerOff closes.
#include <QDialog>
#include <QString>
#include <vector>

class QLineEdit;
class QPushButton;
namespace Ui {
class NumberKeyboard;
}

class NumberKeyboard : public QDialog {
    Q_OBJECT
public:
    explicit NumberKeyboard(QWidget* parent = nullptr);
    ~NumberKeyboard() override;

    void label_show(const QString& title, const QString& text);
    void language_changed();
    QString line_text() const;
    int focused_key() const { return focus_; }
    // Presses key "0".."9", ".", "-", "del", "ok", "close" as a tap would.
    void press(const QString& key);
    // Hides without the signal (close key, or the shell going home).
    void close_without_signal();

signals:
    void sendKeyBoardUIDataToLineEdit(QString text);

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;

private:
    void key_clicked(const QString& key);
    void show_line(const QString& text);
    QString line_sheet_;  // the line's own sheet, before a smaller size is added
    void set_focus_key(int index);

    Ui::NumberKeyboard* ui;
    std::vector<QPushButton*> keys_;
    QString typed_;
    int focus_ = 0;
};

// Opens the keypad for `field` (it becomes g_lineedit) with `title` and the field's text;
// returns when the keypad closes. Does nothing without the keypad or the field.
void open_number_keyboard(QLineEdit* field, const QString& title);
