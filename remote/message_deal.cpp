#include "remote/message_deal.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <utility>

#include "core/TlxRamPara.h"
#include "core/c331_shared.h"
#include "core/fpga_wake.h"
#include "core/log.h"
#include "core/pending_writes.h"
#include "core/protocol_phy.h"
#include "core/utils.h"
#include "platform/board.h"
#include "platform/thread_name.h"
#include "remote/file_transfer.h"
#include "remote/fpga_commands.h"
#include "remote/net_settings.h"
#include "remote/remote_hooks.h"
#include "remote/thread_start.h"
#include "video_io/fpga_manage.h"

using namespace remote;

namespace {

// Register numbers with actions of their own.
constexpr u8 REG_HOTPLUG0 = 0;
constexpr u8 REG_APPLY = 11;
constexpr u8 REG_SYSTEM = 14;
constexpr u8 REG_UPDATE = 17;
constexpr u8 REG_HOTPLUG1 = 160;
constexpr u8 REG_DEBUG_PRINT = 161;
constexpr u8 REG_SCALER_DBG0 = 162;
constexpr u8 REG_SCALER_DBG1 = 163;
constexpr u8 REG_SCALER_DBG2 = 164;

// Register 11 mask bits.
constexpr u8 APPLY_PARAMS = 0x02;
constexpr u8 APPLY_MODES = 0x04;
constexpr u8 APPLY_OSD = 0x08;
// Register 14 mask bits.
constexpr u8 SYS_REBOOT_NOW = 0x01;
constexpr u8 SYS_REBOOT_REQUEST = 0x02;
constexpr u8 SYS_RELOAD_FONTS = 0x08;
// Register 161 bit.
constexpr u8 DBG_PRINT = 0x02;

// RAM address space of the protocol.
constexpr u32 RAM_SLOTS_BASE = 0x1000;
constexpr u32 RAM_SLOTS_END = 0x11000;

TlxRamPara* store() { return TlxRamPara::published(); }  // the UDP thread starts before the store

// The applied parameters no longer show the recalled user mode when the tool changed the
// mode's part of the image without writing the current-mode word itself. Only the tool's own
// write of the word counts: the device's own setting of it (a save, a recall) since the last
// apply does not keep the mark over the tool's change.
void settle_current_mode_locked(TlxRamPara* s)
{
    const u8* img = s->ram_image;
    const u8* applied = s->ram_applied;
    const bool mode_word_written = s->take_remote_mode_word_written();
    const bool mode_area_changed =
        std::memcmp(img + RAM_MODE_BASE, applied + RAM_MODE_BASE, RAM_MODE_LEN) != 0;
    if (!mode_word_written && mode_area_changed)
        ram_wr16(s->ram_image, ram_current_mode, 0);  // one word: the panel reads it without the lock
}

// Why a RAM write at `addr` that the store refused was out of range (the store's own bounds).
const char* ram_write_refusal(u32 addr)
{
    if (addr < RAM_SLOTS_BASE)
        return "past the end of the parameter image (0x000..0xFFF)";
    if (addr >= RAM_SLOTS_END)
        return "past the mode slots (0x1000..0x10FFF)";
    return "past the end of its mode slot (4098 bytes)";
}

// One line per refused RAM write; a peer's flood of them is held back by the log's rate limit.
void log_ram_write_refused(u32 addr, u32 len, const char* why)
{
    char line[128];
    std::snprintf(line, sizeof line, "remote: RAM write of %u bytes at 0x%X refused: %s", unsigned(len), unsigned(addr), why);
    writeLogMsg(LOG_WARNING, line);
}

using Handler = u32 (message_deal::*)(const u8* data, u32 dlen, u8* out);

struct Command {
    u8 cmd;
    Handler handler;
};

const Command kCommands[] = {
    {CMD_RAM_WRITE, &message_deal::write_ram},
    {CMD_RAM_READ, &message_deal::read_ram},
    {CMD_REG_WRITE, &message_deal::write_register},
    {CMD_REG_READ, &message_deal::read_register},
    {CMD_FILE_WRITE_START, &message_deal::write_file_start},
    {CMD_FILE_WRITE_BLOCK, &message_deal::write_file_block},
    {CMD_FILE_WRITE_END, &message_deal::write_file_end},
    {CMD_FILE_READ_START, &message_deal::read_file_start},
    {CMD_FILE_READ_BLOCK, &message_deal::read_file_block},
    {CMD_FILE_READ_END, &message_deal::read_file_end},
    {CMD_DEVICE_INFO, &message_deal::device_info},
    {CMD_NET_SETTINGS, &message_deal::net_settings},
    {CMD_FLASH_READ, &message_deal::flash_read},
    {CMD_FLASH_WRITE, &message_deal::flash_write},
    {CMD_FLASH_ERASE, &message_deal::flash_erase},
    {CMD_SAVE_LED_PAGE, &message_deal::save_led_page},
};

Handler find_handler(u8 cmd)
{
    for (const Command& c : kCommands)
        if (c.cmd == cmd)
            return c.handler;
    return nullptr;
}

// One restart under way at a time: a peer repeating the request while the restart waits
// for the writes under way would otherwise start a thread per frame. A restart whose
// command returned (it failed) lets the next request try again.
std::atomic<bool> g_reboot_under_way{false};
std::atomic<void (*)()> g_restart_start{nullptr};

void reboot_after_100ms()
{
    if (void (*start)() = g_restart_start.load()) {
        start();
        return;
    }
    if (g_reboot_under_way.exchange(true))
        return;
    const bool started = start_thread("message_deal", "reboot", [] {
        platform::name_this_thread("reboot");
        platform::sleep_ms(100);
        pending_writes::finish();
        Utils::system_mutex(QStringLiteral("reboot"), nullptr);
        g_reboot_under_way = false;
    });
    if (!started)  // logged by start_thread; the next request tries again
        g_reboot_under_way = false;
}

bool to_processor(u16 dst) { return dst == kAddrProcessor0 || dst == kAddrProcessor1; }

}  // namespace

