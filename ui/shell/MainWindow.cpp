#include "ui/shell/MainWindow.h"

#include <QDateTime>
#include <QLabel>
#include <QMutexLocker>
#include <cstdio>
#include <cstring>
#include <memory>

#include "core/SyncUpdate.h"
#include "core/TlxRamPara.h"
#include "core/c331_shared.h"
#include "core/fpga_wake.h"
#include "core/log.h"
#include "core/pending_writes.h"
#include "core/ram_map.h"
#include "core/store_files.h"
#include "core/utils.h"
#include "platform/board.h"
#include "ui/shell/LockWindow.h"
#include "ui/shell/MachineState.h"
#include "ui/shell/NumberKeyboard.h"
#include "ui/shell/Option.h"
#include "ui/shell/TIP.h"
#include "ui/shell/UpdateSplash.h"
#include "ui/shell/agelog.h"
#include "ui/shell/image_access.h"
#include "ui/shell/page_open.h"
#include "ui/shell/panel_keys.h"
#include "ui_MainWindow.h"
#include "video_io/fpga_manage.h"
#include "core/shell_hooks.h"

namespace {
const Text4 kTitle{"主菜单", "Main menu", "Главное меню", "Menu chính"};
const Text4 kLocked{"面板已锁定", "Panel locked", "Панель заблокирована", "Bảng đã khóa"};
const Text4 kModesTitle{"用户模式", "User modes", "Режимы", "Chế độ người dùng"};
const Text4 kModeSlot{"模式 %1", "Mode %1", "Режим %1", "Chế độ %1"};
const Text4 kSaved{"已保存", "saved", "сохранён", "đã lưu"};
const Text4 kEmptySlot{"空", "empty", "пусто", "trống"};
const Text4 kSave{"保存", "Save", "Сохр.", "Lưu"};
const Text4 kRecall{"调用", "Recall", "Вызов", "Gọi"};
const Text4 kCancel{"取消", "Cancel", "Отмена", "Hủy"};
const Text4 kHintSlot{"左右选择模式, OK 确认", "Left/Right: mode, OK: choose", "Влево/вправо: режим, OK: выбор",
                      "Trái/Phải: chế độ, OK: chọn"};
const Text4 kHintAction{"左右选择操作, OK 执行", "Left/Right: action, OK: run", "Влево/вправо: действие, OK: пуск",
                        "Trái/Phải: thao tác, OK: chạy"};
const Text4 kNothingSaved{"该模式为空", "That mode is empty", "Режим пуст", "Chế độ này trống"};

constexpr u16 kAudioOn = 0x80FF;
constexpr int kStatusTicks = 300;
}  // namespace

MainWindow::MainWindow(QWidget* parent) : MenuPage("MainWindow", PAGE_MAINWINDOW), ui(new Ui::MainWindow)
{
    (void)parent;
    ui->setupUi(this);
    setup_frame(ui->label_note_OK, ui->label_note_back);
    ui->frame_modes->hide();
    connect(ui->Button_mode_save, &QPushButton::clicked, this, [this] { popup_save(); });
    connect(ui->Button_mode_recall, &QPushButton::clicked, this, [this] { popup_recall(); });
    connect(ui->Button_mode_cancel, &QPushButton::clicked, this, [this] { close_popup(); });
    build_rows(ui->row_area, ui->label_empty,
               {
                   {"Button_inputchoose", {"信号源", "Source", "Источник", "Nguồn"}, ":/png/source.png",
                    [this] { on_inputchoose_clicked(); }, {PAGE_INPUTCHOOSE}},
                   {"Button_usermode", {"用户模式", "User modes", "Режимы", "Chế độ"}, ":/png/modes.png",
                    [this] { on_usermode_popup_clicked(); }},
                   {"Button_custommode", {"模式列表", "Mode list", "Список слотов", "Danh sách chế độ"}, ":/png/modes.png",
                    [this] { on_custommode_clicked(); }, {PAGE_CUSTOMMODE}},
                   {"Button_option", {"菜单", "Menu", "Меню", "Menu"}, ":/png/menu.png", [this] { on_option_clicked(); },
                    Option::pages()},
                   {"Button_machinestate", {"设备信息", "Device info", "Об устройстве", "Thông tin"}, ":/png/info.png",
                    [this] { on_machinestate_clicked(); }},
                   {"Button_black", {"黑屏", "Black screen", "Чёрный экран", "Màn đen"}, ":/png/black_off.png",
                    [this] { on_blackscreen_clicked(); }},
                   {"Button_audio", {"音频", "Audio", "Звук", "Âm thanh"}, ":/png/audio_off.png", [this] { on_audio_clicked(); }},
                   {"Button_lock", {"面板锁", "Panel lock", "Блокировка", "Khóa bảng"}, ":/png/lock_off.png",
                    [this] { on_panellock_clicked(); }},
               },
               2);
    splash_ = new UpdateSplash(nullptr);
    l_lock_state = image_u16(ram_panel_lock) == 1 ? 1 : 0;
    finish_construction();
    refresh_icons();
    refresh_ip();

    shell_hooks::mode_file_write = [this](int slot, int from_sync) { return mode_file_write(slot, from_sync); };
    shell_hooks::take_pending_tip = [this] { return take_pending_tip(); };
    shell_hooks::tip_create = [](int kind) {
        if (g_tip)
            g_tip->tip_create(kind);
    };
}

