#pragma once
// The home screen (id 0): LED canvas size, brightness, contrast, one card per window with its
// source, and the IP address. F6 opens the main window.
#include <QLabel>
#include <vector>

#include "ui/shell/PageFrame.h"

namespace Ui {
class LockWindow;
}

class LockWindow : public PageFrame {
    Q_OBJECT
public:
    static constexpr int kWindows = 6;

    explicit LockWindow(QWidget* parent = nullptr);
    ~LockWindow() override;
    void language_changed() override;
    void syncUpdate() override;
    void para_init() override;
    QString card_text(int window) const;

public slots:
    void slot_Button_back_clicked() override {}  // the home screen has nowhere to go back to

protected:
    bool page_key(int key) override;

private:
    void refresh_cards();
    Ui::LockWindow* ui;
    std::vector<QLabel*> cards_;
};

// The name of source 0..5 as the panel shows it.
QString source_name(int source);
