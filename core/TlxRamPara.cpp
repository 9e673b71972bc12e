// The parameter store: object, register block, boot load and the remote raw writes.
// Crop, source, EDID and user-mode operations are in TlxRamPara_ops.cpp.
#include "core/TlxRamPara.h"

#include <QMetaMethod>
#include <QMutexLocker>
#include <cstdio>
#include <cstring>

#include "core/ConfigEngine.h"
#include "core/c331_shared.h"
#include "core/log.h"
#include "core/store_files.h"
#include "platform/clock.h"

TlxRamPara* TlxRamPara::p_tlxrampara_config = nullptr;
TlxRamPara::ScreenRule TlxRamPara::screen_rule_ = nullptr;

void TlxRamPara::set_screen_rule(ScreenRule rule)
{
    screen_rule_ = rule;
}

TlxRamPara::TlxRamPara()
    : ram_image{}, ram_shadow{}, ram_applied{}, mode_slot{}, reg_file{}, status_page{}
{
    pthread_mutex_init(&ram_mutex, nullptr);
}

TlxRamPara* TlxRamPara::pInstance()
{
    static QMutex create_mutex;
    {
        QMutexLocker lk(&create_mutex);
        if (!p_tlxrampara_config)
            __atomic_store_n(&p_tlxrampara_config, new TlxRamPara(), __ATOMIC_RELEASE);  // see published()
    }
    p_tlxrampara_config->boot_load();
    return p_tlxrampara_config;
}

u8* TlxRamPara::reg_byte(int n)
{
    if (n < 0 || n >= REG_COUNT)
        return nullptr;
    if (n >= 160 && n <= 164)
        return &reg_file[32 + (n - 160)];
    if (n < REG_FILE_SIZE)
        return &reg_file[n];
    return &status_page[n - REG_FILE_SIZE];
}

// ---- boot load ------------------------------------------------------------------------------

void TlxRamPara::boot_load()
{
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        load_param_file();
        clear_volatile_fields();
        g_language = ram_image[ram_language];
        TlxCropSourceInit();
        std::memcpy(ram_shadow, ram_image, RAM_IMAGE_SIZE);
        std::memcpy(ram_applied, ram_image, RAM_IMAGE_SIZE);
    }
    for (int slot = 0; slot < MODE_SLOTS; ++slot) {
        mode_file_deal(slot, 0);
        platform::sleep_us(100);
    }
    reset_status_page();
}

// Image 0x300..0xFFF from file bytes 2..3329. A missing, short or unreadable file starts from
// the factory image and keeps what could be read.
void TlxRamPara::load_param_file()
{
    u8 file[PARA_FILE_SIZE];
    std::memcpy(file, ConfigEngine::default_para_ramlist, sizeof file);
    long got = store_files::read_prefix(store_files::kParamFile, file, sizeof file);
    const long need = PARA_FILE_IMAGE_OFFSET + RAM_PERSIST_LEN;
    if (got < need) {
        writeLogMsg(LOG_WARNING, "parameter file " + std::string(store_files::kParamFile) +
                                     (got < 0 ? " unreadable" : " short (" + std::to_string(got) + " bytes)") +
                                     ": factory values fill the rest");
    }
    std::memcpy(ram_image + RAM_VOLATILE_END, file + PARA_FILE_IMAGE_OFFSET, RAM_PERSIST_LEN);
}

// After every start the screen is on, no test pattern runs, no mode is current and no
// splice mode is set, unless the screen shows only in its splice mode. A pending mode save
// request (0x364) is kept.
void TlxRamPara::clear_volatile_fields()
{
    ram_wr16(ram_image, ram_black_screen, 0);
    std::memset(ram_image + ram_test_pattern, 0, 4);  // 0x360..0x363
    ram_image[ram_mode_save_request + 1] = 0;
    if (splice_needed())
        writeLogMsg(LOG_INFO, "parameter store: LED " + std::to_string(ram_rd16(ram_image, ram_led_width)) + "x" +
                                  std::to_string(ram_rd16(ram_image, ram_led_height)) + " shows only split: splice mode " +
                                  std::to_string(ram_rd16(ram_image, ram_splice_mode)) + " kept at start");
    else
        ram_wr16(ram_image, ram_splice_mode, RAM_SPLICE_NONE);
}

// A start shows the screen in one piece, but a screen the output channels can show only
// split (an 8K x 4K wall) would come back as the factory screen at every power cycle: its
// stored splice mode is kept when the screen shows with it and not without.
bool TlxRamPara::splice_needed() const
{
    const int splice = ram_rd16(ram_image, ram_splice_mode);
    if (!screen_rule_ || splice == RAM_SPLICE_NONE)
        return false;
    const int w = ram_rd16(ram_image, ram_led_width), h = ram_rd16(ram_image, ram_led_height);
    const int out1w = ram_rd16(ram_image, ram_output_rect + 4), out1h = ram_rd16(ram_image, ram_output_rect + 6);
    return !screen_rule_(w, h, out1w, out1h, RAM_SPLICE_NONE) && screen_rule_(w, h, out1w, out1h, splice);
}

