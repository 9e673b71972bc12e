#pragma once
// The advanced menu (id 12): LCD, test patterns, other and factory settings, aging log.
// The aging log is behind a 4-digit access code typed on the keypad (kAgingAccessCode).
#include "ui/shell/MenuPage.h"

namespace Ui {
class AdvancedOption;
}

class AdvancedOption : public MenuPage {
    Q_OBJECT
public:
    explicit AdvancedOption(QWidget* parent = nullptr);
    ~AdvancedOption() override;
    void language_changed() override;
    static const std::vector<PageFocusId> kPages;
    static const char* const kAgingAccessCode;
    // Asks for the access code on the keypad; opens the aging log once it is accepted.
    void on_Button_age_clicked();
    QString tip_text() const;  // the wrong-code tip; empty while none is shown

    // Openers (also F6 on the row); a page not built into this device has no row.
    void on_Button_LCDshow_clicked();
    void on_Button_testimage_clicked();
    void on_Button_other_clicked();
    void on_Button_factory_clicked();

public slots:
    void confirmString(const QString& text);

protected:
    bool page_key(int key) override;

private:
    Ui::AdvancedOption* ui;
    class QLabel* label_tip_ = nullptr;
    bool code_accepted_ = false;
    bool code_typed_ = false;
};
