// Brightness of the LED screen (manual, by half-hour table, automatic from the VMF module),
// its flash record, and the command page run by register 2 bit 2.
#include <algorithm>
#include <cstring>

#include "core/fpga_wake.h"
#include "core/log.h"
#include "core/utils.h"
#include "video_io/fpga_drv.h"
#include "video_io/fpga_frames.h"
#include "video_io/fpga_manage.h"
#include "video_io/fpga_page_record.h"

using namespace fpga;
namespace ff = fpga_frames;

namespace {

constexpr u32 kTaskTicks = 1000;
constexpr u32 kBrightRecordLen = 57;
constexpr u32 kOnOffRecordLen = 50;
constexpr int kManualApplications = 5;
constexpr u32 kSensorFaultLimit = 10;
constexpr u8 kModeManual = 0, kModeHalfHour = 1, kModeAuto = 2, kModeRaw = 16;

// The data length of a command or of its record, little-endian.
u32 cmd_length(const u8* cmd) { return u32(cmd[CMD_LENGTH]) | u32(cmd[CMD_LENGTH + 1]) << 8; }

// Reads the first `len` bytes of the command-page record kept in `copies` into `rec` and, with
// `into_page`, puts them into the command page; false (the page untouched) when no copy is whole.
bool load_cmd_record(fpga_manage* f, const RecordCopies& copies, u8* rec, u32 len, bool into_page)
{
    if (!load_record(*f->drv, copies, rec, len))
        return false;
    if (into_page)
        f->fill_command_page(0, rec, len);
    return true;
}

// A brightness value (register 64) the cards can take in `mode`: any byte in the raw mode,
// else a step of 1 to 16 (the cards take 16 steps: 0 would wrap to the brightest).
bool brightness_value_ok(u8 mode, u8 v)
{
    return mode == kModeRaw || (v >= 1 && v <= 16);
}

// Brightness data (the mode first) the task can run: a known mode, a manual value the cards
// take, and for the half-hour mode its table of 48 such values.
bool brightness_data_ok(const u8* data, u32 len)
{
    if (len < 1)
        return false;
    switch (data[0]) {
    case kModeManual:
    case kModeRaw: return len >= 2 && brightness_value_ok(data[0], data[1]);
    case kModeAuto: return true;
    case kModeHalfHour:
        if (len < 1 + 48)
            return false;
        for (u32 i = 1; i <= 48; ++i)
            if (!brightness_value_ok(kModeHalfHour, data[i]))
                return false;
        return true;
    default: return false;
    }
}

}  // namespace

// 1 when the brightness reached a port with a link, else 0.
int fpga_manage::Brightness_hand_dealwith(unsigned char)
{
    return apply_brightness(brightness_mode) ? 1 : 0;
}

// Register 64 onto the cards: taken as it is in the raw mode, else as a step of 16. False when
// no port has a link: nothing reached a card.
bool fpga_manage::apply_brightness(u8 mode)
{
    if ((u32(reg(REG_LINK_B)) << 8 | reg(REG_LINK_A)) == 0)
        return false;
    MCU_RAM_PARA_func[0][PARA_BRIGHT_DONE] = 1;
    const u8 v = reg(REG_BRIGHT_VALUE);
    const u8 value = mode == kModeRaw ? v : u8(v * 16 - 1);
    write_to_register(REG_BRIGHTNESS, 0xFF, value, 0);
    set_bits(REG_CONTROL3, BIT(2));
    return true;
}

void fpga_manage::count_bad_checksum(u8 chip)
{
    write_to_register(REG_BAD_BCC, 0xFF, u8(reg(REG_BAD_BCC, chip) + 1), chip);
}

// ---- record ---------------------------------------------------------------------------------------------

