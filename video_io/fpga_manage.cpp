// The FPGA object, its start and thread, the power-up of chip 0, the initialisation after it
// and the output start.
#include "video_io/fpga_manage.h"

#include <cstdio>
#include <cstring>

#include "core/TlxRamPara.h"
#include "core/c331_shared.h"
#include "core/fpga_wake.h"
#include "core/log.h"
#include "core/ram_map.h"
#include "core/requests.h"
#include "core/utils.h"
#include "platform/board.h"
#include "platform/clock.h"
#include "platform/thread_name.h"
#include "video_io/fpga_drv.h"
#include "video_io/fpga_page_record.h"
#include "video_io/soc_pads.h"
#include "video_io/zeltasource.h"

using namespace fpga;

std::atomic<fpga_manage*> fpga_manage::p_fpga_manage{nullptr};
FpgaChange g_change;

abyte* fpga_manage::MCU_REG_func[kChips];
abyte* fpga_manage::MCU_RAM_PARA_func[kChips];
abyte* fpga_manage::MCU_RAM_ETH_PARA_func[kChips];
abyte* fpga_manage::MCU_RAM_ETH_BACK_PARA_func[kChips];
u8* fpga_manage::MCU_RAM_RX_func[kChips];
u8* fpga_manage::MCU_RAM_TX_func[kChips];
abyte fpga_manage::MCU_RAM_EXTEND[kPageSize];
abyte fpga_manage::MCU_RAM_CMD[kPageSize];
abyte fpga_manage::MCU_RAM_ZOOM[kPageSize];
abyte fpga_manage::MCU_RAM_DEFAULT[2 * kPageSize];

namespace {

constexpr uint64_t kStartWaitMs = 2000;
constexpr uint64_t kThreadSleepMs = 1;   // the pass while something is outstanding
// Idle, the next tick (or a wake) ends the wait: this time-out only covers a tick that does
// not come, and is long enough that a late GUI tick does not cost a second wake-up.
constexpr uint64_t kTickWaitUs = 20000;
constexpr u32 kPassWaitTicks = 300;     // a card's answer to a pass-through is awaited this long
constexpr u32 kStepTicks = 30;         // power-up: a step when more than this has passed
constexpr u32 kResetHoldTicks = 101;   // reset line held this long
constexpr u8 kStepDone = fpga_manage::kBringupDone;
constexpr u8 kStepOutputReset = 17;

bool version_ok(u8 v) { return v >= 25 && v <= 35; }

bool clock_ready()
{
    zeltasource* z = zeltasource::p_zelta_source;
    return z && z->clock_setup_state[0].load() == 2;
}

u32 now() { return G_timeTicks.load(); }

}  // namespace

// Default of the parameter page's first 256 bytes.
const u8 fpga_manage::RAM1[256] = {
    0x00, 0x05, 0x00, 0x04, 0x76, 0x05, 0xD2, 0x01, 0, 0, 0, 0, 0, 0x05, 0, 0x02,  // 0
    0, 0, 0, 0, 0, 0, 0, 0, 0x05, 0, 0x02, 0, 0, 0, 0x02, 0,                        // 16
    0, 0, 0, 0, 0, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                              // 32
    0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x05, 0, 0x04,                        // 48
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                                 // 64
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                                 // 80
    0x05, 0, 0, 0, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                           // 96
    0, 0, 0, 0, 0x56, 0x05, 0, 0x03, 0xD9, 0xB8, 0x0C, 0, 0, 0, 0, 0,               // 112
};

void FpgaChange::clear()
{
    for (int c = 0; c < kChips; ++c) {
        powerup_time[c] = output_time[c] = link_check_time[c] = 0;
        irq_state[c] = pass_time[c] = pass_state[c] = 0;
    }
    for (std::atomic<u32>* w : {&search_time, &search_active, &search_cycle, &bright_time, &bright_enable,
                                &bright_reload, &bright_applied, &bright_reapply, &sensor_faults, &vmf_addr,
                                &vmf_group, &answer_cmd, &answer_received, &answer_result, &power_allowed,
                                &signal_check_time, &power_task_time, &nosig_time, &relay_time, &time_record_time})
        *w = 0;
    bright_value = 16;
}

