#pragma once
// A line edit whose press asks for the keypad: it emits send_show(text()) and then does the
// ordinary press handling.
#include <QLineEdit>

class My_lineEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit My_lineEdit(QWidget* parent = nullptr);

signals:
    void send_show(QString text);

protected:
    void mousePressEvent(QMouseEvent* e) override;
};
