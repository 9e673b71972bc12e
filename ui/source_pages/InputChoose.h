#pragma once
// Source selection (id 3): puts an input, or one of its crops, on a window. Three levels:
// windows (the strip of switched-on windows, then the crop-editor and EDID buttons), the six
// inputs, and the input's cards (whole input and crops, three per card page). OK on a card
// writes the window's source word through the store. Back climbs one level, then closes.
#include <QString>

#include "ui/shell/PageFrame.h"

namespace Ui {
class InputChoose;
}
class QFrame;
class QLabel;

class InputChoose : public PageFrame {
    Q_OBJECT
public:
    explicit InputChoose(QWidget* parent = nullptr);
    ~InputChoose() override;

    void menulist_init() override;
    void language_changed() override;
    // Re-translates, and shows the windows' sources and the cards as the image holds them now.
    void syncUpdate() override;

    void initMenu();
    void imagemenu();
    void TextCreate(char window, char unused = 0);
    void crop_source_num_update();
    void source_name_update();
    void source_check_update();
    int source_current_check();
    void image_select();
    void on_Button_source_clicked();
    void initSource();
    void para_source_index_init();
    void para_uiselect_init();
    void tlx_button_inputcut_clicked();
    void tlx_button_EDID_clicked();

    // What the tests look at.
    int level() const { return ui_seltype; }
    int tile_count() const { return window_count; }
    QLabel* tile(int position) const;
    QString tile_source_text(int window) const;  // its lines joined by "_"
    int entry_in_focus() const { return 3 * current_page + ui_select; }
    int card_page() const { return current_page; }
    int shown_source() const { return source_number; }
    QFrame* card_panel_frame() const { return card_panel; }
    QString tip_text() const;  // empty while no tip is shown

public slots:
    void tlx_source_button_clicked();

protected:
    bool page_key(int key) override;

private:
    void key_windows(int key);
    void key_sources(int key);
    void key_cards(int key);
    void build_card(int position, int entry, int in_use);
    int card_crop_id(int entry) const;
    bool follow_focused_crop();
    static int switched_on_windows();
    void follow_windows();
    void show_tip(bool on);

    // The crop id each card shows (0 the whole input), as drawn: OK writes a card's crop only
    // while the table still holds it at that place.
    int card_ids_[3] = {};

    Ui::InputChoose* ui;
    const QString style_window_focus_;
    const QString style_window_chosen_;
    const QString style_window_hidden_;
    const QString style_button_normal_;
    const QString style_button_focus_;
    const QString style_tab_other_;
    const QString style_tab_level1_;
    const QString style_panel_other_;
    const QString style_panel_level1_;

    u8 ui_seltype = 0;
    u8 crop_count[6] = {};
    QFrame* window_strip = nullptr;
    QFrame* window_frame = nullptr;
    QLabel* window_tile = nullptr;
    QLabel* tile_source_label[6] = {};
    QLabel* tile_state_icon = nullptr;
    u8 window_index = 0;
    u8 source_number = 2;
    u8 source_select = 0;
    u8 window_source = 0;  // 0xFF: the window names no source 0..5
    u8 crop_row = 0;
    u8 saved_window_select = 0;
    int16_t source_type = 0;
    u8 current_page = 0;
    u8 last_page = 0;
    u8 window_count = 0;
    int strip_windows_ = 1;  // the windows the strip shows, as switched_on_windows()
    u8 tile_window[6] = {};
    QLabel* tiles_[6] = {};
    QFrame* card_panel = nullptr;
    QString source_name;
    QString crop_name;
    QLabel* label_tip_ = nullptr;
};
