#pragma once
// EDID settings (id 8): per input the timing its custom EDID offers (width, height, 60 or
// 30 Hz), stored through the store's EDID record; the scaler then asks for the EEPROM to be
// rewritten. Levels: 0 the input strip, 1 the edit panel, 2 editing the refresh rate.
#include <QString>

#include "ui/shell/PageFrame.h"

namespace Ui {
class EDIDset;
}
class QFrame;
class QLabel;
class QPushButton;
class My_lineEdit;

class EDIDset : public PageFrame {
    Q_OBJECT
public:
    explicit EDIDset(QWidget* parent = nullptr);
    ~EDIDset() override;

    void menulist_init() override;
    void language_changed() override;
    // Re-translates, and shows the record as the image holds it now (a tool may write it):
    // the values the user has not changed follow it.
    void syncUpdate() override;
    void source_init();
    void on_Button_freq_clicked();
    void tlx_button_ok_clicked();
    void tlx_button_cancel_clicked();

    // What the tests look at.
    int level() const { return ui_seltype; }
    int row() const { return ui_line_select; }
    int port() const { return edid_port; }
    QString card_text() const;
    QString rate_text() const;
    bool panel_open() const;
    My_lineEdit* width_field() const;
    My_lineEdit* height_field() const;

public slots:
    void tlx_button_input_clicked();
    void tlx_button_source_clicked();
    void show_numberkeyboard_ui(QString);
    void confirmString(QString text);

protected:
    bool page_key(int key) override;
    void retranslate_parent() override;

private:
    QWidget* row_widget(int row) const;
    void style_row(int row, bool focus);
    void close_panel();
    void key_panel(int key);
    void follow_record();

    Ui::EDIDset* ui;
    const QString style_frame_open_;
    const QString style_frame_strip_;
    const QString style_card_open_;
    const QString style_card_strip_;
    const QString style_field_normal_;
    const QString style_field_focus_;
    const QString style_button_normal_;
    const QString style_button_focus_;
    const QString style_rate_edit_;

    u8 ui_line_select = 0;
    u8 ui_seltype = 0;
    u8 rate_sel = 0;
    u8 rate_sel_saved = 0;
    QString rate_text_saved_;    // the rate shown when its editing began
    bool rate_toggled_ = false;  // an arrow was pressed while editing the rate
    // What the user changed in the open panel (Save writes these over the stored record).
    enum : u8 { kTypedWidth = 1, kTypedHeight = 2, kTypedRate = 4 };
    u8 typed_ = 0;
    u8 edid_port = 2;
    QString source_name = "HDMI1";
    QFrame* port_frame = nullptr;
    QFrame* frame_source = nullptr;
    QLabel* card_values_ = nullptr;
    QPushButton* button_delete = nullptr;
    QPushButton* button_cancel = nullptr;
    QPushButton* button_save = nullptr;
    QWidget* focus_edit = nullptr;
    QWidget* focus_button = nullptr;
};
