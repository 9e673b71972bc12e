// Parameter store operations: window sources, the crop table and its presence map, custom
// EDID timings, the language check and the user modes.
#include <QMutexLocker>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <unistd.h>

#include "core/TlxRamPara.h"
#include "core/c331_shared.h"
#include "core/log.h"
#include "core/store_files.h"
#include "core/utils.h"
#include "platform/board.h"
#include "platform/clock.h"
#include "platform/paths.h"

u8 g_cut_source_state[30] = {0};

namespace {

constexpr int kSources = 6;
constexpr int kCropNumbers = 40;
constexpr u8 kNoSource = 0xFF;

bool valid_source(int s) { return s >= 0 && s < kSources; }

// Callers index per-source tables with the result: anything beyond 5 is "no source".
u8 checked_source(u8 s) { return valid_source(s) ? s : kNoSource; }

bool crop_bit(int source, int number)  // number 1..40
{
    const int bit = number - 1;
    return g_cut_source_state[5 * source + bit / 8] & (1u << (bit % 8));
}

}  // namespace

// ---- window source ----------------------------------------------------------------------------

u8 TlxRamPara::TlxGetImageSource(const u8* base, u8 window, int16_t* is_crop, u8* crop_row, u8 bank)
{
    if (is_crop)
        *is_crop = 0;
    if (!base || window >= RAM_WINDOWS || bank > 1)
        return kNoSource;
    // Slot copies start at image 0x380: shift every image address by that much.
    const u8* img = base - RAM_MODE_BASE * bank;
    const u16 word = ram_rd16(img, ram_window_addr(window, WIN_SOURCE));
    if (!(word & WIN_SOURCE_CROP))
        return checked_source(static_cast<u8>(word));
    if (is_crop)
        *is_crop = 1;
    const u8 row = static_cast<u8>(word);
    if (crop_row)
        *crop_row = row;
    if (row >= RAM_CROP_ROWS)
        return kNoSource;
    return checked_source(static_cast<u8>(ram_rd16(img, ram_crop_addr(row, CROP_KEY))));  // no lock: one load
}

// ---- crop table ---------------------------------------------------------------------------------

int TlxRamPara::TlxGetSourceNum(int source, int rows)
{
    if (rows > RAM_CROP_ROWS)
        rows = RAM_CROP_ROWS;
    int count = 0;
    for (int r = 0; r < rows; ++r) {
        const u16 key = ram_rd16(ram_image, ram_crop_addr(r, CROP_KEY));
        if ((key & CROP_KEY_USED) && (key & CROP_KEY_SOURCE) == source)
            ++count;
    }
    return count;
}

void TlxRamPara::TlxCropSourceInit()
{
    std::memset(g_cut_source_state, 0, sizeof g_cut_source_state);
    for (int r = 0; r < RAM_CROP_ROWS; ++r) {
        const u16 key = ram_rd16(ram_image, ram_crop_addr(r, CROP_KEY));
        const int s = key & CROP_KEY_SOURCE;
        const int bit = (key & CROP_KEY_NUMBER) >> 8;
        if ((key & CROP_KEY_USED) && valid_source(s) && bit < kCropNumbers)
            g_cut_source_state[5 * s + bit / 8] |= static_cast<u8>(1u << (bit % 8));
    }
}

int TlxRamPara::TlxGetCropID(int source, int n)
{
    if (!valid_source(source) || n < 1)
        return 0;
    for (int c = 1; c <= kCropNumbers; ++c) {
        if (crop_bit(source, c) && --n == 0)
            return c;
    }
    return 0;
}

int TlxRamPara::TlxAddCropID(int source)
{
    if (!valid_source(source))
        return 0;
    for (int c = 1; c <= kCropNumbers; ++c) {
        if (!crop_bit(source, c))
            return c;
    }
    return 0;
}

