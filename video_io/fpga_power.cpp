// Power relays of the VMF module (off when the shown input loses its signal for a while, on
// again when it returns), the module's exchange, and the time record of the FPGA thread.
#include <QDateTime>
#include <QStringList>
#include <cstring>

#include "core/TlxRamPara.h"
#include "core/log.h"
#include "core/ram_map.h"
#include "core/utils.h"
#include "platform/clock.h"
#include "video_io/fpga_frames.h"
#include "video_io/fpga_manage.h"

using namespace fpga;
namespace ff = fpga_frames;

namespace {

constexpr u32 kSignalCheckTicks = 101;
constexpr u32 kPowerTaskTicks = 1001;
constexpr u32 kNoSignalTicks = 1000;
constexpr u32 kRelayTicks = 51;
constexpr u32 kTimeRecordTicks = 26;
constexpr uint64_t kAnswerWaitUs = 350000;  // 35 ticks
constexpr u8 kNoVmf = 252;
constexpr int kRelays = 8;

u32 now() { return G_timeTicks.load(); }

constexpr int kPowerWindows = 6;  // windows 0 to 5; window 0 always shows

bool window_shown(const u8* img, int w) { return w == 0 || ram_rd16(img, ram_window_addr(w, WIN_ENABLE)) != 0; }

// Only window 0 shows: the enable words of windows 1 to 5 are all 0.
bool single_window(const u8* img)
{
    for (int w = 1; w < kPowerWindows; ++w)
        if (window_shown(img, w))
            return false;
    return true;
}

// Window w shows a source whose timing record is whole (width, height and refresh).
bool window_has_signal(TlxRamPara* s, int w)
{
    int16_t crop = 0;
    u8 row = 0;
    const u8 src = s->TlxGetImageSource(s->ram_image, u8(w), &crop, &row, 0);
    if (src >= RAM_INPUTS)
        return false;
    const u8* t = s->ram_image + ram_input_timing_addr(src);
    return ram_rd16(t, 0) && ram_rd16(t, 2) && ram_rd16(t, 4);
}

// Some shown window has its signal: with one window, that window's; with several, any of them.
bool shown_signal(TlxRamPara* s)
{
    for (int w = 0; w < kPowerWindows; ++w)
        if (window_shown(s->ram_image, w) && window_has_signal(s, w))
            return true;
    return false;
}

}  // namespace

void fpga_manage::power_init()
{
    power_restart = power_nosig_timing = power_armed = signal_present = power_stop_step = 0;
    relay_index = 1;
    vmf_port = kNoVmf;
    vmf_chip = 0;
}

// ---- the VMF module ----------------------------------------------------------------------------

bool fpga_manage::vmf_find()
{
    const abyte* page = MCU_RAM_PARA_func[0];
    for (int p = 0; p < kPorts; ++p) {
        if (page[PARA_RESULT_BYTE[p]] == 0)
            continue;
        vmf_port = u8(p);
        vmf_chip = 0;
        g_change.vmf_addr = 0x4000u + u32(p % 4) * 0x1000u;
        g_change.vmf_group = u32(p / 4 + 1);
        return true;
    }
    vmf_port = kNoVmf;
    g_change.vmf_addr = 0;
    g_change.vmf_group = 0;
    return false;
}

bool fpga_manage::vmf_exchange(const u8* frame, u32 len, u8 port, u8 chip)
{
    {
        std::lock_guard<std::mutex> lk(frame_mutex);
        vmf_answer_pending = 0;
        Send_to_port(frame, u16(len), port, chip);
    }
    return platform::poll_until([&] {
        std::lock_guard<std::mutex> lk(frame_mutex);
        reg_IRQ_Dealwith(chip, 0);
        return bool(vmf_answer_pending);
    }, kAnswerWaitUs, 1000);
}

// ---- power control ------------------------------------------------------------------------------------

