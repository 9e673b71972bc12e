#pragma once
// Window layout viewer (id 9): one window record at a time (name, source, state, point-to-
// point mode, position and size, rotate/mirror mode; a mode outside the known ones shows
// none). F4 and F5 move between the six windows; the page writes nothing.
#include "ui/shell/PageFrame.h"

namespace Ui {
class ImageLayout;
}
class QComboBox;
class QLabel;

class ImageLayout : public PageFrame {
    Q_OBJECT
public:
    explicit ImageLayout(QWidget* parent = nullptr);
    ~ImageLayout() override;

    void menulist_init() override;
    void language_changed() override;
    // Shows the window in view as the image holds it now (a tool may have moved it).
    void syncUpdate() override;
    void image_init();
    void image_para_update();
    void mirror_select(int mode);

    // What the tests look at.
    int window() const { return ui_select; }
    QString name_text() const;
    QString source_text() const;
    QComboBox* p2p_box() const;
    QLabel* mirror_label(int mode) const;

public slots:
    void tlx_image_button_clicked();

protected:
    bool page_key(int key) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    Ui::ImageLayout* ui;
};