fpga_manage::fpga_manage()
{
    g_change.clear();
    for (int c = 0; c < kChips; ++c) {
        MCU_REG_func[c] = MCU_REG[c];
        MCU_RAM_PARA_func[c] = MCU_RAM_PARA[c];
        MCU_RAM_ETH_PARA_func[c] = MCU_RAM_ETH_PARA[c];
        MCU_RAM_ETH_BACK_PARA_func[c] = MCU_RAM_ETH_BACK_PARA[c];
        MCU_RAM_RX_func[c] = MCU_RAM_RX[c];
        MCU_RAM_TX_func[c] = MCU_RAM_TX[c];
        for (auto& b : MCU_REG[c]) b = 0;
        for (auto& b : MCU_RAM_PARA[c]) b = 0;
        for (auto& b : MCU_RAM_ETH_PARA[c]) b = 0;
        for (auto& b : MCU_RAM_ETH_BACK_PARA[c]) b = 0;
    }
    std::memset(MCU_RAM_RX, 0, sizeof MCU_RAM_RX);
    std::memset(MCU_RAM_TX, 0, sizeof MCU_RAM_TX);
    std::memset(HalfHourValue, 15, sizeof HalfHourValue);
    drv = new fpga_drv();
    writeLogMsg(LOG_INFO, "====fpga_manage::fpga_manage()=====");
}

fpga_manage::~fpga_manage()
{
    stop_thread = true;
    fpga_wake();
    if (thread_started)
        pthread_join(thread, nullptr);
    delete drv;
}

fpga_manage* fpga_manage::pInstance()
{
    if (!p_fpga_manage) {
        auto* f = new fpga_manage();
        f->initialize();
        p_fpga_manage = f;
    }
    return p_fpga_manage;
}

// ---- start -----------------------------------------------------------------------------------------

int fpga_manage::open_devices()
{
    spi_fd = drv->initialize_vbyne1(0);
    flash_fd = drv->initialize_vbyne1(2);
    platform::WindowStatus st = platform::WindowStatus::Ok;
    window = &platform::board().soc_window(&st);
    switch (st) {
    case platform::WindowStatus::Ok: break;
    case platform::WindowStatus::NoMsys: std::printf("\n can't open /dev/msys"); return 255;
    case platform::WindowStatus::NoMem: std::printf("\ncan't open /dev/mem"); return 255;
    case platform::WindowStatus::RequestFailed: std::printf("\n DMEM request failed!!"); return 255;
    case platform::WindowStatus::MapFailed: std::printf("\n NULL pointer!"); return 255;
    }
    // Both receiver groups held in reset (the source supervision releases them), EEPROMs protected.
    window->write16(pads::PAD_RX6602_RST, pads::kLow);
    window->write16(pads::PAD_RX6805_RST, pads::kLow);
    window->write16(pads::PAD_EDID_WP, pads::kHigh);

    const u32 t = now();
    for (int c = 0; c < kChips; ++c) {
        g_change.powerup_time[c] = t;
        g_change.output_time[c] = t;
        g_change.link_check_time[c] = t;
    }
    g_change.search_time = t;
    g_change.bright_time = t;
    g_change.time_record_time = t;
    power_init();
    static constexpr u8 kCmdFixed[10] = {1, 17, 0, 0, 255, 1, 0, 0, 0, 0};  // bytes 24..33
    page_copy_in(MCU_RAM_CMD, 24, kCmdFixed, sizeof kCmdFixed);
    MCU_RAM_EXTEND[49] = 1;
    MCU_RAM_EXTEND[EXTEND_SCREEN_STATE] = ScreenState.load();
    return 0;
}

int fpga_manage::initialize()
{
    if (open_devices() != 0)
        return 255;
    platform::sleep_ms(kStartWaitMs);
    g_fpga_c331_start = 0;
    auto body = [](void* arg) -> void* {
        platform::name_this_thread("fpga");
        auto* self = static_cast<fpga_manage*>(arg);
        while (!self->stop_thread) {
            const FpgaWakeStamp seen = fpga_wake_stamp();
            const bool started = g_fpga_c331_start.load() != 0;
            if (started)
                self->fpga_pass();
            if (started && self->pass_due())
                platform::sleep_ms(kThreadSleepMs);
            else
                fpga_wait_for_tick_or_wake(seen, kTickWaitUs);
        }
        return nullptr;
    };
    if (pthread_create(&thread, nullptr, body, this) != 0) {
        writeLogMsg(LOG_ERROR, "fpga_manage: FPGA thread start failed");
        return 255;
    }
    thread_started = true;
    return 0;
}

