// Brightness of the LED screen (manual, by half-hour table, automatic from the VMF module),
// its flash record, and the command page run by register 2 bit 2.
#include <cstring>

#include "core/fpga_wake.h"
#include "core/log.h"
#include "core/utils.h"
#include "video_io/fpga_drv.h"
#include "video_io/fpga_frames.h"
#include "video_io/fpga_manage.h"

using namespace fpga;
namespace ff = fpga_frames;

namespace {

constexpr u32 kTaskTicks = 1000;
constexpr u32 kBrightRecordLen = 57;
constexpr u32 kOnOffRecordLen = 50;
constexpr int kManualApplications = 5;
constexpr u32 kSensorFaultLimit = 10;
constexpr u8 kModeManual = 0, kModeHalfHour = 1, kModeAuto = 2, kModeRaw = 16;

// Reads the first `len` bytes of the command-page record of `sector` into `rec` and puts them
// into the command page; false (the page untouched) when the flash cannot be read.
bool load_cmd_record(fpga_drv* drv, uint32_t sector, u8* rec, u32 len)
{
    if (!drv->FPGA_SPI_FLASH_VBYONE_READ(kFlashChip0, sector * kFlashSector, len, rec))
        return false;
    fpga_manage::page_copy_in(fpga_manage::MCU_RAM_CMD, 0, rec, len);
    return true;
}

}  // namespace

int fpga_manage::Brightness_hand_dealwith(unsigned char)
{
    apply_brightness(brightness_mode);
    return 1;
}

// Register 64 onto the cards: taken as it is in the raw mode, else as a step of 16.
void fpga_manage::apply_brightness(u8 mode)
{
    if ((u32(reg(REG_LINK_B)) << 8 | reg(REG_LINK_A)) == 0)
        return;
    MCU_RAM_PARA_func[0][PARA_BRIGHT_DONE] = 1;
    const u8 v = reg(REG_BRIGHT_VALUE);
    const u8 value = mode == kModeRaw ? v : u8(v * 16 - 1);
    write_to_register(REG_BRIGHTNESS, 0xFF, value, 0);
    set_bits(REG_CONTROL3, BIT(2));
}

void fpga_manage::count_bad_checksum(u8 chip)
{
    write_to_register(REG_BAD_BCC, 0xFF, u8(reg(REG_BAD_BCC, chip) + 1), chip);
}

// ---- record ---------------------------------------------------------------------------------------------

void fpga_manage::load_brightness_record()
{
    if (!running_state(0))
        return;
    g_change.bright_enable = 0;
    g_change.bright_applied = 0;
    if (flash_byte(FLASH_BRIGHT_SECTOR * kFlashSector) != kRecordValid) {
        g_change.bright_value = 16;
        return;
    }
    u8 rec[kBrightRecordLen];
    if (!load_cmd_record(drv, FLASH_BRIGHT_SECTOR, rec, sizeof rec))
        return;
    brightness_mode = rec[8];
    brightness_slot = 255;
    switch (rec[8]) {
    case kModeManual:
    case kModeRaw:
        set_local(REG_BRIGHT_VALUE, rec[9]);
        g_change.bright_enable = 1;
        break;
    case kModeHalfHour:
        std::memcpy(HalfHourValue, rec + 9, sizeof HalfHourValue);
        g_change.bright_enable = 1;
        break;
    case kModeAuto:
        g_change.bright_enable = 1;
        break;
    default:
        g_change.bright_value = 16;
        break;
    }
}

// ---- task -------------------------------------------------------------------------------------------------

// The record load and the manual and half-hour applications hold brightness_mutex, so a
// remote command's mode and value are never mixed with the task's.
void fpga_manage::brightness_task()
{
    std::unique_lock<std::mutex> lk(brightness_mutex);
    if (g_change.bright_reload.exchange(0)) {
        load_brightness_record();
    } else if (Utils::getTimeSpace(g_change.bright_time) < kTaskTicks) {
        return;
    }
    g_change.bright_time = G_timeTicks.load();
    if (!g_change.bright_enable)
        return;
    switch (brightness_mode) {
    case kModeManual:
    case kModeRaw:
        if (g_change.bright_applied < kManualApplications) {
            Brightness_hand_dealwith(0);
            ++g_change.bright_applied;
        }
        break;
    case kModeHalfHour: brightness_half_hour(); break;
    case kModeAuto:
        lk.unlock();  // the VMF exchange takes frame_mutex
        brightness_auto();
        break;
    default: break;
    }
}