void TlxRamPara::reset_status_page()
{
    std::memset(status_page, 0, sizeof status_page);
    status_page[STATUS_CHIP_PRESENT] = 0x80;
    status_page[STATUS_EDID] = 0x1F;
    status_page[STATUS_HW] = 0x07;
}

// ---- signal -----------------------------------------------------------------------------------

int TlxRamPara::test_signal(int code)
{
    // The apply pass calls this while its flag is still raised (and its lock held).
    if (c331_shared::param_changed.load() != 0)
        note_change_flag_seen();
    // Counted before the signal: a restart asked meanwhile waits for the slot change.
    if (code == 2 && isSignalConnected(QMetaMethod::fromSignal(&TlxRamPara::sig_update_para)))
        slot_changes_asked_.fetch_add(1);
    emit sig_update_para(code);
    return 1;
}

int TlxRamPara::ram_para_save()
{
    return test_signal(1);
}

u32 TlxRamPara::take_remote_slot_marks()
{
    const u32 marks = remote_slot_marks_;
    remote_slot_marks_ = 0;
    remote_slots_applied_ = 0;
    remote_slots_taken_ = marks;
    for (int slot = 0; slot < MODE_SLOTS; ++slot)
        remote_slot_writes_taken_[slot] = remote_slot_writes_[slot];
    return marks;
}

void TlxRamPara::end_remote_slot_change() { remote_slots_taken_ = 0; }

u32 TlxRamPara::slot_writes_base_locked(int slot) const
{
    return remote_slots_taken_ & (1u << slot) ? remote_slot_writes_taken_[slot] : remote_slot_writes_[slot];
}

void TlxRamPara::end_remote_mark_locked(int slot, const char* what)
{
    const u32 bit = 1u << slot;
    if (!(remote_slot_marks_ & bit) || (remote_slots_applied_ & bit))
        return;
    remote_slot_marks_ &= ~bit;
    writeLogMsg(LOG_INFO, "mode " + std::to_string(slot + 1) + " " + what +
                              ": the remote tool's earlier write to its slot, not applied, is dropped");
}

bool TlxRamPara::take_remote_mode_word_written()
{
    const bool written = remote_mode_word_written_;
    remote_mode_word_written_ = false;
    return written;
}

bool TlxRamPara::remote_write_pending() const
{
    return remote_writes_.load() != remote_writes_covered_.load();
}

// A raised change flag is cleared only by an apply pass, which compares the whole image with
// the shadow under c331_lock. So every remote write counted before the flag was seen raised
// will be applied by that pass. The count is read before the flag for that reason.
void TlxRamPara::note_change_flag_seen()
{
    u32 made = remote_writes_.load();
    if (c331_shared::param_changed.load() == 0)
        return;
    u32 covered = remote_writes_covered_.load();
    while (static_cast<int32_t>(made - covered) > 0 &&
           !remote_writes_covered_.compare_exchange_weak(covered, made)) {
    }
}

// ---- remote raw writes ------------------------------------------------------------------------

int TlxRamPara::TlxRamParaDeal(const u8* data, u16 length, u32 address)
{
    if (static_cast<uint64_t>(address) + length > RAM_IMAGE_SIZE)
        return 1;
    if (length == 0)
        return 0;
    if (!data)
        return 1;
    QMutexLocker lk(&c331_shared::c331_lock);
    ram_copy_in(ram_image, address, data, length);
    // A tool that writes the current-mode word names the mode itself, even with the value the
    // word already holds.
    if (address < ram_current_mode + 2 && address + length > ram_current_mode)
        remote_mode_word_written_ = true;
    remote_writes_.fetch_add(1);
    return 0;
}

int TlxRamPara::TlxModeUserRamParaDeal(const u8* data, u16 length, u32 address)
{
    const u32 n = (address >> 12) & 0xFF;
    if (n < 1 || n > MODE_SLOTS)
        return 1;
    const uint64_t offset = static_cast<uint64_t>(address) - n * 0x1000u;
    if (offset + length > MODE_SLOT_SIZE)
        return 1;
    if (length > 0 && !data)
        return 1;
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        if (length > 0) {
            mode_slot[n - 1].copy_in(u32(offset), data, length);
            remote_slot_marks_ |= 1u << (n - 1);
            ++remote_slot_writes_[n - 1];
        }
    }
    if (g_debugSwitch == 254)
        std::printf("\n write ram_user_mode = %#x \n", n);
    return 0;
}
