#pragma once
// The frame every front-panel menu and page follows: keys (press logs, release acts), focus
// by style sheets over menu_list, back to the parent, the language chain, the refresh hook
// for the persistence slot, and the apply pattern under the scaler manager's lock.
//
// A page derives from PageFrame, builds its form, then calls finish_construction() (which runs
// para_init(), menulist_init() and language_changed() in that order). Pages are opened with
// open_page<T>() from page_open.h, which sets the page pointer and g_page_focus and runs exec().
#include <QDialog>
#include <QString>
#include <functional>
#include <vector>

#include "core/globals.h"
#include "ui/shell/page_ids.h"

namespace style {
extern const char* const menu_normal;
extern const char* const menu_focus;
extern const char* const row_normal;
extern const char* const row_focus;
extern const char* const row_edit;
extern const char* const page;
}  // namespace style

class PageFrame : public QDialog {
    Q_OBJECT
public:
    PageFrame(const char* class_name, PageFocusId id);
    ~PageFrame() override;

    PageFocusId page_id() const { return id_; }
    const char* class_name() const { return class_name_; }

    virtual void para_init() {}
    virtual void menulist_init() {}
    virtual void language_changed() = 0;
    // Called by the persistence slot while this page is on top: re-translate when the
    // language word changed.
    virtual void syncUpdate();
    // Called by the panel tick every MainWindow::kFollowTicks on the topmost open page: a page
    // that shows device state no image change announces (the FPGA's run state, port links and
    // pages) reads it again here, without c331_lock and without any bus, and redraws what changed.
    virtual void follow_device() {}

    // Set by the opener: where back returns to and how the page pointer is cleared.
    void set_return(PageFrame* parent, std::function<void()> clear_pointer);
    PageFrame* parent_page() const { return parent_; }

    // The pages opened with open_page and not yet closed, outermost first.
    static const std::vector<PageFrame*>& open_pages();

    int ui_select_index() const { return ui_select; }
    QWidget* current_row() const { return current; }

    // The lock-and-flag rule: takes the scaler manager's lock, runs write(image), raises the
    // change flag and unlocks. While it runs the tip stays away (see TIP::tip_create).
    static void apply(int flag, const std::function<void(u8* image)>& write);
    static bool gui_holds_scaler_lock();

public slots:
    virtual void slot_Button_back_clicked();

protected:
    void finish_construction();
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;

    // Page-specific key handling before the frame's (edit mode, pop-ups); true = consumed.
    virtual bool page_key(int key) { (void)key; return false; }
    // F6 on row `row`: by default the same as a tap on the row's button.
    virtual void row_activated(int row);
    // What back does to the parent: by default it re-translates it.
    virtual void retranslate_parent();
    // Rebuilds menu_list and gives row 0 the focus sheet.
    void set_menu_list(std::vector<QWidget*> rows, QString normal, QString focus);
    void move_focus(int delta);
    void set_focus_row(int row);

    std::vector<QWidget*> menu_list;
    u8 ui_select = 0;
    QWidget* current = nullptr;
    QString style_normal;
    QString style_focus;
    QString style_edit;

private:
    const char* class_name_;
    PageFocusId id_;
    PageFrame* parent_ = nullptr;
    std::function<void()> clear_pointer_;
    bool closing_ = false;
};
