#include "scaler/c331_manage.h"

#include <QMutexLocker>
#include <cstring>
#include <system_error>

#include "core/TlxRamPara.h"
#include "core/fpga_wake.h"
#include "core/log.h"
#include "core/ram_map.h"
#include "core/requests.h"
#include "platform/clock.h"
#include "platform/thread_name.h"
#include "scaler/c331_drv.h"
#include "scaler/c331_regs.h"
#include "scaler/dbg_print.h"

c331_manage* c331_manage::p_c331_manage = nullptr;
uint8_t c331_manage::prnEn[20][20];
std::atomic<int> c331_manage::g_osd_update{0};

namespace {
// While probing and bringing the chip up the thread passes this often.
constexpr int kPassPeriodMs = 5;
// Once running, a raised change wakes the thread for a pass at once; without one the pass
// (its input following and OSD requests) runs this often, so an idle device rarely wakes.
constexpr uint64_t kIdlePassUs = 200000;
// A chip that does not answer is reported at most this often.
constexpr uint64_t kProbeReportUs = 1000000;
constexpr uint32_t kOchLayoutBytes = 14;   // the seven words of the output-channel layout

// The first bring-up's panel set-up replaced the output-channel layout the file held: that
// layout is what the device applied, so the apply pass compares later edits (a tool's
// offsets) with it, not with the file's, and its offsets are handed over before the FPGA
// thread starts, which adds them to its first page. A repeated bring-up leaves both to the
// next pass, which sends the FPGA its changed offsets.
void take_start_layout_as_applied(TlxRamPara* store)
{
    if (g_fpga_c331_start != 0)
        return;
    std::memcpy(store->ram_applied + ram_och_layout, store->ram_image + ram_och_layout, kOchLayoutBytes);
    scaler_req::applied_och_offsets = ram_rd32(store->ram_image, ram_och_layout);
}
}  // namespace

c331_manage::c331_manage()
{
    writeLogMsg(LOG_INFO, "====c331_manage::c331_manage()=====");
    drv = new c331_drv();
    std::memset(port_change_book, 0, sizeof port_change_book);
    font_flags = 0;
    install_osd_hooks();
    live = this;
}

c331_manage::~c331_manage()
{
    // The thread uses this object and its driver on every pass: let it finish first.
    remove_osd_hooks();
    c331_ports* me = this;
    live.compare_exchange_strong(me, nullptr);
    stop_thread = true;
    c331_wake();
    if (thread.joinable())
        thread.join();
    delete drv;
}

c331_manage* c331_manage::pInstance()
{
    if (!p_c331_manage) {
        p_c331_manage = new c331_manage();
        p_c331_manage->fill_mwin_preset();
        param_changed = 0;
        p_c331_manage->debug_run_bits = 0;
        p_c331_manage->pattern_active = 0;
        p_c331_manage->initialize();
    }
    return p_c331_manage;
}

void c331_manage::fill_mwin_preset()
{
    static constexpr int kCounts[10] = {1, 2, 3, 3, 4, 4, 5, 5, 6, 6};
    for (int i = 0; i < 10; ++i) {
        mwin_preset[i].count = kCounts[i];
        mwin_preset[i].win = mwin_preset_rects[i];
    }
}

int c331_manage::open_transport()
{
    SCALER_DBG("\n======c331_manage::initialize()===== ");
    c331_fd = drv->initialize();
    SCALER_DBG("\n c331_fd = %02x \n", c331_fd);
    const unsigned id = drv->read_C331(c331_fd, c331::CHIP_ID, 0);
    SCALER_DBG("\n c331_id = %02x \n", id);
    return c331_fd;
}

int c331_manage::initialize()
{
    open_transport();
    try {
        // Kept joinable (not detached) so that the destructor can wait for it.
        thread = std::thread(&c331_manage::c331manageThread, this);
    } catch (const std::system_error&) {
        SCALER_DBG("create manage thread failed");
        writeLogMsg(LOG_ERROR, "create manage thread failed");
        return 255;
    }
    return 0;
}

void c331_manage::Sleep(int ms)
{
    platform::sleep_ms(ms > 0 ? static_cast<uint64_t>(ms) : 0);
}

void* c331_manage::c331manageThread(void* arg)
{
    platform::name_this_thread("scaler");
    c331_manage* self = static_cast<c331_manage*>(arg);
    if (!self)
        return nullptr;
    while (!self->stop_thread) {
        self->thread_pass();
        if (self->thread_state == kStateRunning)
            c331_wait_for_wake(kIdlePassUs);
        else
            self->Sleep(kPassPeriodMs);
    }
    return nullptr;
}