void fpga_manage::brightness_half_hour()
{
    TimeRealType t;
    {
        std::lock_guard<std::mutex> lk(time_mutex);
        t = time_record;
    }
    int slot = (t.hour * 60 + t.minute) / 30;
    slot = slot < 0 ? 0 : slot > 47 ? 47 : slot;  // a bad time never indexes past the table
    if (slot != brightness_slot || g_change.bright_reapply.exchange(0)) {
        set_local(REG_BRIGHT_VALUE, HalfHourValue[slot]);
        Brightness_hand_dealwith(0);
        brightness_slot = u8(slot);
        Brightness_hand_dealwith(0);
        slot_applied = 0;
    } else if (slot_applied == 0) {
        Brightness_hand_dealwith(0);
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

// Stores the command page's first (length + 8) bytes as the record of `sector`. A length that
// reaches past the page (it comes from the network) is refused before anything is erased.
static bool store_cmd_record(fpga_drv* drv, uint32_t sector, bool write)
{
    const u32 n = u32(fpga_manage::page_rd16(fpga_manage::MCU_RAM_CMD, CMD_LENGTH)) + CMD_DATA;
    if (write && n > kCmdDataMax) {
        writeLogMsg(LOG_WARNING, "fpga: command page record of " + std::to_string(n) + " bytes refused");
        return false;
    }
    bool done;
    if (!write) {
        done = drv->FPGA_SPI_FLASH_VBYONE_ERASE(kFlashChip0, sector, 0, 1) == 1;
    } else {
        u8 buf[kPageSize];
        fpga_manage::page_copy_out(fpga_manage::MCU_RAM_CMD, 0, buf, n);
        done = drv->store_marked_record(kFlashChip0, sector, buf, n) == 1;  // byte 0 is the 0xAA mark
    }
    if (!done)
        writeLogMsg(LOG_WARNING, std::string("fpga: command page record ") + (write ? "store" : "erase") +
                                     " failed at sector " + std::to_string(sector));
    return done;
}

void fpga_manage::Dealwith_mcu_ram()
{
    if (MCU_RAM_CMD[CMD_PRESENT] != kRecordValid)
        return;
    switch (MCU_RAM_CMD[CMD_CODE].load()) {
    case CMD_SET_CLOCK: run_clock_command(); break;
    case CMD_ONOFF: run_onoff_command(); break;
    case CMD_BRIGHTNESS: run_brightness_command(); break;
    default: writeLogMsg(LOG_DEBUG, "fpga: unknown command page code"); break;
    }
    fpga_wake();  // a brightness reload is served on the next pass
}

void fpga_manage::run_brightness_command()
{
    const u8 store = MCU_RAM_CMD[CMD_STORE];
    const u8 mode = MCU_RAM_CMD[CMD_DATA];
    const u8 m = mode & u8(~kModeRaw);
    if (m == 0) {
        // The newest command rules until the next one: its mode and value become those the task
        // applies again, and a reload asked by an earlier stored command is dropped.
        {
            std::lock_guard<std::mutex> lk(brightness_mutex);
            brightness_mode = mode;
            g_change.bright_reload = 0;
            set_local(REG_BRIGHT_VALUE, MCU_RAM_CMD[CMD_DATA + 1]);
            apply_brightness(mode);
        }
        if (store == kRecordValid && store_cmd_record(drv, FLASH_BRIGHT_SECTOR, true))
            g_change.bright_reload = 1;
    } else if (store == kRecordValid || store == kRecordErase) {
        if (store_cmd_record(drv, FLASH_BRIGHT_SECTOR, store == kRecordValid))
            g_change.bright_reload = 1;
    }
    g_change.sensor_faults = 0;
}

void fpga_manage::run_onoff_command()
{
    const u8 store = MCU_RAM_CMD[CMD_STORE];
    if (store == kRecordValid) {
        if (store_cmd_record(drv, FLASH_ONOFF_SECTOR, true))
            set_local(REG_ONOFF_STORED, 1);
    } else if (store == kRecordErase) {
        if (store_cmd_record(drv, FLASH_ONOFF_SECTOR, false))
            set_local(REG_ONOFF_STORED, 0);  // a failed erase leaves the record stored
    }
}

void fpga_manage::run_clock_command()
{
    u8 bcd[7];
    page_copy_out(MCU_RAM_CMD, CMD_DATA, bcd, sizeof bcd);
    const QString cmd = ff::clock_command(bcd);
    if (Utils::system_mutex(cmd) != 0)
        writeLogMsg(LOG_WARNING, "fpga: clock command failed: " + cmd.toStdString());
}

void fpga_manage::load_onoff_record()
{
    if (flash_byte(FLASH_ONOFF_SECTOR * kFlashSector) != kRecordValid)
        return;
    u8 rec[kOnOffRecordLen];
    if (!load_cmd_record(drv, FLASH_ONOFF_SECTOR, rec, sizeof rec))
        return;
    set_local(REG_ONOFF_STORED, 1);
}