// Under brightness_mutex.
void fpga_manage::load_brightness_record(bool into_page)
{
    if (!running_state(0))
        return;
    g_change.bright_applied = 0;
    if (brightness_commanded) {
        // A manual command given since the record was kept is newer: it stays in use (its
        // mode and register 64) and the task applies it again.
        g_change.bright_enable = 1;
        return;
    }
    g_change.bright_enable = 0;
    u8 rec[kBrightRecordLen];
    if (!load_cmd_record(this, kBrightRecord, rec, sizeof rec, into_page)) {
        no_brightness_record();
        return;
    }
    // Checked as the command that stored it was: a length too short for its mode is no record.
    if (!brightness_data_ok(rec + CMD_DATA, std::min<u32>(cmd_length(rec), sizeof rec - CMD_DATA))) {
        writeLogMsg(LOG_WARNING, "fpga: brightness record with a mode or value out of range ignored");
        no_brightness_record();
        return;
    }
    brightness_mode = rec[8];
    brightness_slot = 255;
    g_change.bright_enable = 1;
    switch (rec[8]) {
    case kModeHalfHour: std::memcpy(HalfHourValue, rec + 9, sizeof HalfHourValue); break;
    case kModeAuto: set_local(REG_BRIGHT_VALUE, u8(g_change.bright_value)); break;  // where its steps start
    default: set_local(REG_BRIGHT_VALUE, rec[9]); break;                            // manual or raw
    }
}

// Without a usable record no task runs (the cards keep what they show) and the brightness in
// use is the brightest step, 16: register 64 says so, never 0, which is no step.
void fpga_manage::no_brightness_record()
{
    g_change.bright_value = 16;
    set_local(REG_BRIGHT_VALUE, 16);
}

bool fpga_manage::write_brightness_value(u8 mask, u8 value)
{
    std::lock_guard<std::mutex> lk(brightness_mutex);
    const u8 v = u8((reg(REG_BRIGHT_VALUE) & ~mask) | (value & mask));
    if (!brightness_value_ok(brightness_mode, v))
        return false;
    // The brightness in use, as a manual command's: on the cards now, and the newest.
    ++brightness_gen;
    use_brightness(brightness_mode, v);
    return true;
}

// Under brightness_mutex. `value` (register 64) in `mode` becomes the brightness in use: applied
// now, by the task again (and when a port gains its link), kept over a reload at a bring-up, and
// a reload asked by an earlier stored command is dropped.
void fpga_manage::use_brightness(u8 mode, u8 value)
{
    brightness_mode = mode;
    g_change.bright_reload = 0;
    set_local(REG_BRIGHT_VALUE, value);
    g_change.bright_applied = apply_brightness(mode) ? 1 : 0;
    g_change.bright_enable = 1;
    brightness_commanded = true;
}

// ---- task -------------------------------------------------------------------------------------------------

// The record load and the manual and half-hour applications hold brightness_mutex, so a
// remote command's mode and value are never mixed with the task's.
void fpga_manage::brightness_task()
{
    std::unique_lock<std::mutex> lk(brightness_mutex);
    // A port that gained its link gets the brightness in use now, not at the next task time.
    const bool relinked = g_change.bright_reapply.exchange(0) != 0;
    if (g_change.bright_reload.exchange(0)) {
        // Not into the command page: the tool whose store asked for the reload, or another,
        // may have written its next command there already, which the record would replace
        // before the tool runs it.
        load_brightness_record(false);
    } else if (!relinked && Utils::getTimeSpace(g_change.bright_time) < kTaskTicks) {
        return;
    }
    g_change.bright_time = G_timeTicks.load();
    if (!g_change.bright_enable)
        return;
    switch (brightness_mode) {
    case kModeManual:
    case kModeRaw:
        if (relinked)
            g_change.bright_applied = 0;
        // Only an application that reached a card counts: a wall connected late still gets it.
        if (g_change.bright_applied < kManualApplications && Brightness_hand_dealwith(0))
            ++g_change.bright_applied;
        break;
    case kModeHalfHour: brightness_half_hour(relinked); break;
    case kModeAuto:
        lk.unlock();  // the VMF exchange takes frame_mutex
        brightness_auto();
        break;
    default: break;
    }
}

void fpga_manage::brightness_half_hour(bool relinked)
{
    TimeRealType t;
    {
        std::lock_guard<std::mutex> lk(time_mutex);
        t = time_record;
    }
    int slot = (t.hour * 60 + t.minute) / 30;
    slot = slot < 0 ? 0 : slot > 47 ? 47 : slot;  // a bad time never indexes past the table
    if (slot != brightness_slot || relinked) {
        set_local(REG_BRIGHT_VALUE, HalfHourValue[slot]);
        Brightness_hand_dealwith(0);
        brightness_slot = u8(slot);
        Brightness_hand_dealwith(0);
        slot_applied = 0;
    } else if (slot_applied == 0 && Brightness_hand_dealwith(0)) {
        slot_applied = 1;
    }
}