u32 message_deal::message_group_deal(const u8* frame, u32 length, u8* reply, uint64_t peer)
{
    // Nothing of an earlier request (another requester's, on a server serving several in turns)
    // is left for this one, whatever it is.
    peer_ = peer;
    part_done_ = 0;
    if (length < kMinFrame || length > kMaxFrame)
        return 0;
    const u16 dst = get_u16(frame + FRAME_DST);
    const bool to_fpga = dst == kAddrFpga0 || dst == kAddrFpga1;
    if (!to_processor(dst) && !to_fpga) {
        writeLogMsg(LOG_DEBUG, "remote: frame for 0x" + QString::number(dst, 16).toStdString() +
                                   " not served, dropped");
        return 0;
    }
    const u8* data = frame + kHeaderLen;
    const u32 dlen = length - kHeaderLen - 1;
    u8* out = reply + kHeaderLen;
    const Handler handler = find_handler(frame[FRAME_CMD]);
    const u32 n = to_fpga  ? fpga_command(dst, frame[FRAME_CMD], data, dlen, out)
                  : handler ? (this->*handler)(data, dlen, out)
                            : status_only(out, ST_UNKNOWN);
    if (part_done_)
        return 0;
    std::memcpy(reply, frame, kHeaderLen);
    protocol_phy::swap_phy_head(reply);
    const u32 total = kHeaderLen + n;
    reply[total] = Utils::BCC(reply, total);
    return total + 1;
}

// Only the erase that stopped is carried on, and only as the erase it announced.
bool message_deal::take_rest(u8* frame, u32 length)
{
    const u16 done = std::exchange(part_done_, 0);
    if (!done)
        return false;
    if (length >= kMinFrame && to_processor(get_u16(frame + FRAME_DST)) && frame[FRAME_CMD] == CMD_FLASH_ERASE &&
        flash_erase_rest(frame + kHeaderLen, length - kHeaderLen - 1, done))
        return true;
    writeLogMsg(LOG_ERROR, "remote: the rest of an erase does not fit its request, not carried on");
    return false;
}