// Switches the relays off only while a single window shows and its input has lost its signal
// for a while; switches them on again whenever they are off (or going off) and a shown
// window has its signal, whatever the number of windows: a second window put up after a
// signal loss must not leave the wall dark.
void fpga_manage::power_control()
{
    TlxRamPara* s = TlxRamPara::p_tlxrampara_config;
    if (!s || get_fpga_status() != 1)
        return;
    const bool single = single_window(s->ram_image);
    if (!single && power_restart != 1 && power_stop_step != 1)
        return;
    if (Utils::getTimeSpace(g_change.signal_check_time) >= kSignalCheckTicks) {
        g_change.signal_check_time = now();
        const bool signal = shown_signal(s);
        if (signal && !signal_present) {
            power_nosig_timing = 0;
            power_armed = 1;
            relay_index = 1;
            g_change.nosig_time = 0;
            g_change.relay_time = 0;
        }
        signal_present = signal ? 1 : 0;
    }
    if (single && Utils::getTimeSpace(g_change.power_task_time) >= kPowerTaskTicks) {
        g_change.power_task_time = now();
        vmf_power_read();
    }
    if (signal_present) {
        if (power_stop_step == 1) {
            power_restart = 1;
            power_stop_step = 0;
        }
        if (power_restart == 1)
            relay_step(true);
    } else if (single && power_armed && power_restart != 1) {
        if (power_nosig_timing == 0) {
            power_nosig_timing = 1;
            g_change.nosig_time = now();
        } else if (g_change.power_allowed == 1 && Utils::getTimeSpace(g_change.nosig_time) > kNoSignalTicks) {
            power_stop_step = 1;
            relay_step(false);
        }
    }
}

// The module's RAM-0: whether it allows switching the power.
void fpga_manage::vmf_power_read()
{
    if (!vmf_find())
        return;
    u8 frame[ff::kVmfReadLen];
    ff::vmf_ram0_frame(u16(g_change.vmf_addr), frame);
    if (!vmf_exchange(frame, ff::kVmfReadLen, vmf_port, vmf_chip))
        return;
    std::lock_guard<std::mutex> lk(frame_mutex);
    const u8* a = vmf_answer_frame;
    if (!ff::bcc_ok(a, vmf_answer_len)) {
        count_bad_checksum(vmf_chip);
        return;
    }
    if (vmf_answer_cmd != ff::kCmdVmfRead || vmf_answer_len < ff::kMinVmfRam0Answer || a[10] != 0) {
        g_change.answer_result = 2;
        return;
    }
    std::memcpy(vmf_ram0, a + 11, sizeof vmf_ram0);
    g_change.answer_result = 1;
    g_change.answer_received = 1;
    const u8 allowed = a[55] == 1 ? 1 : 0;
    g_change.power_allowed = allowed;
    set_local(REG_POWER_FILTER, allowed, vmf_chip);
}

void fpga_manage::relay_step(bool on)
{
    if (relay_index > kRelays) {
        if (on) {
            power_restart = 0;
        } else {
            power_restart = 1;
            power_stop_step = 0;
        }
        relay_index = 1;
        return;
    }
    if (Utils::getTimeSpace(g_change.relay_time) < kRelayTicks || vmf_port == kNoVmf)
        return;
    u8 frame[ff::kRelayLen];
    ff::relay_frame(u16(g_change.vmf_addr), relay_index, on, frame);
    if (!vmf_exchange(frame, ff::kRelayLen, vmf_port, vmf_chip))
        writeLogMsg(LOG_DEBUG, "fpga: relay " + std::to_string(relay_index) + " not answered");
    g_change.relay_time = now();
    ++relay_index;
}

// ---- time record ---------------------------------------------------------------------------------------------

void fpga_manage::time_record_refresh()
{
    if (Utils::getTimeSpace(g_change.time_record_time) < kTimeRecordTicks)
        return;
    g_change.time_record_time = now();
    QString text;
    {
        QMutexLocker lk(&Utils::_system_mutex);
        text = QDateTime::currentDateTime().toString("yyyy/MM/dd/hh/mm/ss/ddd");
    }
    const QStringList f = text.split('/');
    if (f.size() < 6)
        return;
    TimeRealType t{};
    t.year = u16(f[0].toUInt());
    t.month = u8(f[1].toUInt());
    t.day = u8(f[2].toUInt());
    t.hour = u8(f[3].toUInt());
    t.minute = u8(f[4].toUInt());
    t.second = u8(f[5].toUInt());
    std::lock_guard<std::mutex> lk(time_mutex);
    time_record = t;
}
