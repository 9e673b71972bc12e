#pragma once
// A menu: a title and a list of rows, each a button that opens a page or runs an action.
// Rows are data. A row that leads to pages is shown only while one of them can be opened
// (its opener is registered, page_open.h), so the panel never offers a row that does nothing.
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
    // The pages the row leads to; empty = always shown.
    std::vector<PageFocusId> pages = {};
};

class QGridLayout;
class QLabel;

class MenuPage : public PageFrame {
    Q_OBJECT
public:
    using PageFrame::PageFrame;
    QPushButton* row_button(const char* name) const;
    // The rows shown now (those whose pages can be opened).
    int row_count() const { return static_cast<int>(menu_list.size()); }
    // Shows the rows whose pages can be opened now; when that set changed, lays the rows out
    // again and gives the first row the focus.
    void refresh_rows();

protected:
    // Creates one button per row inside `area` (a grid of `columns`); `empty` is shown
    // instead when the menu has no rows.
    void build_rows(QWidget* area, QLabel* empty, std::vector<MenuRow> rows, int columns);
    // Page set-up shared by every menu form: sheet, key hints, rows, then the frame's init chain.
    template <class Form>
    void setup_menu(Form* form, std::vector<MenuRow> rows, int columns = 1)
    {
        form->setupUi(this);
        setup_frame(form->label_note_OK, form->label_note_back);
        build_rows(form->row_area, form->label_empty, std::move(rows), columns);
        finish_construction();
    }
    void menulist_init() override;
    // Sets the row texts, the empty-menu text and the key hints.
    void translate_rows();
    // Shared set-up of a menu form: page sheet and the key hint images.
    void setup_frame(QLabel* note_ok, QLabel* note_back);
    // Title and key hint texts of a menu form.
    static void translate_frame(QLabel* title, const Text4& text, QLabel* ok_text, QLabel* back_text);

private:
    std::vector<bool> available_rows() const;
    void place_rows();

    std::vector<MenuRow> rows_;
    std::vector<QPushButton*> buttons_;
    std::vector<bool> shown_;
    QGridLayout* grid_ = nullptr;
    int columns_ = 1;
    QLabel* empty_ = nullptr;
};