// ---- RAM --------------------------------------------------------------------------------

u32 message_deal::write_ram(const u8* data, u32 dlen, u8* out)
{
    if (dlen < 8)
        return status_only(out, ST_REFUSED);
    const u32 addr = get_u32(data);
    const u16 len = get_u16(data + 4);
    if (dlen - 8 < len) {  // the frame must carry the bytes it announces
        log_ram_write_refused(addr, len, "the frame carries fewer bytes");
        return status_only(out, ST_REFUSED);
    }
    TlxRamPara* s = store();
    int rc = 1;
    if (s && addr < RAM_SLOTS_BASE)
        rc = s->TlxRamParaDeal(data + 8, len, addr);
    else if (s && addr < RAM_SLOTS_END)
        rc = s->TlxModeUserRamParaDeal(data + 8, len, addr);
    if (rc != 0)
        log_ram_write_refused(addr, len, s ? ram_write_refusal(addr) : "the parameter store is not up yet");
    out[0] = rc == 0 ? ST_DONE : ST_REFUSED;
    put_u32(out + 1, addr);
    put_u16(out + 5, len);
    return 7;
}

u32 message_deal::read_ram(const u8* data, u32 dlen, u8* out)
{
    if (dlen < 6)
        return status_only(out, ST_REFUSED);
    const auto [addr, len] = echo_addr_len(data, out);
    TlxRamPara* s = store();
    const u8* src = nullptr;
    if (s && len >= 1 && len <= kMaxRamBlock) {
        if (addr < RAM_SLOTS_BASE) {
            if (addr + len <= RAM_IMAGE_SIZE)
                src = s->ram_image + addr;
        } else if (addr < RAM_SLOTS_END) {
            // Same slot addressing as the write: slot n (1..16) from bits 12..19.
            const u32 n = (addr >> 12) & 0xFF;
            const u32 off = addr - n * 0x1000;
            if (n >= 1 && n <= MODE_SLOTS && off + len <= u32(MODE_SLOT_SIZE))
                src = s->mode_slot[n - 1].bytes + off;
        }
    }
    if (!src) {
        out[0] = ST_REFUSED;
        return 7;
    }
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        std::memcpy(out + 7, src, len);
    }
    out[0] = ST_DONE;
    return 7 + len;
}

// ---- registers ----------------------------------------------------------------------------

u32 message_deal::write_register(const u8* data, u32 dlen, u8* out)
{
    if (dlen < 3)
        return status_only(out, ST_REFUSED);
    const u8 reg = data[0], value = data[1], mask = data[2];
    TlxRamPara* s = store();
    u8* cell = s ? s->reg_byte(reg) : nullptr;
    out[1] = reg;
    if (!cell || reg >= kRegisterCount) {
        out[0] = ST_REFUSED;
        out[2] = 0;
        return 3;
    }
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        u8 v;
        switch (reg) {
        case REG_HOTPLUG1:
        case REG_SCALER_DBG0:
        case REG_SCALER_DBG2: v = value & mask; break;
        case REG_SCALER_DBG1: v = u8(value + 1); break;
        case REG_HOTPLUG0:  // the first hot-plug command byte merges under the mask as the others
        default: v = u8((value & mask) | (*cell & ~mask)); break;
        }
        ram_wr8(*cell, v);  // status bytes are read without the lock by the input supervision
        if (reg >= REG_SCALER_DBG0 && reg <= REG_SCALER_DBG2)
            c331_raise_change_locked(1);  // the apply pass consumes the debug register
        out[2] = *cell;
    }
    register_actions(reg, value, mask);
    out[0] = ST_DONE;
    return 3;
}

