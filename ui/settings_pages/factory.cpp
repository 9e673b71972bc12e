#include "factory.h"

#include <QMutexLocker>
#include <cerrno>
#include <cstring>

#include "core/ConfigEngine.h"
#include "core/TlxRamPara.h"
#include "core/ram_map.h"
#include "core/requests.h"
#include "core/log.h"
#include "core/store_files.h"
#include "core/utils.h"
#include "scaler/c331_manage.h"
#include "ui/settings_pages/fpga_link.h"
#include "ui/settings_pages/net_address.h"
#include "ui/shell/TIP.h"
#include "ui/shell/lang.h"
#include "ui_factory.h"
#include "video_io/zeltasource.h"

namespace {
constexpr int kLanguages = 4;
// The EDID area level 2 keeps.
constexpr u32 kEdidAreaFirst = ram_edid_para;
constexpr u32 kEdidAreaEnd = ram_splice_mode;

// Against the canvas the scaler last applied (not the persisted one, which may lag behind).
bool canvas_differs_from_applied(const u8* image, const u8* applied)
{
    for (u32 a : {ram_led_width, ram_led_height, ram_splice_mode})
        if (ram_rd16(image, a) != ram_rd16(applied, a))
            return true;
    return false;
}

// One line of the font status: caption, then the 32, 64 and 128 sizes, green when present.
QString font_line(const QString& caption, bool has32, bool has64)
{
    const bool zh = g_language.load() == 0;
    const auto caption_span = [](const QString& t) {
        return QString("<font style = 'font-size:12px' color = #ffffff >%1</font>").arg(t);
    };
    const auto size_span = [zh](int size, bool present) {
        return QString("<font style = 'font-size:13px' color = %1 >%2</font>")
            .arg(present ? "#00ff00" : "#ff0000")
            .arg(zh ? QString::number(size) + QString::fromUtf8("宽") : QString::number(size));
    };
    return caption_span(caption) + size_span(32, has32) + caption_span("|") + size_span(64, has64) + caption_span("|") +
           size_span(128, has64);
}
}  // namespace

factory::factory(QWidget* parent) : SettingsPage("factory", PAGE_FACTORY), ui(new Ui::factory)
{
    (void)parent;
    ui->setupUi(this);
    finish_construction();
}

factory::~factory() { delete ui; }

void factory::menulist_init()
{
    set_rows({ui->Box_lang_2, ui->Button_rst1, ui->Button_rst2, ui->Button_rst3},
             {&sheets::combo(), &sheets::button(), &sheets::button(), &sheets::button()});
    const u8 lang = g_language.load();
    lang_index = (lang == 0 || lang == 2 || lang == 3) ? lang : 1;
    ui->Box_lang_2->setCurrentIndex(lang_index);
}

void factory::language_changed()
{
    ui->label_factory->setText(tr4({"工厂设置", "Factory setup", "Системные настройки", "Khôi phục cài đăt gốc"}));
    ui->label_lang->setText(tr4({"语言", "language", "Язык", "Ngôn ngữ"}));
    ui->label_rst->setText(tr4({"工厂复位", "Factory reset", "Сброс настроек", "Khôi phục cài đặt gốc"}));
    ui->label_ip->setText(tr4({"保持IP不变", "Keep IP", "Сохранить IP", "Giữ nguyên IP"}));
    ui->label_edid->setText(tr4({"IP和EDID保持不变", "Keep IP,EDIP", "Сохранить IP и EDID", "IP và EDID vẫn giữ nguyên"}));
    ui->label_all->setText(tr4({"全部恢复出厂设置", "Reset ALL", "Сбросить все", "Khôi phục cài đặt gốc tất cả"}));
    for (QPushButton* b : {ui->Button_rst1, ui->Button_rst2, ui->Button_rst3})
        b->setText(tr4({"点击OK应用", "Press Ok", "Нажмите ОК", "Đồng ý"}));
    show_fonts();
}

void factory::show_fonts()
{
    const u32 flags = c331_manage::p_c331_manage ? c331_manage::p_c331_manage->font_flags.load() : 0;
    const bool zh = g_language.load() == 0;
    ui->FontCN->setText(font_line(zh ? QString::fromUtf8("中文:") : "CN:", flags & 1, flags & 4));
    ui->FontEN->setText(font_line(zh ? QString::fromUtf8("英文:") : "EN:", flags & 2, flags & 8));
}

// Every refresh closes the page: the visible end of a language change or a reset.
void factory::syncUpdate() { slot_Button_back_clicked(); }

void factory::on_Button_lang_clicked()
{
    if (!editing())
        return;
    TlxRamPara* store = TlxRamPara::p_tlxrampara_config;
    // One-word accesses: other threads read the language word without c331_lock.
    if (!store || lang_index == u8(ram_rd16(store->ram_image, ram_language)))
        return;
    const u8 lang = lang_index;
    g_language = lang;
    apply(1, [lang](u8* image) { ram_wr16(image, ram_language, u16((ram_rd16(image, ram_language) & 0xFF00) | lang)); });
    language_changed();
}