int TlxRamPara::crop_row_of(int source, int crop_number) const
{
    if (!valid_source(source) || crop_number < 1)
        return RAM_CROP_ROWS;
    const u16 want = static_cast<u16>(CROP_KEY_USED | ((crop_number - 1) << 8) | source);
    for (int r = 0; r < RAM_CROP_ROWS; ++r) {
        if (ram_rd16(ram_image, ram_crop_addr(r, CROP_KEY)) == want)
            return r;
    }
    return RAM_CROP_ROWS;
}

void TlxRamPara::TlxGetCropPara(int source, int n, CROP_PARA* out, int* row)
{
    const int r = crop_row_of(source, TlxGetCropID(source, n));
    if (row)
        *row = r;
    if (r >= RAM_CROP_ROWS || !out)
        return;
    out->key = ram_rd16(ram_image, ram_crop_addr(r, CROP_KEY));
    out->x = ram_rd16(ram_image, ram_crop_addr(r, CROP_X));
    out->y = ram_rd16(ram_image, ram_crop_addr(r, CROP_Y));
    out->width = ram_rd16(ram_image, ram_crop_addr(r, CROP_WIDTH));
    out->height = ram_rd16(ram_image, ram_crop_addr(r, CROP_HEIGHT));
}

static void write_crop_rect(u8* image, int r, const CROP_PARA* in)
{
    ram_wr16(image, ram_crop_addr(r, CROP_X), static_cast<u16>(in->x));
    ram_wr16(image, ram_crop_addr(r, CROP_Y), static_cast<u16>(in->y));
    ram_wr16(image, ram_crop_addr(r, CROP_WIDTH), static_cast<u16>(in->width));
    ram_wr16(image, ram_crop_addr(r, CROP_HEIGHT), static_cast<u16>(in->height));
}

void TlxRamPara::TlxSetCropPara(char source, char n, const CROP_PARA* in)
{
    TlxSetCropById(source, TlxGetCropID(source, n), in);
}

bool TlxRamPara::TlxSetCropById(int source, int id, const CROP_PARA* in)
{
    if (!in)
        return false;
    QMutexLocker lk(&c331_shared::c331_lock);
    const int r = crop_row_of(source, id);
    if (r >= RAM_CROP_ROWS)
        return false;
    write_crop_rect(ram_image, r, in);
    c331_raise_change_locked(1);
    return true;
}

bool TlxRamPara::TlxAddNewCrop(int source, const CROP_PARA* in)
{
    if (!valid_source(source) || !in)
        return false;
    // The id and the free row are taken from the table as it is under the lock, where a
    // remote write may have changed it since the page last looked: a tool's new row is never
    // overwritten, nor its id given twice.
    QMutexLocker lk(&c331_shared::c331_lock);
    TlxCropSourceInit();
    const int c = TlxAddCropID(source);
    int r = 0;
    while (r < RAM_CROP_ROWS && (ram_rd16(ram_image, ram_crop_addr(r, CROP_KEY)) & CROP_KEY_USED))
        ++r;
    if (c == 0 || r >= RAM_CROP_ROWS)
        return false;
    ram_wr16(ram_image, ram_crop_addr(r, CROP_KEY), static_cast<u16>(CROP_KEY_USED | ((c - 1) << 8) | source));
    write_crop_rect(ram_image, r, in);
    c331_raise_change_locked(1);
    return true;
}

void TlxRamPara::TlxDeleteCrop(char source, char n) { TlxDeleteCropById(source, TlxGetCropID(source, n)); }

bool TlxRamPara::TlxDeleteCropById(int source, int id)
{
    QMutexLocker lk(&c331_shared::c331_lock);
    const int r = crop_row_of(source, id);
    if (r >= RAM_CROP_ROWS)
        return false;
    ram_wr16(ram_image, ram_crop_addr(r, CROP_KEY), 0);
    c331_raise_change_locked(1);
    return true;
}

// ---- window source and EDID setters ----------------------------------------------------------