MainWindow::~MainWindow()
{
    shell_hooks::mode_file_write = nullptr;
    shell_hooks::take_pending_tip = nullptr;
    shell_hooks::tip_create = nullptr;
    delete splash_;
    delete ui;
}

// ---- texts and refresh ------------------------------------------------------------------------

void MainWindow::language_changed()
{
    translate_frame(ui->label_title, kTitle, nullptr, nullptr);
    translate_rows();
    ui->label_mode_title->setText(tr4(kModesTitle));
    ui->Button_mode_save->setText(tr4(kSave));
    ui->Button_mode_recall->setText(tr4(kRecall));
    ui->Button_mode_cancel->setText(tr4(kCancel));
    refresh_popup();
    refresh_ip();
    ui->label_status->clear();
}

void MainWindow::syncUpdate()
{
    if (TlxRamPara::p_tlxrampara_config && TlxRamPara::p_tlxrampara_config->TlxLanguageChanged())
        language_changed();
    refresh_rows();
    refresh_icons();
    refresh_ip();
    refresh_popup();  // a tool may have saved or deleted the mode the popup shows
}

void MainWindow::refresh_ip()
{
    QMutexLocker lk(&g_config_text_mutex());
    ui->label_ip->setText("IP " + g_str_ip);
}

void MainWindow::refresh_icons()
{
    const u16 black = image_u16(ram_black_screen);
    const u16 audio = image_u16(ram_window_addr(selected_window(), WIN_AUDIO));
    const u16 lock = image_u16(ram_panel_lock);
    l_lock_state = lock == 1 ? 1 : 0;
    if (black == shown_black_ && audio == shown_audio_ && lock == shown_lock_)
        return;
    shown_black_ = black;
    shown_audio_ = audio;
    shown_lock_ = lock;
    if (auto* b = row_button("Button_black"))
        b->setIcon(QIcon(black == 1 ? ":/png/black_on.png" : ":/png/black_off.png"));
    if (auto* b = row_button("Button_audio"))
        b->setIcon(QIcon((audio & WIN_AUDIO_ON) ? ":/png/audio_on.png" : ":/png/audio_off.png"));
    if (auto* b = row_button("Button_lock"))
        b->setIcon(QIcon(lock == 1 ? ":/png/lock_on.png" : ":/png/lock_off.png"));
}

void MainWindow::show_status(const QString& text)
{
    ui->label_status->setText(text);
    status_ticks_ = kStatusTicks;
}

// ---- openers ----------------------------------------------------------------------------------

bool MainWindow::refused_while_locked()
{
    if (l_lock_state != 1)
        return false;
    show_status(tr4(kLocked));
    return true;
}

void MainWindow::on_inputchoose_clicked()
{
    if (refused_while_locked())
        return;
    close_popup();
    open_registered(PAGE_INPUTCHOOSE, this);
}

void MainWindow::on_custommode_clicked()
{
    if (refused_while_locked())
        return;
    close_popup();
    open_registered(PAGE_CUSTOMMODE, this);
}

void MainWindow::on_option_clicked()
{
    if (refused_while_locked())
        return;
    close_popup();
    open_page(g_option, this);
}