void factory::on_Button_reset1_clicked() { factory_reset(0, 0, true); }
void factory::on_Button_reset2_clicked() { factory_reset(kEdidAreaFirst, kEdidAreaEnd, false); }

void factory::on_Button_reset3_clicked()
{
    // All three items are compared: a device at the factory address with another mask or
    // gateway would otherwise keep them after "Reset ALL". Both files are checked before
    // either is written, and the interface takes the factory address only once both are:
    // a reset the files cannot keep changes nothing (the tip says "not saved"), and the
    // device is never at another address for a moment.
    const NetAddress old = current_net_address();
    const bool new_address = old != factory_net_address();
    bool kept = files_can_take_reset(new_address) && store_factory_parameters();
    if (kept && new_address && !store_net_address(factory_net_address())) {
        kept = false;
        put_back_parameter_file();
    }
    if (!kept) {
        if (g_tip)
            g_tip->tip_create(TIP::kNotKept);
        return;
    }
    factory_reset(0, 0, true);
}

bool factory::files_can_take_reset(bool new_address)
{
    for (const char* path : {store_files::kParamFile, new_address ? store_files::kNetworkFile : nullptr}) {
        if (path && !store_files::can_replace(path, PARA_FILE_SIZE)) {
            writeLogMsg(LOG_ERROR, std::string("factory page: cannot write ") + path + " (" + std::strerror(errno) +
                                       "): nothing reset");
            return false;
        }
    }
    return true;
}

// The parameter file takes the factory parameters before the image does, so that a reset the
// file cannot keep changes nothing; the next apply pass stores the same bytes again.
bool factory::store_factory_parameters()
{
    const u8* factory_image = ConfigEngine::default_para_ramlist + PARA_FILE_IMAGE_OFFSET;  // image 0x300 on
    QMutexLocker fl(&Utils::_file_deal_mutex);
    if (store_files::write_param_file(factory_image))
        return true;
    writeLogMsg(LOG_ERROR, std::string("factory page: cannot write ") + store_files::kParamFile + " (" +
                               std::strerror(errno) + "): nothing reset");
    return false;
}

// The address could not be stored after the factory parameters were: the parameter file
// takes back what it held (the shadow), so the reset changes nothing.
void factory::put_back_parameter_file()
{
    TlxRamPara* store = TlxRamPara::p_tlxrampara_config;
    if (!store)
        return;
    u8 held[RAM_PERSIST_LEN];
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        std::memcpy(held, store->ram_shadow + RAM_VOLATILE_END, RAM_PERSIST_LEN);
    }
    QMutexLocker fl(&Utils::_file_deal_mutex);
    if (!store_files::write_param_file(held))
        writeLogMsg(LOG_ERROR, std::string("factory page: the address could not be stored and ") +
                                   store_files::kParamFile + " not set back: it holds the factory parameters");
    else
        writeLogMsg(LOG_ERROR, "factory page: the address could not be stored: nothing reset");
}

// Restores image 0x300..0xFFF from the factory image except [keep_first, keep_end).
void factory::factory_reset(u32 keep_first, u32 keep_end, bool rewrite_edids)
{
    const u8* factory_image = ConfigEngine::default_para_ramlist + PARA_FILE_IMAGE_OFFSET;  // image 0x300 on
    const u8* applied = TlxRamPara::p_tlxrampara_config ? TlxRamPara::p_tlxrampara_config->ram_applied : nullptr;
    apply(1, [=](u8* image) {
        for (u32 a = RAM_VOLATILE_END; a < RAM_IMAGE_SIZE; ++a)
            if (a < keep_first || a >= keep_end)
                image[a] = factory_image[a - RAM_VOLATILE_END];
        if (applied && canvas_differs_from_applied(image, applied))
            fpga_link::start_led_handshake_locked();
        if (rewrite_edids && zeltasource::p_zelta_source) {
            for (int p = 0; p < 6; ++p)
                scaler_req::raise_edid(p);
        }
    });
}

void factory::edit_step(int delta)
{
    lang_index = static_cast<u8>((lang_index + kLanguages + delta) % kLanguages);
    ui->Box_lang_2->setCurrentIndex(lang_index);
}

void factory::ok_pressed(int row)
{
    if (row == 0) {
        if (!editing()) {
            set_editing(true);
        } else {
            on_Button_lang_clicked();
            set_editing(false);
        }
        return;
    }
    edit_flag = 0;
    if (row == 1)
        on_Button_reset1_clicked();
    else if (row == 2)
        on_Button_reset2_clicked();
    else
        on_Button_reset3_clicked();
}
