// The OSD fonts in the chip's serial flash: which are present (font_flags, status byte), their
// copy into font memory, the remote font reload, and the remote flash commands' access to this
// flash.
#include <QMutexLocker>
#include <atomic>
#include <cstdio>

#include "core/TlxRamPara.h"
#include "core/request_hooks.h"
#include "scaler/c331_manage.h"
#include "scaler/dbg_print.h"

namespace {

constexpr int kHeaderLen = 35;
constexpr uint8_t kFontType = 'P';
constexpr uint32_t kFlashSize = 32u << 20;

// The four font headers in the order they are checked, with their font_flags bit and their
// bits of the status byte.
struct FontSlot {
    uint32_t header;
    uint32_t flag;
    uint8_t status_bits;
    const char* name;
};
constexpr FontSlot kFonts[4] = {
    {0x010000, 1u << 0, 0x02, "32 CJK"},
    {0x000000, 1u << 1, 0x01, "32 ASCII"},
    {0x450000, 1u << 2, 0x28, "64 CJK"},
    {0x410000, 1u << 3, 0x14, "64 ASCII"},
};

// The manager that installed the request hook and the flash table (the hooks take no context).
std::atomic<c331_manage*> g_osd_owner{nullptr};

// The flash is the chip's: only reachable once the chip has been brought up.
c331_manage* running_owner()
{
    c331_manage* m = g_osd_owner.load();
    return m && m->thread_state == c331_manage::kStateRunning ? m : nullptr;
}

bool in_flash(uint32_t addr, uint64_t len) { return uint64_t(addr) + len <= kFlashSize; }

int flash_read_op(uint32_t addr, uint8_t* out, uint32_t len)
{
    c331_manage* m = running_owner();
    return m && in_flash(addr, len) ? m->read_flash(m->c331_fd, addr, len, out) : -1;
}

int flash_write_op(uint32_t addr, const uint8_t* data, uint32_t len)
{
    c331_manage* m = running_owner();
    return m && in_flash(addr, len) ? m->write_flash(m->c331_fd, addr, len, data) : -1;
}

int flash_erase_op(uint32_t addr, uint32_t count, uint8_t kind)
{
    static constexpr uint32_t kUnit[3] = {4096, 32768, 65536};
    const uint32_t unit = kUnit[kind < 2 ? kind : 2];
    const uint32_t first = addr & ~(unit - 1);
    c331_manage* m = running_owner();
    if (!m || !in_flash(first, uint64_t(count) * unit))
        return -1;
    return m->erase_flash(m->c331_fd, first / 4096, count, kind < 2 ? kind : 2);
}

constexpr remote::FlashOps kFlashOps = {&flash_read_op, &flash_write_op, &flash_erase_op};

void reload_fonts_hook()
{
    if (c331_manage* m = g_osd_owner.load())
        m->reload_fonts();
}

}  // namespace

void c331_manage::install_osd_hooks()
{
    prnEn[0][7] |= 0x80;   // the OSD setter's debug lines are on from start
    g_osd_owner = this;
    remote::set_hook(remote::Hook::ReloadFonts, &reload_fonts_hook);
    remote::set_scaler_flash(&kFlashOps);
}

void c331_manage::remove_osd_hooks()
{
    c331_manage* self = this;
    if (!g_osd_owner.compare_exchange_strong(self, nullptr))
        return;   // a later manager owns them
    remote::set_hook(remote::Hook::ReloadFonts, nullptr);
    remote::set_scaler_flash(nullptr);
}

uint32_t c331_manage::check_fonts(int fd)
{
    uint32_t flags = 0;
    for (const FontSlot& f : kFonts) {
        uint8_t h[kHeaderLen] = {};
        const bool read = read_flash(fd, f.header, kHeaderLen, h) == 0;
        if (read && h[0] == kFontType)
            flags |= f.flag;
        SCALER_DBG("\t font %s: type %c, width %d, height %d%s\n", f.name, h[0] >= 0x20 && h[0] < 0x7F ? h[0] : '?',
                   h[17], h[18], read ? "" : " (flash not read)");
    }
    return flags;
}

