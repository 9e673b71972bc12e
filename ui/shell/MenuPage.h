#pragma once
// A menu: a title and a list of rows, each a button that opens a page or runs an action.
// Rows are data: a later page is added to its menu with one MenuRow line.
#include <QPushButton>
#include <functional>
#include <vector>

#include "ui/shell/PageFrame.h"
#include "ui/shell/lang.h"

struct MenuRow {
    const char* name;  // object name of the row's button
    Text4 text;
    const char* icon;  // ":/png/..." or nullptr
    std::function<void()> action;
};

class QLabel;

class MenuPage : public PageFrame {
    Q_OBJECT
public:
    using PageFrame::PageFrame;
    QPushButton* row_button(const char* name) const;
    int row_count() const { return static_cast<int>(buttons_.size()); }

protected:
    // Creates one button per row inside `area` (a grid of `columns`); `empty` is shown
    // instead when the menu has no rows.
    void build_rows(QWidget* area, QLabel* empty, std::vector<MenuRow> rows, int columns);
    void menulist_init() override;
    // Sets the row texts, the empty-menu text and the key hints.
    void translate_rows();
    // Shared set-up of a menu form: page sheet and the key hint images.
    void setup_frame(QLabel* note_ok, QLabel* note_back);
    // Title and key hint texts of a menu form.
    static void translate_frame(QLabel* title, const Text4& text, QLabel* ok_text, QLabel* back_text);

private:
    std::vector<MenuRow> rows_;
    std::vector<QPushButton*> buttons_;
    QLabel* empty_ = nullptr;
};