void TlxRamPara::TlxSetImageSource(int n, char source, char window)
{
    const int w = static_cast<unsigned char>(window);
    if (w >= RAM_WINDOWS || !valid_source(source) || n < 0) {
        writeLogMsg(LOG_WARNING, "TlxSetImageSource refused: item " + std::to_string(n) + ", source " +
                                     std::to_string(static_cast<int>(source)) + ", window " + std::to_string(w));
        return;
    }
    u16 word = static_cast<u16>(source);
    if (n > 0) {
        const int r = crop_row_of(source, TlxGetCropID(source, n));
        word = r < RAM_CROP_ROWS ? static_cast<u16>(WIN_SOURCE_CROP | r) : 0;
    }
    QMutexLocker lk(&c331_shared::c331_lock);
    ram_wr16(ram_image, ram_window_addr(w, WIN_SOURCE), word);
    // A layout changed by hand no longer is the persisted mode; a recall not yet persisted stays.
    if (ram_rd16(ram_image, ram_current_mode) == ram_rd16(ram_shadow, ram_current_mode))
        ram_wr16(ram_image, ram_current_mode, 0);
    c331_raise_change_locked(1);
}

void TlxRamPara::TlxSetEDIDPara(int input, int16_t width, int16_t height, int16_t refresh)
{
    if (input < 0 || input >= RAM_INPUTS) {
        writeLogMsg(LOG_WARNING, "TlxSetEDIDPara refused: input " + std::to_string(input));
        return;
    }
    QMutexLocker lk(&c331_shared::c331_lock);
    const u32 a = ram_edid_addr(input);
    ram_wr16(ram_image, a, static_cast<u16>(width));
    ram_wr16(ram_image, a + 2, static_cast<u16>(height));
    ram_wr16(ram_image, a + 4, static_cast<u16>(refresh));
    c331_raise_change_locked(1);
}

// ---- language and user modes ------------------------------------------------------------------

int TlxRamPara::TlxLanguageChanged()
{
    if (ram_rd16(ram_image, ram_language) == ram_rd16(ram_shadow, ram_language))
        return 0;
    g_language = u8(ram_rd16(ram_image, ram_language));  // the panel reads without c331_lock
    return 1;
}

int TlxRamPara::TlxUserModeSaved(int slot)
{
    if (slot < 0 || slot >= MODE_SLOTS)
        return 0;
    return mode_slot[slot].saved();
}

bool TlxRamPara::panel_mode(int slot, MODE_SLOT* out)
{
    if (slot < 0 || slot >= MODE_SLOTS)
        return false;
    MODE_SLOT local;
    MODE_SLOT* copy = out ? out : &local;
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        if (!(remote_slot_marks_ & (1u << slot))) {
            std::memcpy(copy->bytes, mode_slot[slot].bytes, MODE_SLOT_SIZE);
            return copy->saved();
        }
    }
    std::memset(copy->bytes, 0, MODE_SLOT_SIZE);
    if (store_files::read_prefix(store_files::mode_file_path(slot), copy->bytes, MODE_FILE_SIZE) < 2)
        copy->mark(MODE_MARKER_EMPTY);
    return copy->saved();
}

// Nearest saved slot in the given direction, wrapping over 16 (see the header for the order).
int TlxRamPara::TlxUserModeIndex(char slot_in, char direction)
{
    const int slot = static_cast<unsigned char>(slot_in);
    int start;
    int step;
    switch (direction) {
    case 2:  // this or next
        if (slot > MODE_SLOTS)
            return 0x100;
        start = slot % MODE_SLOTS;
        step = 1;
        break;
    case 1:  // next
        if (slot >= MODE_SLOTS)
            return 0x100;
        start = (slot + 1) % MODE_SLOTS;
        step = 1;
        break;
    case 0:  // previous
        if (slot >= MODE_SLOTS)
            return 0x100;
        start = (slot + MODE_SLOTS - 1) % MODE_SLOTS;
        step = MODE_SLOTS - 1;
        break;
    default:
        return 0x100;
    }
    for (int i = 0, s = start; i < MODE_SLOTS; ++i, s = (s + step) % MODE_SLOTS) {
        if (TlxUserModeSaved(s))
            return s;
    }
    return 0x100;
}

