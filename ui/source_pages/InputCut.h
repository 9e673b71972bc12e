#pragma once
// Crop editor (id 7): per input the whole input and its crops as cards, six per card page;
// adds, rewrites and deletes crops of the crop table through the store. Levels: 0 inputs,
// 1 cards, 2 adding, 3 editing (the edit row: X, Y, W, H, Delete, Cancel, OK).
#include <QFont>
#include <QString>
#include <QStringList>

#include "ui/shell/PageFrame.h"

namespace Ui {
class InputCut;
}
class QFrame;
class QLabel;
class QPushButton;
class My_lineEdit;
struct CROP_PARA;

class InputCut : public PageFrame {
    Q_OBJECT
public:
    explicit InputCut(QWidget* parent = nullptr);
    ~InputCut() override;

    void menulist_init() override;
    void language_changed() override;
    // Re-translates, and has an open edit row follow its crop through a tool's change.
    void syncUpdate() override;

    void crop_source_num_update();
    void source_name_update();
    int source_current_check();
    void source_init();
    void tlx_button_input_clicked();
    void tlx_sel_info(int select, int type, int base);
    void para_changed_over();

    // What the tests look at (texts as given, before fitting).
    int level() const { return ui_seltype; }
    int position() const { return ui_select; }
    int card_page() const { return current_page; }
    int shown_source() const { return source_number; }
    QStringList card_names() const { return card_names_; }
    QString edit_name() const;
    My_lineEdit* field(int i) const;
    QPushButton* edit_button(int item) const;  // 4 delete, 5 cancel, 6 OK
    int edit_item() const { return edit_item_; }
    QString tip_text() const;  // empty while no tip is shown

public slots:
    void tlx_button_source_clicked();
    void tlx_button_add_clicked();
    void tlx_button_cancel_clicked();
    void tlx_button_ok_clicked();
    void tlx_button_delete_clicked();
    void show_numberkeyboard_ui(QString);
    void confirmString(QString text);

protected:
    bool page_key(int key) override;
    void retranslate_parent() override;

private:
    void key_sources(int key);
    void key_cards(int key);
    void key_edit_row(int key);
    int entry_of_position(int position) const;
    QWidget* edit_item(int item) const;
    void build_card(int k, int entry);
    void show_edit_buttons(bool with_delete);
    void set_edit_item(int item);
    void show_edit_name(int n);
    bool follow_edit_row();
    void close_edit_row();
    void clamp_card_focus();
    void focus_edited_card();
    // What the tip says: the crop is gone, what a field takes, or that the table has no room.
    enum class Tip { CropGone, OutOfRange, TableFull };
    void show_tip(bool on, Tip what = Tip::CropGone);
    QString tip_words() const;
    CROP_PARA typed_over(const CROP_PARA& stored) const;

    Ui::InputCut* ui;
    const QString style_tab_other_;
    const QString style_tab_level0_;
    const QString style_panel_other_;
    const QString style_panel_level0_;
    const QString style_item_normal_;
    const QString style_item_focus_;
    const QString field_names_[4];

    u8 ui_seltype = 0;
    u8 saved_source_select = 0;
    u8 saved_card_select = 0;
    u8 edit_level_ = 0;  // 2 adding or 3 editing: what OK stores
    // The edit row keeps its own item and names its crop by id: the entries of the source
    // are recounted from the table, which a tool may change while the row is open.
    u8 edit_item_ = 0;      // 0..3 the fields, 4 Delete, 5 Cancel, 6 OK
    u8 edit_crop_id_ = 0;   // the crop being edited (0 while adding)
    u8 typed_fields_ = 0;   // bit i: field i was typed on the keypad
    QLabel* label_tip_ = nullptr;
    Tip tip_ = Tip::CropGone;
    u8 crop_count[6] = {};
    int max_source_info = 1;
    QFrame* source_tab = nullptr;
    QFrame* frame_source = nullptr;
    QPushButton* button_add = nullptr;
    QString source_name;
    QString crop_name;
    QFont card_font;
    u8 current_page = 0;
    u8 last_page = 0;
    u8 source_number = 2;
    u8 crop_number = 0;
    QPushButton* button_cancel = nullptr;
    QPushButton* button_ok = nullptr;
    QPushButton* button_delete = nullptr;
    QStringList card_names_;
};
