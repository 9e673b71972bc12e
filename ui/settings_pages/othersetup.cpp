#include "othersetup.h"

#include <QComboBox>
#include <QMutexLocker>

#include "core/TlxRamPara.h"
#include "core/c331_shared.h"
#include "core/ram_map.h"
#include "core/utils.h"
#include "remote/K57_WIFI_CONFIG.h"
#include "ui/shell/image_access.h"
#include "ui/shell/lang.h"
#include "ui_othersetup.h"

namespace {
enum Row { RowWindow, RowSound, RowSwitch, RowProjection, RowWifi, RowP2p };
constexpr int kPageWindows = 6;
constexpr u8 kFadeFrames = 60;

const RowSheets& box_sheets()
{
    static const RowSheets s =
        sheets::bordered("QComboBox{\ncolor:rgb(255,255,255);\nborder:1px solid %1;\n}\nQComboBox:drop-down{\n\twidth:0px;\n}");
    return s;
}

bool window_enabled(int w) { return image_u16(ram_window_addr(w, WIN_ENABLE)) != 0; }

// The enabled windows among 0..5, ascending: the items of the window row.
std::vector<int> enabled_windows()
{
    std::vector<int> v;
    for (int w = 0; w < kPageWindows; ++w)
        if (window_enabled(w))
            v.push_back(w);
    return v;
}

QStringList items(std::initializer_list<Text4> texts)
{
    QStringList l;
    for (const Text4& t : texts)
        l << tr4(t);
    return l;
}
const Text4 kOff{"关闭", "OFF", "Откл", "Đóng"};
const Text4 kOn{"开启", "ON", "Вкл", "Mở"};
}  // namespace

othersetup::othersetup(QWidget* parent) : SettingsPage("othersetup", PAGE_OTHERSETUP), ui(new Ui::othersetup)
{
    (void)parent;
    ui->setupUi(this);
    // The boxes are filled and set last, after the focus is placed.
    menulist_init();
    language_changed();
    para_init();
}

othersetup::~othersetup() { delete ui; }

QComboBox* othersetup::box(int row) const { return static_cast<QComboBox*>(menu_list[row]); }

void othersetup::menulist_init()
{
    set_rows({ui->ImageVolume, ui->volume_state, ui->switch_state, ui->mode_state, ui->wifi_state, ui->dbd_state},
             std::vector<const RowSheets*>(kRows, &box_sheets()));
    candidate = saved = 0;
    ui->ImageVolume->setCurrentIndex(0);
}

void othersetup::para_init()
{
    int sel = image_u16(ram_selected_window);
    if (sel >= kPageWindows || !window_enabled(sel)) {
        // An audio window that is out of range or switched off is taken as window 0.
        QMutexLocker lk(&c331_shared::c331_lock);
        if (TlxRamPara::p_tlxrampara_config)
            ram_wr16(TlxRamPara::p_tlxrampara_config->ram_image, ram_selected_window, 0);
        sel = 0;
    }
    const std::vector<int> windows = enabled_windows();
    ui->ImageVolume->clear();
    int position = 0;
    for (size_t i = 0; i < windows.size(); ++i) {
        ui->ImageVolume->addItem(tr4({"画面%1", "image%1", "Канал%1", "Hình ảnh%1"}).arg(windows[i] + 1));
        if (windows[i] == sel)
            position = static_cast<int>(i);
    }
    ui->ImageVolume->setCurrentIndex(position);
    item_count[RowWindow] = static_cast<u8>(windows.size());

    const auto fill = [](QComboBox* b, const QStringList& texts, bool second) {
        b->clear();
        b->addItems(texts);
        b->setCurrentIndex(second ? 1 : 0);
    };
    fill(ui->volume_state, items({kOff, kOn}), image_u16(ram_window_addr(sel, WIN_AUDIO)) & WIN_AUDIO_ON);
    fill(ui->switch_state,
         items({{"无缝快切", "Seamless", "Быстро", "Chuyển đổi ngay"}, {"淡入淡出", "Fade", "Плавно", "và ngoài"}}),
         image_u16(ram_switch_effect) != 0);
    fill(ui->mode_state, items({{"点击切换", "Click OK", "Нажмите ОК", "Đồng ý"}}), false);
    fill(ui->wifi_state, items({kOn, kOff}), image_u16(ram_wifi_disabled) != 0);
    fill(ui->dbd_state, items({kOff, kOn}), image_u16(ram_p2p_enable) != 0);
}

