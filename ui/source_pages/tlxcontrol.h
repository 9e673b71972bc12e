#pragma once
// The selector of the user-mode page: a combo box between a "<" and a ">" label. The page
// moves it with the panel keys; orange (default look) while browsing, blue (modify look)
// while an action for the selected entry is being chosen.
#include <QFont>
#include <QRect>
#include <QString>
#include <QWidget>

class QComboBox;
class QLabel;

class tlxcontrol : public QWidget {
    Q_OBJECT
public:
    tlxcontrol(QRect box, QRect left, QRect right, QWidget* parent);

    void set_box_default();
    void set_box_modify();
    void set_boxindexsel(char index);

    QComboBox* combo_box() const { return box_; }
    QLabel* left_label() const { return left_; }
    QLabel* right_label() const { return right_; }

private:
    void set_look(const QString& box_sheet, const QString& label_sheet);

    const QString label_default_;
    const QString label_modify_;
    const QString box_default_;
    const QString box_modify_;
    QFont font_;
    QComboBox* box_;
    QLabel* right_;
    QLabel* left_;
};