void fpga_manage::brightness_auto()
{
    if (!vmf_find())
        return;
    u8 frame[ff::kVmfReadLen];
    ff::vmf_data_frame(u16(g_change.vmf_addr), frame);
    const u8 port = u8((g_change.vmf_group - 1) * 4 + vmf_port % 4);
    u8 reading = 0, wanted = 0;
    bool good = false;
    if (vmf_exchange(frame, ff::kVmfReadLen, port, 0)) {
        std::lock_guard<std::mutex> lk(frame_mutex);
        const bool bcc = ff::bcc_ok(vmf_answer_frame, vmf_answer_len);
        if (!bcc)
            count_bad_checksum(0);
        good = bcc && vmf_answer_cmd == ff::kCmdVmfRead && vmf_answer_len >= ff::kMinVmfDataAnswer &&
               vmf_answer_frame[10] == 0;
        reading = vmf_answer_frame[60];
        wanted = vmf_answer_frame[63];
    }
    if (!good) {
        if (++g_change.sensor_faults >= kSensorFaultLimit) {
            g_change.bright_value = 16;
            set_local(REG_BRIGHT_VALUE, 16, 0);
            set_local(REG_BRIGHT_VALUE, 16, 1);
            g_change.sensor_faults = 0;
        }
    } else if (reading == 0xFF) {
        int v = int(g_change.bright_value);
        v += wanted > v ? 1 : wanted < v ? -1 : 0;
        v = v < 1 ? 1 : v > 16 ? 16 : v;
        g_change.bright_value = u32(v);
        set_local(REG_BRIGHT_VALUE, u8(v));
    }
    Brightness_hand_dealwith(0);
}

// ---- command page ----------------------------------------------------------------------------------------

// Stores the command's first (length + 8) bytes (`cmd`, the command page as the command found
// it) as the record kept in `copies`, or erases the record. A length that reaches past the
// page (it comes from the network) is refused before anything is erased.
static bool store_cmd_record(fpga_drv* drv, const RecordCopies& copies, const u8* cmd, bool write)
{
    const u32 n = cmd_length(cmd) + CMD_DATA;
    if (write && n > kCmdDataMax) {
        writeLogMsg(LOG_WARNING, "fpga: command page record of " + std::to_string(n) + " bytes refused");
        return false;
    }
    const bool done = write ? save_record(*drv, copies, cmd, n, false) == RecordSave::Stored  // byte 0 is the 0xAA mark
                            : erase_record(*drv, copies);
    if (!done)
        writeLogMsg(LOG_WARNING, std::string("fpga: command page record ") + (write ? "store" : "erase") +
                                     " failed at sector " + std::to_string(copies.sector[0]));
    return done;
}

// A command a tool has written waits in the page for its run: a bring-up meanwhile (the first
// after a start, or after an FPGA restart) does not put the stored records over it, so the run
// never carries out, and answers done for, a command the tool did not write.
void fpga_manage::write_command_page(uint32_t addr, const u8* in, uint32_t n)
{
    std::lock_guard<std::mutex> lk(cmd_page_mutex);
    page_copy_in(MCU_RAM_CMD, addr, in, n);
    tool_command_waiting = true;
}

void fpga_manage::fill_command_page(uint32_t addr, const u8* in, uint32_t n)
{
    std::lock_guard<std::mutex> lk(cmd_page_mutex);
    if (!tool_command_waiting)
        page_copy_in(MCU_RAM_CMD, addr, in, n);
}

void fpga_manage::take_command_page(u8* out)
{
    std::lock_guard<std::mutex> lk(cmd_page_mutex);
    page_copy_out(MCU_RAM_CMD, 0, out, kPageSize);
    tool_command_waiting = false;
}

fpga_manage::CommandResult fpga_manage::Dealwith_mcu_ram()
{
    // Read once: another tool may write the page while this command runs (or its store waits).
    u8 cmd[kPageSize];
    take_command_page(cmd);
    if (cmd[CMD_PRESENT] != kRecordValid)
        return CommandResult::Done;
    CommandResult r = CommandResult::Refused;
    switch (cmd[CMD_CODE]) {
    case CMD_SET_CLOCK: r = run_clock_command(cmd); break;
    case CMD_ONOFF: r = run_onoff_command(cmd); break;
    case CMD_BRIGHTNESS: r = run_brightness_command(cmd); break;
    default: writeLogMsg(LOG_DEBUG, "fpga: unknown command page code"); break;
    }
    fpga_wake();  // a brightness reload is served on the next pass
    return r;
}