unsigned int fpga_manage::get_fpga_status()
{
    return (running_state(0) && bringup_step[0] == kStepDone && !(reg(REG_OUTPUT_CTRL) & BIT(3))) ? 1 : 0;
}

bool fpga_manage::chip_ready() const
{
    return running_state(0) && bringup_step[0] == kStepDone && !outstanding_reset(0);
}

void fpga_manage::read_age_registers(int& r40, int& r42, int& r43)
{
    r40 = read_reg(REG_LINK_IN);
    r42 = read_reg(REG_AGE_42);
    r43 = read_reg(REG_AGE_43);
}

// ---- one pass ---------------------------------------------------------------------------------------

void fpga_manage::fpga_pass()
{
    reset_release();
    const bool clk = clock_ready();
    // A chip held in reset answers nothing: no power-up or output-start step counts against it.
    if (clk && !outstanding_reset(0))
        power_up_step(0);
    if (clk) {
        std::lock_guard<std::mutex> lk(frame_mutex);
        reg_IRQ_Dealwith(0, 0);
    }
    if (clk && !outstanding_reset(0))
        output_start_step(0);
    // Each request is taken before its work: one the apply pass raises while the page or the
    // output state is being sent stays raised for the next pass. A request the FPGA cannot
    // serve yet (not running) is put back.
    if (scaler_req::net_para_dirty.exchange(0) && !set_fpga_lcd())
        scaler_req::net_para_dirty = 1;
    if (g_set_led_para.load() != 0 || g_freeze_out.load() != 0 || g_led_handback_owed.load())
        led_handover_step();
    time_record_refresh();
    card_search();
    power_control();
    if (scaler_req::output_status_dirty.exchange(0) && !set_output_status())
        scaler_req::output_status_dirty = 1;
}

bool fpga_manage::pass_due()
{
    // A pass-through from the PC tool whose answer the cards still owe (bounded: an answer
    // that never comes does not keep the 1 ms pass for ever).
    if (g_passby_trans_port.load() != 255 && ticks_since(pc_cmd_time) <= int32_t(kPassWaitTicks))
        return true;
    if (pass_all_pending && Utils::getTimeSpace(pass_all_time) <= kPassWaitTicks)
        return true;
    // The scaler waits for the blank of an LED-size hand-over (its hand-back is woken for).
    if (g_set_led_para.load() == 1)
        return true;
    if (!clock_ready() || outstanding_reset(0))
        return false;
    // An answer flagged for the next pass, or the interrupt pad still raised, while the pass
    // serves them (run state 2 or 3).
    const u8 run = reg(REG_RUN_STATE);
    if ((run == 2 || run == 3) &&
        (g_change.irq_state[0] == 1 || (window && (window->read16(pads::PAD_FPGA0_IRQ) & 1))))
        return true;
    // Output-start steps that act on the following pass, not on a later tick.
    if (running_state(0) && bringup_step[0] == kStepDone) {
        const u8 st = output_start_state[0];
        if (st == 1 || st == 9 || (st == 3 && output_link_read[0] == 1))
            return true;
    }
    return false;
}

// ---- reset -----------------------------------------------------------------------------------------

void fpga_manage::reset_chip(u8 chip)
{
    if (chip != 0 || !window)
        return;
    window->write16(pads::PAD_FPGA0_CFG, pads::kLow);
    fpga_reset_time[chip] = now();
    fpga_reset_pending[chip] = 1;
    // A chip held in reset does not run: a tool polling register 80 is not told it does.
    set_local(REG_RUN_STATE, 0, chip);
    writeLogMsg(LOG_WARNING, "fpga: chip 0 reset");
}

void fpga_manage::reset_release()
{
    if (!fpga_reset_pending[0] || Utils::getTimeSpace(fpga_reset_time[0]) < kResetHoldTicks)
        return;
    if (window)
        window->write16(pads::PAD_FPGA0_CFG, pads::kHigh);
    {
        std::lock_guard<std::mutex> lk(mirror_mutex);
        MCU_REG[0][REG_RUN_STATE] = 0;
        MCU_REG[0][REG_VERSION3] = 0;
    }
    page_loaded = false;  // the next bring-up loads the saved page again
    output_start_state[0] = 0;
    bringup_step[0] = 0;
    bringup_poll_count[0] = 0;
    fpga_reset_pending[0] = 0;
}