int TlxRamPara::TlxGetCurrentModeIndex()
{
    // The byte at 0x362: a mode recalled by the page writes 0x363 as 0, remote tools may not.
    const u8 mode = u8(ram_rd16(ram_image, ram_current_mode));  // without c331_lock: one word
    return mode < 17 ? mode : 0;
}

// Loads slot `slot` from its file; with del = 1 first deletes the file (and the mode's OSD
// menu copy, when the slot says it has one or the copy is there: a tool that emptied the
// slot by writing it whole has cleared the slot's OSD word). The file is read into a buffer
// of its own and copied into the slot under c331_lock: the remote handlers write the same
// slots under it. A slot the tool wrote since the last remote slot change keeps what it
// wrote, unless the delete came after that write: the delete is then what the user chose.
// A delete leaves the image and the current-mode word alone, also for the mode in use: the
// image still holds that mode's settings, and the word then names a slot that reads as empty.
int TlxRamPara::mode_file_deal(int slot, int del)
{
    if (slot < 0 || slot >= MODE_SLOTS) {
        writeLogMsg(LOG_WARNING, "mode_file_deal refused: slot " + std::to_string(slot));
        return 0;
    }
    MODE_SLOT& ms = mode_slot[slot];
    u32 writes;
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        writes = slot_writes_base_locked(slot);
    }
    if (del == 1 && !delete_mode_files(slot))
        del = 0;
    u8 file[MODE_FILE_SIZE];
    const long got = store_files::read_prefix(store_files::mode_file_path(slot), file, MODE_FILE_SIZE);
    QMutexLocker lk(&c331_shared::c331_lock);
    if (del == 1 && remote_slot_writes_[slot] == writes)
        end_remote_mark_locked(slot, "deleted");
    if (remote_slot_marks_ & (1u << slot))  // the remote tool wrote the slot meanwhile: its bytes win
        return ms.bytes[0] != MODE_MARKER_EMPTY && ms.bytes[1] != MODE_MARKER_EMPTY;
    if (got < 2) {  // missing (or holds not even a marker)
        ms.mark(MODE_MARKER_EMPTY);
        return 0;
    }
    ms.copy_in(0, file, size_t(got));
    if (got < MODE_FILE_SIZE)
        writeLogMsg(LOG_WARNING, store_files::mode_file_path(slot) + " short: " + std::to_string(got) + " bytes");
    return 1;
}

// Removes the mode's file, then its OSD menu copy. False (logged) when the file is still
// there: the mode stays saved, its OSD menu copy kept.
bool TlxRamPara::delete_mode_files(int slot)
{
    platform::Shell& sh = platform::board().shell();
    const std::string path = store_files::mode_file_path(slot);
    const int rc = sh.run("rm  -rf  " + path);
    platform::sleep_us(100);
    if (rc != 0 || ::access(platform::rooted(path).c_str(), F_OK) == 0) {
        writeLogMsg(LOG_ERROR, "cannot delete " + path + ": mode " + std::to_string(slot + 1) + " is still saved");
        return false;
    }
    const std::string osd_path = store_files::mode_osd_path(slot);
    bool has_osd;
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        has_osd = ram_rd16(mode_slot[slot].bytes, MODE_SLOT_OSD) == 1;
        if (has_osd)
            ram_wr16(mode_slot[slot].bytes, MODE_SLOT_OSD, 0);
    }
    if (has_osd || ::access(platform::rooted(osd_path).c_str(), F_OK) == 0)
        sh.run("rm  -rf  " + osd_path);
    platform::sleep_us(100);
    sh.run("sync");
    return true;
}

