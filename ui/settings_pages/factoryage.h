#pragma once
// Aging log (id 23): the FPGA aging samples, 16 to a page, each with its five pass/fail flags
// in green or red, the number of samples, the page number and the histogram of how much the
// aging counter rose between samples. Redrawn after every sample while open.
#include <QFont>

#include "ui/settings_pages/settings_page.h"

namespace Ui {
class factoryage;
}
class QLabel;

class factoryage : public SettingsPage {
    Q_OBJECT
public:
    static constexpr int kPageEntries = 16;

    explicit factoryage(QWidget* parent = nullptr);
    ~factoryage() override;

    void menulist_init() override;
    void language_changed() override {}  // no language-dependent text
    void syncUpdate() override {}       // redrawn by the tick after each sample, not by refreshes

    void ageloginit();
    void update_agelog();
    int page() const { return current_page; }
    QString shown_text() const;
    // One entry as a rich-text line (without the leading "<br>").
    static QString entry_line(const QString& entry);

public slots:
    void on_ButtonNext_clicked();
    void on_ButtonPriv_clicked();

protected:
    void ok_pressed(int row) override;
    void retranslate_parent() override { retranslate_parent_if_language_changed(); }

private:
    int page_count() const;
    void show_counters();

    Ui::factoryage* ui;
    QWidget* log_area = nullptr;
    QFont log_font;
    u8 current_page = 0;
    QLabel* log_label = nullptr;
    QString log_text;
};