// ---- power-up ----------------------------------------------------------------------------------------

void fpga_manage::power_up_step(u8 c)
{
    if (running_state(c) && bringup_step[c] == kStepDone)
        return;
    if (Utils::getTimeSpace(g_change.powerup_time[c]) <= kStepTicks)
        return;
    if (!version_ok(reg(REG_VERSION3, c))) {
        for (u8 r : {u8(31), u8(30), u8(29), u8(28), REG_START_INFO})
            read_from_register(r, c);
        bringup_step[c] = 1;
        bringup_poll_count[c] = 0;
        g_change.powerup_time[c] = now();
        return;
    }
    switch (bringup_step[c]) {
    case 1:
        set_bits(REG_CONTROL3, BIT(6), c);
        bringup_step[c] = 2;
        break;
    case 2:
        if (!(read_reg(REG_STATUS, c) & BIT(3))) {
            bringup_step[c] = 3;
        } else if (++bringup_poll_count[c] >= 5) {
            bringup_poll_count[c] = 0;
            if (++bringup_retry[c] < 3)
                reset_chip(c);  // the release starts over at step 0
            else
                bringup_step[c] = 3;
        }
        break;
    case 3:
        set_bits(REG_CONTROL3, BIT(7), c);
        bringup_step[c] = 5;
        bringup_poll_count[c] = 0;
        bringup_retry[c] = 0;
        break;
    case 5:
        if (read_reg(REG_STATUS, c) & BIT(4)) {
            bringup_retry[c] = 0;
            bringup_step[c] = 6;
            clear_bits(REG_CONTROL23, BIT(0), c);
        } else if (++bringup_poll_count[c] >= 6 && ++bringup_retry[c] >= 3) {
            bringup_step[c] = 6;
        }
        break;
    case 6:
        set_bits(REG_CONTROL23, BIT(0), c);
        // A tool sees the chip running (register 80 = 3, its writes taken) only once the
        // records and the saved page are loaded: a slow flash store may hold them for seconds.
        initialising[c] = true;
        fpga_init(c);
        initialising[c] = false;
        bringup_step[c] = kStepDone;  // first: a tool that reads 3 below is served at once
        set_local(REG_RUN_STATE, 3, c);
        writeLogMsg(LOG_INFO, "fpga: chip 0 running");
        return;  // no stamp
    default:
        break;
    }
    g_change.powerup_time[c] = now();
}

void fpga_manage::fpga_init(u8 c)
{
    u8 block[256];
    if (drv->FPGA_SPI_FLASH_VBYONE_READ(kFlashChip0, FLASH_DATA_BLOCK, sizeof block, block))
        write_fpga_ram(block, 0, sizeof block, BLOCK_FLASH_DATA, c);
    u8 uid[8] = {};
    drv->FPGA_SPI_FLASH_SSTF016B_RD_UID(kFlashChip0, uid);
    for (int i = 0; i < 8; ++i)
        write_to_register(u8(REG_UID0 + i), 0xFF, uid[i], c);
    set_bits(REG_CONTROL23, BIT(6), c);
    clear_bits(REG_CONTROL23, BIT(6), c);
    read_from_register(REG_STATUS, c);
    clear_bits(REG_STATUS, BIT(5), c);
    {
        std::lock_guard<std::mutex> lk(brightness_mutex);
        load_brightness_record(true);
    }
    load_onoff_record();
    for (int i = 0; i < 3; ++i)
        read_from_register(REG_INIT_READ, c);

    u8 saved[kPageSize];
    const bool have_saved = load_page_record(*drv, saved);
    load_para_page(c, have_saved ? saved : nullptr);
    if (c == 0)
        page_loaded = true;
    push_para(0, kPageSize, c);
    // A restarted chip shows its output: a black screen the user asked for is sent again,
    // as the page is (the scaler sends it only when the word changes).
    if (c == 0)
        set_output_status();
    update_link_state(c);
    u8 version[4];
    for (u8 r = REG_VERSION0; r <= REG_VERSION3; ++r)
        version[r - REG_VERSION0] = read_reg(r, c);
    fill_command_page(CMD_VERSION, version, sizeof version);
    set_bits(REG_COMMAND, BIT(3), c);
}