void MainWindow::on_machinestate_clicked()
{
    close_popup();
    open_page(g_machinestate, this);
}

// ---- toggles ----------------------------------------------------------------------------------

void MainWindow::on_blackscreen_clicked()
{
    apply(1, [](u8* image) { put_u16(image, ram_black_screen, get_u16(image, ram_black_screen) == 1 ? 0 : 1); });
    refresh_icons();
}

void MainWindow::on_audio_clicked()
{
    const u32 addr = ram_window_addr(selected_window(), WIN_AUDIO);
    apply(1, [addr](u8* image) { put_u16(image, addr, (get_u16(image, addr) & WIN_AUDIO_ON) ? 0 : kAudioOn); });
    refresh_icons();
}

void MainWindow::on_panellock_clicked()
{
    // Written under the lock with the change flag like every other edit, so the word is
    // persisted by the next apply pass instead of waiting for an unrelated change.
    apply(1, [](u8* image) { put_u16(image, ram_panel_lock, get_u16(image, ram_panel_lock) == 1 ? 0 : 1); });
    refresh_icons();
}

// ---- user-mode pop-up -------------------------------------------------------------------------

bool MainWindow::popup_open() const { return ui->frame_modes->isVisible(); }

void MainWindow::on_usermode_popup_clicked()
{
    if (refused_while_locked())
        return;
    if (g_mode_select > 15)
        g_mode_select = 0;
    popup_level_ = 0;
    popup_action_ = 0;
    ui->frame_modes->show();
    ui->frame_modes->raise();
    refresh_popup();
}

void MainWindow::close_popup()
{
    ui->frame_modes->hide();
    popup_level_ = 0;
}

void MainWindow::refresh_popup()
{
    const bool saved = TlxRamPara::p_tlxrampara_config && TlxRamPara::p_tlxrampara_config->panel_mode(g_mode_select, nullptr);
    ui->label_mode_slot->setText(tr4(kModeSlot).arg(g_mode_select + 1) + "  (" + tr4(saved ? kSaved : kEmptySlot) + ")");
    ui->label_mode_hint->setText(tr4(popup_level_ == 0 ? kHintSlot : kHintAction));
    QPushButton* actions[] = {ui->Button_mode_save, ui->Button_mode_recall, ui->Button_mode_cancel};
    for (int i = 0; i < 3; ++i)
        actions[i]->setStyleSheet(popup_level_ == 1 && i == popup_action_ ? style::menu_focus : style::menu_normal);
}

void MainWindow::popup_save()
{
    const int slot = g_mode_select;
    // The persistence slot carries the save out (slot, current mode, file) after the apply pass.
    apply(1, [slot](u8* image) { put_u16(image, ram_mode_save_request, static_cast<u16>(slot + 1)); });
    tip_pending = true;
    close_popup();
}

void MainWindow::popup_recall()
{
    TlxRamPara* store = TlxRamPara::p_tlxrampara_config;
    const int slot = g_mode_select;
    auto mode = std::make_shared<MODE_SLOT>();
    if (!store || !store->panel_mode(slot, mode.get())) {
        show_status(tr4(kNothingSaved));
        close_popup();
        return;
    }
    apply(1, [store, slot, mode](u8* image) {
        // Whole words: the FPGA thread reads window fields without the lock.
        ram_copy_in(image, RAM_MODE_BASE, mode->image(), RAM_MODE_LEN);
        put_u16(image, ram_current_mode, static_cast<u16>(slot + 1));
        request_handover_on_new_size_locked(store);   // a mode of another LED size
    });
    tip_pending = true;
    close_popup();
}

bool MainWindow::take_pending_tip()
{
    const bool pending = tip_pending;
    tip_pending = false;
    return pending;
}

// ---- keys and navigation ----------------------------------------------------------------------

bool MainWindow::page_key(int key)
{
    if (!popup_open())
        return false;
    const int step = key == KEY_LEFT ? -1 : key == KEY_RIGHT ? 1 : 0;
    if (popup_level_ == 0) {
        if (step)
            g_mode_select = static_cast<u8>((g_mode_select + 16 + step) % 16);
        else if (key == KEY_OK)
            popup_level_ = 1;
        else if (key == KEY_BACK)
            close_popup();
    } else {
        if (step)
            popup_action_ = (popup_action_ + 3 + step) % 3;
        else if (key == KEY_OK) {
            if (popup_action_ == 0)
                popup_save();
            else if (popup_action_ == 1)
                popup_recall();
            else
                close_popup();
        } else if (key == KEY_BACK)
            popup_level_ = 0;
    }
    refresh_popup();
    return true;
}

