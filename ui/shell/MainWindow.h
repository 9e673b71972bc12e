#pragma once
// The main window (id 1): the top menu with the page openers, the black-screen, audio and
// panel-lock toggles, the user-mode pop-up (save into or recall a slot), and the 10 ms tick.
// PowerOff returns to the home screen.
#include <QString>

#include "ui/shell/MenuPage.h"

namespace Ui {
class MainWindow;
}
class UpdateSplash;

class MainWindow : public MenuPage {
    Q_OBJECT
public:
    static constexpr u32 kRebootTicks = 300;
    static constexpr u32 kAgingTicks = 18000;
    static constexpr u32 kFollowTicks = 20;  // the topmost page's follow_device()

    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    void language_changed() override;
    void syncUpdate() override;

    // Openers; those that reach the source and user-mode pages refuse while the panel is locked.
    void on_inputchoose_clicked();
    void on_custommode_clicked();
    void on_option_clicked();
    void on_machinestate_clicked();
    void on_usermode_popup_clicked();
    // Toggles, under the lock-and-flag rule.
    void on_blackscreen_clicked();
    void on_audio_clicked();
    void on_panellock_clicked();

    // Writes user-mode slot `slot` (0..15) from the image to "/data/modes/custom_mode<slot+1>";
    // with from_sync 0 and the OSD on, also copies the OSD menu file. 1 written, 0 not.
    // Takes c331_lock for the copy of the image: the caller must not hold it.
    int mode_file_write(int slot, int from_sync);
    // Runs "reboot" once, 300 ticks after g_app_reset_flag was raised; true when it ran it.
    static bool reboot_check(bool& sent);
    // Appends one aging-log sample from the FPGA's registers.
    void getagelog();

    // The user-mode pop-up.
    bool popup_open() const;
    void close_popup();
    void popup_save();
    void popup_recall();
    bool take_pending_tip();
    // A page asks for the tip after its change: shown once the store's result is known (the
    // check mark when kept, else "not saved").
    void tip_after_store() { tip_pending = true; }

    // Shows the home screen and gives it the keys; closes every open page first.
    void go_home();

    u8 l_lock_state = 0;
    bool tip_pending = false;

public slots:
    void slot_update_timer_ticks();
    void slot_Button_back_clicked() override;

protected:
    bool page_key(int key) override;

private:
    // True (and a status line) while the panel is locked: the openers then do nothing.
    bool refused_while_locked();
    void refresh_icons();
    void refresh_ip();
    void refresh_popup();
    void show_status(const QString& text);

    Ui::MainWindow* ui;
    UpdateSplash* splash_ = nullptr;
    u16 shown_black_ = 0xFFFF;
    u16 shown_audio_ = 0xFFFF;
    u16 shown_lock_ = 0xFFFF;
    int popup_level_ = 0;   // 0: choosing the slot, 1: choosing the action
    int popup_action_ = 0;  // 0 save, 1 recall, 2 cancel
    bool reboot_sent_ = false;
    u32 last_age_tick_ = 0;
    u32 last_follow_tick_ = 0;
    int status_ticks_ = 0;
};