void othersetup::language_changed()
{
    ui->label_other->setText(tr4({"其它设置", "Other Settings", "Другие настройки", "Cài đặt khác"}));
    ui->label_name_volume->setText(tr4({"音量", "Volume", "Звук", "âm thanh"}));
    ui->label_name_switch->setText(tr4({"切换特效", "Switch mode", "Эффект", "Hiệu ứng"}));
    ui->label_name_mode->setText(tr4({"投屏设备", "Projection", "Радиоприбор", "Cài đặt Thiết bị"}));
    ui->label_wifi->setText(tr4({"WIFI状态", "Wifi state", "WiFi статус", "Trạng thái wifi"}));
    ui->label_name_DBD->setText(tr4({"点对点", "DBD", "Пиксель к пикселю", "Điểm tới điểm"}));
}

// Every refresh closes the page.
void othersetup::syncUpdate() { slot_Button_back_clicked(); }

void othersetup::edit_step(int delta)
{
    const int count = item_count[ui_select];
    if (count == 0)
        return;
    candidate = static_cast<u8>((candidate + count + delta) % count);
    box(ui_select)->setCurrentIndex(candidate);
}

void othersetup::ok_pressed(int row)
{
    if (!editing()) {
        candidate = saved = static_cast<u8>(std::max(0, box(row)->currentIndex()));
        set_editing(true);
        return;
    }
    set_editing(false);
    on_button_box_clicked();
}

void othersetup::edit_back()
{
    set_editing(false);
    box(ui_select)->setCurrentIndex(saved < item_count[ui_select] ? saved : 0);
}

void othersetup::on_button_box_clicked()
{
    switch (ui_select) {
    case RowSound: apply_sound(candidate); break;
    case RowSwitch: apply_switch_effect(candidate); break;
    case RowWifi: apply_wifi(candidate); break;
    case RowP2p: apply_point_to_point(candidate); break;
    default: break;  // the window row only picks the target of the sound row; projection does nothing
    }
}

void othersetup::apply_sound(int n)
{
    const int idx = ui->ImageVolume->currentIndex();
    const std::vector<int> windows = enabled_windows();
    // With no window switched on there is no window to act on: nothing is written.
    if (idx < 0 || idx >= static_cast<int>(windows.size()))
        return;
    const int w = windows[idx];
    apply(1, [w, n](u8* image) {
        const bool on = ram_rd16(image, ram_window_addr(w, WIN_AUDIO)) & WIN_AUDIO_ON;
        if (on == (n == 1))
            return;
        image[ram_selected_window] = static_cast<u8>(w);
        image[ram_selected_window + 1] = 0;
        ram_wr16(image, ram_window_addr(w, WIN_AUDIO), n == 1 ? 0x80FF : 0x0000);
    });
}

void othersetup::apply_switch_effect(int n)
{
    apply(1, [n](u8* image) {
        image[ram_switch_effect] = n == 1 ? 1 : 0;
        for (int w = 0; w < RAM_WINDOWS; ++w) {
            const u32 out = ram_window_addr(w, WIN_OUTPUT);
            u16 v = ram_rd16(image, out);
            if (n == 1) {
                image[ram_fade_frames + RAM_FADE_STRIDE * w] = kFadeFrames;
                image[ram_fade_frames + RAM_FADE_STRIDE * w + 2] = kFadeFrames;
                v |= WIN_OUT_SWITCH_EFFECT;
            } else {
                v &= ~WIN_OUT_SWITCH_EFFECT;
            }
            ram_wr16(image, out, v);
        }
    });
    // The persistence slot keeps the change until the scaler has applied it (it never copies
    // the image to the shadow while the change flag is up).
    TlxRamPara::p_tlxrampara_config->ram_para_save();
}

void othersetup::apply_wifi(int n)
{
    apply(1, [n](u8* image) { image[ram_wifi_disabled] = n == 1 ? 1 : 0; });
    if (n == 1) {
        Utils::system_mutex("kill -9 `pidof /usr/bin/hostapd /etc/rtl_hostapd_2G.conf`");
        Utils::system_mutex("kill -9 `pidof /usr/sbin/udhcpd  /etc/udhcpd.conf`");
    } else {
        K57_WIFI_CONFIG::set_wifi_reset_flag();
    }
}

void othersetup::apply_point_to_point(int n)
{
    apply(1, [n](u8* image) {
        image[ram_p2p_enable] = n == 1 ? 1 : 0;
        for (int w = 0; w < RAM_WINDOWS; ++w)
            image[ram_window_addr(w, WIN_OUTPUT) + 1] = n == 1 ? 1 : 0;
    });
    TlxRamPara::p_tlxrampara_config->ram_para_save();
}