void MainWindow::slot_Button_back_clicked() { go_home(); }

void MainWindow::go_home()
{
    if (g_numberkeyboard)
        g_numberkeyboard->close_without_signal();
    // Innermost first, so each parent is still there when its child returns to it.
    std::vector<PageFrame*> open = PageFrame::open_pages();
    for (auto it = open.rbegin(); it != open.rend(); ++it)
        (*it)->slot_Button_back_clicked();
    close_popup();
    if (g_lockwindow) {
        g_lockwindow->language_changed();
        g_lockwindow->show();
        g_lockwindow->raise();
        g_lockwindow->activateWindow();
    }
    g_page_focus = PAGE_LOCKWINDOW;
}

// ---- user-mode files --------------------------------------------------------------------------

int MainWindow::mode_file_write(int slot, int from_sync)
{
    TlxRamPara* store = TlxRamPara::p_tlxrampara_config;
    return store ? store->mode_file_save(slot, from_sync == 0) : 0;
}

// ---- aging log ------------------------------------------------------------------------------

void MainWindow::getagelog()
{
    int r40 = 0, r42 = 0, r43 = 0;
    if (!g_age_probe.read_regs || !g_age_probe.read_regs(r40, r42, r43))
        return;
    QString stamp;
    {
        QMutexLocker lk(&Utils::_system_mutex);
        stamp = QDateTime::currentDateTime().toString("MM-dd hh:mm");
    }
    agelog_append(stamp, r42, r40, r43);
}

// ---- the 10 ms tick -----------------------------------------------------------------------

bool MainWindow::reboot_check(bool& sent)
{
    if (sent || !g_app_reset_flag.load()) {
        pending_writes::set_restart_waiting(false);
        return false;
    }
    // The stamp is the request's own tick (request_tick), which may lie ahead of the ticks run.
    // Read after the flag: a request stores its stamp before raising the flag, so a request
    // arriving between the two reads is never taken with the stamp of an earlier one.
    const int32_t since = ticks_since(G_reboot_tickTicks.load());
    if (since < int32_t(kRebootTicks)) {
        pending_writes::set_restart_waiting(false);
        return false;
    }
    // Pending file and EEPROM writes finish first (this thread writes the parameter file, so
    // it looks again on the next tick rather than waiting here).
    const bool pending = pending_writes::any();
    pending_writes::set_restart_waiting(pending);
    if (pending && since < int32_t(kRebootTicks + pending_writes::kBoundTicks))
        return false;
    pending_writes::set_restart_waiting(false);
    if (pending)
        writeLogMsg(LOG_WARNING, "front panel: writes still under way at the reboot");
    sent = true;
    writeLogMsg(LOG_WARNING, "front panel: reboot requested");
    platform::board().shell().run("reboot");
    return true;
}

void MainWindow::slot_update_timer_ticks()
{
    const u32 now = advance_tick();  // also the FPGA thread's pace
    if (splash_)
        splash_->tick(g_update_flag.load() != 0);
    if (g_tip_flag.load() && g_tip)
        g_tip->tick();
    reboot_check(reboot_sent_);
    if (SyncUpdate::p_SyncUpdate)
        SyncUpdate::p_SyncUpdate->retry_tick();
    if (now - last_age_tick_ >= kAgingTicks && g_age_probe.fpga_running && pc_cmd_valid.load() == 0 &&
        g_age_probe.fpga_running()) {
        last_age_tick_ = now;
        getagelog();
        if (g_factoryage && g_agelog_page_update)
            g_agelog_page_update();
    }
    if (now - last_follow_tick_ >= kFollowTicks) {
        last_follow_tick_ = now;
        if (!PageFrame::open_pages().empty())
            PageFrame::open_pages().back()->follow_device();
    }
    if (status_ticks_ > 0 && --status_ticks_ == 0)
        ui->label_status->clear();
}