// ---- output start ----------------------------------------------------------------------------------------

void fpga_manage::take_fpga_input(u8* info, u8 chip)
{
    read_fpga_ram(info, PARA_FPGA_INPUT, kFpgaInputLen, BLOCK_PARA, chip);
    page_copy_in(MCU_RAM_PARA_func[chip], PARA_FPGA_INPUT, info, kFpgaInputLen);
}

namespace {

// The FPGA's measured input covers the canvas and its clock is plausible.
bool input_fits(const u8* info)
{
    const TlxRamPara* s = TlxRamPara::p_tlxrampara_config;
    if (!s)
        return false;
    const u16 w = ram_rd16(info, 0), h = ram_rd16(info, 2);
    const u32 clk = ram_rd32(info, 4);
    return w >= ram_rd16(s->ram_image, ram_led_width) / 2 && h >= ram_rd16(s->ram_image, ram_led_height) / 2 &&
           clk >= 714286 && clk <= 999999;
}

}  // namespace

void fpga_manage::output_start_step(u8 c)
{
    if (!running_state(c) || bringup_step[c] != kStepDone)
        return;
    const u32 since = Utils::getTimeSpace(output_start_time[c]);
    auto stamp = [&] { output_start_time[c] = now(); };
    switch (output_start_state[c]) {
    case 0:
        if (since < 11)
            break;
        stamp();
        if (read_reg(REG_STATUS, c) & BIT(7)) {
            output_start_state[c] = 7;
        } else if (output_poll_count[c] < (output_reset_count[c] + 1) * 20) {
            ++output_poll_count[c];
        } else if (output_reset_count[c] > 100) {
            output_start_state[c] = 7;  // given up: no further reset
        } else {
            ++output_reset_count[c];
            reset_chip(c);
            bringup_step[c] = kStepOutputReset;
        }
        break;
    case 7:
        if (since < 701)
            break;
        stamp();
        {
            u8 info[kFpgaInputLen];
            take_fpga_input(info, c);
            if (input_fits(info))
                output_start_state[c] = 1;
        }
        break;
    case 1:
        set_bits(REG_OUTPUT_START, BIT(0), c);
        stamp();
        set_bits(REG_CONTROL23, BIT(1), c);
        output_start_state[c] = 8;
        break;
    case 8:
        if (since <= 5)
            break;
        output_start_state[c] = (read_reg(REG_CONTROL23, c) & BIT(1)) ? 2 : 1;
        stamp();
        break;
    case 2:
        if (since <= 20)
            break;
        read_from_register(REG_OUTPUT_START, c);
        output_link_read[c] = 1;
        output_start_state[c] = 9;
        break;
    case 9:
        clear_bits(REG_CONTROL23, BIT(1), c);
        stamp();
        output_start_state[c] = 10;
        break;
    case 10:
        if (since <= 5)
            break;
        output_start_state[c] = (read_reg(REG_CONTROL23, c) & BIT(1)) ? 9 : 3;
        break;
    case 3:
        if (output_link_read[c] != 1)
            break;
        // The scaler holds c331_lock for a whole apply pass, and this thread serves the LED-size
        // hand-over it may wait for: never block on the lock here, try again on the next pass.
        if (!c331_shared::c331_lock.tryLock())
            break;
        c331_raise_own_change_locked(1);
        g_force_bkcolor = 0;
        c331_shared::c331_lock.unlock();
        set_bits(REG_COMMAND, BIT(0), c);
        stamp();
        output_start_state[c] = 14;
        break;
    case 14:
        if (since <= 50)
            break;
        SCREEN_fpgactrl_status2(11, c);
        set_bits(REG_COMMAND, BIT(0), c);
        set_bits(REG_COMMAND, BIT(0), c);
        stamp();
        output_start_state[c] = 15;
        break;
    case 15:
        if (since <= 50)
            break;
        set_bits(REG_CONTROL3, BIT(5), c);
        stamp();
        output_start_state[c] = 18;
        writeLogMsg(LOG_INFO, "fpga: LED output started");
        break;
    default:
        break;
    }
}