void message_deal::register_actions(u8 reg, u8 value, u8 mask)
{
    TlxRamPara* s = store();
    switch (reg) {
    case REG_APPLY:
        if (mask & APPLY_PARAMS) {
            QMutexLocker lk(&c331_shared::c331_lock);
            settle_current_mode_locked(s);
            c331_raise_change_locked(1);
            request_handover_on_new_size_locked(s);
        }
        if (mask & APPLY_MODES) {
            QMutexLocker lk(&c331_shared::c331_lock);
            // A save request applied earlier is carried out before these slot writes; one
            // applied together with them comes first and overwrites them.
            if (!(mask & APPLY_PARAMS))
                s->note_remote_slots_applied_locked();
            c331_raise_change_locked(2);
            request_handover_on_new_size_locked(s);
        }
        if (mask & APPLY_OSD) {
            QMutexLocker lk(&c331_shared::c331_lock);
            c331_raise_change_locked(1);
            request_handover_on_new_size_locked(s);
            if (get_u16(s->ram_image + ram_osd_enable) == 1)
                hook_osd_update();
        }
        break;
    case REG_SYSTEM:
        if (mask & SYS_REBOOT_NOW) {
            writeLogMsg(LOG_WARNING, "remote: reboot requested (register 14 bit 0)");
            reboot_after_100ms();
        }
        if (mask & SYS_REBOOT_REQUEST) {
            G_reboot_tickTicks = request_tick();
            g_app_reset_flag = 1;
        }
        if (mask & SYS_RELOAD_FONTS)
            run_hook(Hook::ReloadFonts);
        break;
    case REG_UPDATE:
        RegUpdate11(mask);
        break;
    case REG_DEBUG_PRINT:
        if (value & mask & DBG_PRINT)
            hook_c331_print();
        break;
    default:
        break;  // registers 0 and 160 are served by the input supervision
    }
}

void message_deal::set_restart_start(void (*start)()) { g_restart_start = start; }

bool message_deal::register_write_reaches_chip(const u8* data, u32 dlen)
{
    if (dlen < 3)
        return false;
    const u8 reg = data[0], value = data[1], mask = data[2];
    return (reg == REG_SYSTEM && (mask & SYS_RELOAD_FONTS)) || (reg == REG_DEBUG_PRINT && (value & mask & DBG_PRINT));
}

int message_deal::RegUpdate11(u8 mask)
{
    if (mask & 0x01)
        run_hook(Hook::SdiReset);
    return 0;
}

u32 message_deal::read_register(const u8* data, u32 dlen, u8* out)
{
    TlxRamPara* s = store();
    // Without the store every run is refused.
    return register_read_reply(data, dlen, out, s ? kRegisterCount : 0, [s](u32 first, u32 count, u8* values) {
        QMutexLocker lk(&c331_shared::c331_lock);  // the registers are written under it
        for (u32 i = 0; i < count; ++i)
            values[i] = *s->reg_byte(int(first + i));
    });
}

// ---- files, device, network -----------------------------------------------------------------

u32 message_deal::write_file_start(const u8* d, u32 n, u8* o) { return file_write_start(owner(), d, n, o); }
u32 message_deal::write_file_block(const u8* d, u32 n, u8* o) { return file_write_block(owner(), d, n, o); }
u32 message_deal::write_file_end(const u8* d, u32 n, u8* o) { return file_write_end(owner(), d, n, o); }
u32 message_deal::read_file_start(const u8* d, u32 n, u8* o) { return file_read_start(owner(), d, n, o); }
u32 message_deal::read_file_block(const u8* d, u32 n, u8* o) { return file_read_block(owner(), d, n, o); }
u32 message_deal::read_file_end(const u8* d, u32 n, u8* o) { return file_read_end(owner(), d, n, o); }
u32 message_deal::device_info(const u8*, u32, u8* out) { return build_device_info(out); }
u32 message_deal::net_settings(const u8* d, u32 n, u8* out) { return apply_net_settings(d, n, out); }
u32 message_deal::flash_read(const u8* d, u32 n, u8* out) { return remote::flash_read(d, n, out); }
u32 message_deal::flash_write(const u8* d, u32 n, u8* out) { return remote::flash_write(d, n, out); }
u32 message_deal::flash_erase(const u8* d, u32 n, u8* out) { return remote::flash_erase(d, n, out, &part_done_); }
u32 message_deal::save_led_page(const u8* d, u32 n, u8* out) { return remote::save_led_page(d, n, out); }