// Caller holds c331_lock (the bring-up, the remote reload after the engine is released).
void c331_manage::store_font_flags(uint32_t flags)
{
    font_flags = flags;
    TlxRamPara* store = TlxRamPara::p_tlxrampara_config;
    if (!store)
        return;
    uint8_t status = store->status_page[STATUS_FONT];
    for (const FontSlot& f : kFonts)
        status = uint8_t((flags & f.flag) ? status | f.status_bits : status & ~f.status_bits);
    ram_wr8(store->status_page[STATUS_FONT], status);  // read without the lock
}

void c331_manage::read_c331_font(int fd)
{
    store_font_flags(check_fonts(fd));
}

void c331_manage::update_font(int fd)
{
    QMutexLocker lk(&osd_flash_mutex);
    g_font_addr_32ASCII = PS_FONT_ADDR;
    g_font_addr_32CHN = g_font_addr_32ASCII + PS_CHAR_SIZE_32ASCII;
    g_font_addr_64ASCII = g_font_addr_32CHN + PS_CHAR_SIZE_32CHN;
    g_font_addr_64CHN = g_font_addr_64ASCII + PS_CHAR_SIZE_64ASCII;
    const struct {
        uint32_t flash, mem, size;
    } copies[4] = {
        {PS_CHAR_ADDR_32ASCII, g_font_addr_32ASCII, PS_CHAR_SIZE_32ASCII},
        {PS_CHAR_ADDR_32CHN, g_font_addr_32CHN, PS_CHAR_SIZE_32CHN},
        {PS_CHAR_ADDR_64ASCII, g_font_addr_64ASCII, PS_CHAR_SIZE_64ASCII},
        {PS_CHAR_ADDR_64CHN, g_font_addr_64CHN, PS_CHAR_SIZE_64CHN},
    };
    for (const auto& c : copies)
        if (!osd_write_dma_sfl(fd, c.flash, c.mem, 0, c.size))
            return;   // the controller is stuck: the later copies would only wait as long
}

// Remote register 14 bit 3, on the remote handler's thread. Before the scaler runs, the
// bring-up loads the fonts anyway.
void c331_manage::reload_fonts()
{
    if (thread_state != kStateRunning)
        return;
    // Each step holds osd_flash_mutex for its own sequence; c331_lock is taken only after
    // that is released (the scaler thread takes them in the other order).
    const uint32_t flags = check_fonts(c331_fd);
    update_font(c331_fd);
    QMutexLocker lk(&c331_lock);
    store_font_flags(flags);
    // The text shown was drawn from the old font memory: drawn again from the new one.
    osd_full_update_req = 1;
    c331_wake();
}

void c331_manage::tlxApi_debug_printf_unicode(int code, int fd)
{
    SCALER_DBG("unicode:%x\n", code);
    uint32_t addr;
    if (code >= 0x20 && code <= 0x7F) {
        addr = PS_CHAR_ADDR_32ASCII + uint32_t(code - 32) * 128;
    } else if (code >= 0x4E00 && code <= 0x9FFF) {
        addr = PS_CHAR_ADDR_32CHN + uint32_t(code - 0x4E00) * 128;
    } else {
        SCALER_DBG("\t unicode:%x OOR, rang:%x - %x, return;\n", code, 0x4E00, 0x9FFF);
        return;
    }
    uint8_t glyph[128];
    if (read_flash(fd, addr, sizeof glyph, glyph) != 0)
        return;
    for (int row = 0; row < 32; ++row) {
        char text[33];
        for (int x = 0; x < 32; ++x)
            text[x] = (glyph[4 * row + x / 8] >> (x % 8)) & 1 ? 'O' : ' ';
        text[32] = 0;
        SCALER_DBG("%s\n", text);
    }
}