void c331_manage::thread_pass()
{
    const uint8_t st = thread_state;
    if (st >= kStateBringUp && !TlxRamPara::p_tlxrampara_config)
        return;   // no parameter store to bring the chip up from (start order broken)
    if (st < kStateBringUp)
        probe_step();
    else if (st == kStateBringUp)
        bring_up();
    else
        c331managerdeal(this);
}

// States 0..4 count good identifier reads; five in all complete the probe (no reset of the
// count on a bad read). A silent chip is reported, but not on every pass.
void c331_manage::probe_step()
{
    const unsigned id = drv->read_C331(c331_fd, c331::CHIP_ID, 0);
    if (id == c331::CHIP_ID_VALUE) {
        thread_state = static_cast<uint8_t>(thread_state + 1);
        SCALER_DBG("\n ok c331_id = 0x24x ");
        return;
    }
    ++probe_failures;
    const uint64_t now = platform::clock().now_us();
    if (probe_failures == 1 || now - probe_report_us >= kProbeReportUs) {
        SCALER_DBG("\n error c331_id = %02x \n", id);
        if (probe_failures > 1)
            SCALER_DBG("\t (%llu bad identifier reads so far)\n", static_cast<unsigned long long>(probe_failures));
        probe_report_us = now;
    }
}

void c331_manage::bring_up()
{
    // The image is read here and the panel layout written back into it while the remote
    // handlers and the panel may already edit it: hold its lock, as the apply pass does.
    QMutexLocker lk(&c331_lock);
    const uint8_t* img = TlxRamPara::p_tlxrampara_config->ram_image;

    load_system_param();
    define_param();
    drv->init_reg_acc_param();
    write_initial_setting(c331_fd, 1);
    set_rtct(c331_fd, 1);
    load_param();
    if (ram_rd16(img, ram_osd_enable) == 1)
        g_osd_update = 1;
    check_input_port(c331_fd);
    load_char();
    read_c331_font(c331_fd);
    update_font(c331_fd);
    if (g_force_bkcolor == 1) {
        for (int c = 0; c < kOch; ++c) {
            drv->write_C331(c331_fd, c331::OCH_FORCE_COLOR, 0x00FF00, c331::kChannelStride * c);
            drv->write_C331(c331_fd, c331::OCH_FORCE_COLOR_EN, 1, c331::kChannelStride * c);
        }
    }
    tlxApi_PnlInit2(ram_rd16(img, ram_led_width), ram_rd16(img, ram_led_height),
                    ram_rd16(img, ram_output_rect + 4), ram_rd16(img, ram_output_rect + 6),
                    ram_rd16(img, ram_splice_mode));
    take_start_layout_as_applied(TlxRamPara::p_tlxrampara_config);
    c331_SetBrightness(ram_rd16(img, ram_brightness));
    c331_SetContrast(ram_rd16(img, ram_contrast));
    c331_SetSharpness(ram_rd16(img, ram_sharpness));
    c331_SetColorTemp(colour_temp_word(img));
    c331_SetSaturation(ram_rd16(img, ram_saturation));
    c331_debugEnv();
    set_output(c331_fd);
    thread_state = kStateRunning;
    g_fpga_c331_start = 1;
    fpga_wake();
}

uint32_t c331_manage::colour_temp_word(const uint8_t* img)
{
    return static_cast<uint32_t>(img[ram_colour_temp_type]) |
           static_cast<uint32_t>(img[ram_colour_temp_rgb + 4]) << 8 |
           static_cast<uint32_t>(img[ram_colour_temp_rgb + 2]) << 16 |
           static_cast<uint32_t>(img[ram_colour_temp_rgb]) << 24;
}