fpga_manage::CommandResult fpga_manage::run_brightness_command(const u8* cmd)
{
    const u8 store = cmd[CMD_STORE];
    const u8 mode = cmd[CMD_DATA];
    const u8 m = mode & u8(~kModeRaw);
    const bool kept = store == kRecordValid || store == kRecordErase;
    // The data the command puts in use or in the record must make sense to the task: out of
    // range it is refused before anything changes (an erase of another mode uses none).
    if (m == 0 || store == kRecordValid) {
        const u32 len = std::min<u32>(cmd_length(cmd), kCmdDataMax - CMD_DATA);
        if (!brightness_data_ok(cmd + CMD_DATA, len))
            return CommandResult::Refused;
    }
    if (m != 0 && !kept)
        return CommandResult::Refused;  // the half-hour and automatic modes run from the record
    u32 gen;
    {
        std::lock_guard<std::mutex> lk(brightness_mutex);
        gen = ++brightness_gen;
        g_change.sensor_faults = 0;
        if (m == 0)
            use_brightness(mode, cmd[CMD_DATA + 1]);  // the newest command rules until the next one
    }
    if (!kept)
        return CommandResult::Done;
    // The store runs outside the lock: the FPGA thread's task must not wait for a flash.
    const bool done = store_brightness_record(gen, cmd, store == kRecordValid);
    if (!(m == 0 && store == kRecordErase))  // else: the manual value in use, no record kept any more
        brightness_stored(gen, done);
    return done ? CommandResult::Done : CommandResult::Failed;
}

bool fpga_manage::store_brightness_record(u32 gen, const u8* cmd, bool write)
{
    std::lock_guard<std::mutex> lk(bright_store_mutex);
    if (gen < bright_record_gen)
        return true;  // a newer command's store or erase reached the flash: its record stays
    bright_record_gen = gen;
    return store_cmd_record(drv, kBrightRecord, cmd, write);
}

void fpga_manage::brightness_stored(u32 gen, bool done)
{
    std::lock_guard<std::mutex> lk(brightness_mutex);
    if (gen != brightness_gen)
        return;  // a newer command rules, and its own store (if any) reloads the record
    if (done)
        brightness_commanded = false;  // the record now holds what is in use
    // Done: the record in use. Failed: what a start would find (a manual value not kept stays).
    g_change.bright_reload = 1;
}

fpga_manage::CommandResult fpga_manage::run_onoff_command(const u8* cmd)
{
    const u8 store = cmd[CMD_STORE];
    if (store != kRecordValid && store != kRecordErase)
        return CommandResult::Done;
    // Register 66 says "no record" from the store's start, and "stored" once the record is
    // complete. A store or erase that failed part way may have left the record stored before
    // whole, or none: the register then says what a start would find.
    set_local(REG_ONOFF_STORED, 0);
    const bool done = store_cmd_record(drv, kOnOffRecord, cmd, store == kRecordValid);
    set_local(REG_ONOFF_STORED, (done ? store == kRecordValid : record_stored(*drv, kOnOffRecord)) ? 1 : 0);
    return done ? CommandResult::Done : CommandResult::Failed;
}

fpga_manage::CommandResult fpga_manage::run_clock_command(const u8* cmd)
{
    const u8* bcd = cmd + CMD_DATA;
    constexpr u32 kFields = 7;
    // A date the clock cannot take is refused: "date" would fail and the "hwclock" after it
    // succeed, answering done for a clock never set.
    if (cmd_length(cmd) < kFields || !ff::clock_fields_ok(bcd))
        return CommandResult::Refused;
    const QString line = ff::clock_command(bcd);
    if (Utils::system_mutex(line) == 0)
        return CommandResult::Done;
    writeLogMsg(LOG_WARNING, "fpga: clock command failed: " + line.toStdString());
    return CommandResult::Failed;
}

void fpga_manage::load_onoff_record()
{
    u8 rec[kOnOffRecordLen];
    set_local(REG_ONOFF_STORED, load_cmd_record(this, kOnOffRecord, rec, sizeof rec, true) ? 1 : 0);
}