int TlxRamPara::mode_file_save(int slot, bool copy_osd)
{
    if (slot < 0 || slot >= MODE_SLOTS)
        return 0;
    MODE_SLOT copy;
    u16 osd_enable;
    u32 writes;
    {
        // A consistent copy: the scaler and the remote handlers write the image under this
        // lock, and it comes before the file lock.
        QMutexLocker lk(&c331_shared::c331_lock);
        writes = slot_writes_base_locked(slot);
        std::memcpy(copy.bytes, mode_slot[slot].bytes, MODE_SLOT_SIZE);
        copy.copy_in(MODE_SLOT_IMAGE, ram_image + RAM_MODE_BASE, RAM_MODE_LEN);
        copy.mark(MODE_MARKER_SAVED);
        osd_enable = ram_rd16(ram_image, ram_osd_enable);
    }
    const std::string path = store_files::mode_file_path(slot);
    const std::string osd_path = store_files::mode_osd_path(slot);
    const std::string osd_temp = osd_path + ".tmp";  // removed at start when a power cut leaves it
    platform::Shell& sh = platform::board().shell();
    // A fresh data partition has no mode folder yet: the menu's copy goes there first.
    std::error_code ec;
    std::filesystem::create_directories(platform::rooted(store_files::kModeDir), ec);
    // The mode's own copy of the OSD menu goes beside the mode under a temporary name and
    // replaces the kept copy only once the mode file is written: a save that fails leaves the
    // saved mode and its copy as they were.
    bool with_osd = false;
    if (copy_osd && osd_enable == 1) {
        const std::string cmd = "cp  /data/configs/omenu.json " + osd_temp;
        if (g_debugSwitch == 254)
            std::printf("%s\n", cmd.c_str());
        with_osd = sh.run(cmd) == 0;
        // Without a menu there is nothing to copy; a menu that cannot be copied fails the save.
        if (!with_osd && ::access(platform::rooted("/data/configs/omenu.json").c_str(), F_OK) == 0) {
            sh.run("rm  -f  " + osd_temp);
            writeLogMsg(LOG_ERROR, "cannot copy the OSD menu to " + osd_path + ": mode " + std::to_string(slot + 1) +
                                       " not saved, its slot left as it was");
            return 0;
        }
    }
    {
        // Replaced as a whole: a power cut during the write leaves the old mode, not half of each.
        QMutexLocker fl(&Utils::_file_deal_mutex);
        if (!store_files::write_atomic(path, copy.bytes, MODE_FILE_SIZE)) {
            const int err = errno;
            if (with_osd)
                sh.run("rm  -f  " + osd_temp);
            writeLogMsg(LOG_ERROR, "cannot write " + path + " (" + std::strerror(err) + "): mode " +
                                       std::to_string(slot + 1) + " not saved, its slot left as it was");
            return 0;
        }
    }
    if (with_osd && sh.run("mv  -f  " + osd_temp + " " + osd_path) != 0)
        writeLogMsg(LOG_ERROR, "cannot put " + osd_path + " in place: mode " + std::to_string(slot + 1) +
                                   " saved with its former copy of the OSD menu");
    {
        // A tool's write into the slot during the file write is newer than this save, and one
        // the tool applied is carried out after it: the slot keeps it (and its mark).
        QMutexLocker lk(&c331_shared::c331_lock);
        if (remote_slot_writes_[slot] == writes && !(remote_slots_applied_ & (1u << slot))) {
            mode_slot[slot].copy_in(0, copy.bytes, MODE_SLOT_SIZE);
            end_remote_mark_locked(slot, "saved");
        } else {
            writeLogMsg(LOG_INFO, "mode " + std::to_string(slot + 1) +
                                      " written to its file; its slot keeps the remote tool's later write");
        }
    }
    sh.run("sync");
    platform::sleep_us(100);
    return 1;
}