void c331_manage::load_system_param()
{
    PS_CLK[0] = 32000000;
    PS_CLK[1] = 800000000;
    PS_CLK[2] = 27000000;
    PS_CLK[3] = 27000000;
    PS_ACTHW = 1920;
    PS_ACTVW = 2160;
    PS_HTOTAL = 2200;
    PS_VTOTAL = 2250;
    PS_HSW = 88;
    PS_HBP = 88;
    PS_VSW = 10;
    PS_VBP = 72;
    PS_VBOTX_MODE = 0;
    PS_VBOTX_LAYOUT = 0;
    static constexpr uint32_t kTiming[9] = {0, 137, 0, 1, 22, 137, 0, 2, 24};
    std::memcpy(PS_OTIMING, kTiming, sizeof PS_OTIMING);
    for (uint32_t g = 0; g < 8; ++g) {
        static constexpr uint32_t kBase[5] = {0, 0x08800000, 0x11000000, 0x19800000, 0x22000000};
        for (int k = 0; k < 5; ++k)
            PS_MEM_SC[g][k] = kBase[k] + 0x2000 * g;
    }
    PS_MEM_LINE = 64;
    static constexpr uint32_t kDbd[5] = {0x2A800000, 0x35A80000, 0x40D00000, 0x4BF80000, 0x57200000};
    std::memcpy(PS_MEM_DBD, kDbd, sizeof PS_MEM_DBD);
    static constexpr uint32_t kIp[36] = {
        0x01DC0000, 14,         0x65000000, 0x65339000, 0x66EB8800, 0x671F1800, 0x68D71000, 0x690AA000,
        0x6AC29800, 0x6AF62800, 0x65717000, 0x65000000, 0x675CF800, 0x66EB8800, 0x69488000, 0x68D71000,
        0x6B340800, 0x6AC29800, 207,        207,        207,        207,        0x65CEA000, 0x67BA2800,
        0x69A5B000, 0x6B913800, 35,         35,         35,         35,         1,          1,
        1,          1,          1,          1};
    std::memcpy(PS_MEM_IP, kIp, sizeof PS_MEM_IP);
    for (int w = 0; w < kWindows; ++w)
        PS_MEM_WMODE[w] = PS_MEM_IP[30 + w];
    std::memset(PS_MEM_IP_RSV, 0, sizeof PS_MEM_IP_RSV);
    PS_SFL_ADDR = 0x70000000;    // staging area of flash transfers
    PS_MEM_OSD = 0x725C0000;     // OSD drawing memory
    PS_MEM_OSD1 = 0x74B80000;    // OSD display memory (the tiled copy scanned out)
    PS_FONT_ADDR = 0x7F000000;   // fonts
}

void c331_manage::define_param()
{
    PS_OAOIHST = PS_ACTHST = PS_HSW + PS_HBP;
    PS_OAOIHED = PS_OAOIHST + PS_ACTHW;
    PS_OAOIVST = PS_ACTVST = PS_VSW + PS_VBP;
    PS_OAOIVED = PS_OAOIVST + PS_ACTVW;

    const bool layout = PS_VBOTX_LAYOUT != 0;
    uint32_t hshape, vshape;
    if (PS_VBOTX_MODE == 0)
        hshape = layout ? 2 : 4, vshape = layout ? 2 : 1;
    else if (PS_VBOTX_MODE == 2)
        hshape = layout ? 1 : 2, vshape = layout ? 2 : 1;
    else
        hshape = layout ? 4 : 8, vshape = layout ? 2 : 1;
    PS_PANEL_HSHAPE = hshape;
    PS_PANEL_VSHAPE = vshape;
    PS_PANEL_HW = hshape * PS_ACTHW;
    PS_PANEL_VW = vshape * PS_ACTVW;

    PS_CLK[4] = PS_CLK[1] / 4;

    // Deinterlacer and noise settings by port: the V-by-One ports take interlaced sources too.
    for (int c = 0; c < kPorts; ++c) {
        PM_HNR[c] = PM_VNR[c] = PM_TNR[c] = PM_BNR[c] = PM_MNR[c] = PM_COMB[c] = 0;
        PM_IPEN[c] = 1;
        PM_DIAG[c] = 2;
        PM_MVFLT[c] = 3;
        PM_22PD[c] = PM_23PD[c] = 0;
        PM_22PDSQTH[c] = PM_23PDSQTH[c] = 1;
        PM_24SF[c] = 0;
    }
    for (int i = 0; i < kWindows; ++i) {
        for (int c = 0; c < 8; ++c)
            win_ich[i][c] = win_ich_prev[i][c] = -1;
        for (int b = 0; b < 4; ++b)
            win_dbd_blk[i][b] = -1;
        dbd_mem_owner[i] = -1;
        win_port_link[i] = -1;
        win_dbd_prev[i] = -1;
        port_map[i] = static_cast<uint32_t>(i);
        port_value99[i] = 99;
        port_retry[i] = 0;
        port_flags[i] = 0;
    }
    for (int i = 0; i < 5; ++i)
        port_list5[i] = static_cast<uint32_t>(i);
    // Every window rotates through field buffers 0..4; packed 0x043210, as the initial setting.
    for (int w = 0; w < kWindows; ++w)
        std::memcpy(win_fld_idx[w], port_list5, sizeof win_fld_idx[w]);
    for (int c = 0; c < 8; ++c)
        ich_owner[c] = -1;
    for (int c = 0; c < kOch; ++c) {
        och_assign[c][0] = -1;
        och_assign[c][1] = c;
        och_assign[c][2] = och_assign[c][3] = och_assign[c][4] = -1;
        och_assign[c][5] = 1;
    }
    PM_OSD_SCROLL_SPEED = 32;
    PM_OSD_CHAR_64DOT = 1;
}
