// IT6805 chip operations: initialisation and calibration, hot-plug, resets, status
// predicates, audio, clock and timing measurement. Every operation returns to bank 0.
#include <QMutexLocker>
#include <cstdio>
#include <cstring>

#include "core/TlxRamPara.h"
#include "core/c331_shared.h"
#include "core/ram_map.h"
#include "platform/clock.h"
#include "video_io/it6805_regs.h"
#include "video_io/ite6805_sys.h"
#include "video_io/source_status.h"

using namespace it6805;

extern const uint8_t iTE6805_INIT_HDMI_TABLE[][3];

// ---- access ---------------------------------------------------------------------------------

uint8_t ite6805_drv::rd(uint8_t d, uint8_t reg, bool* ok) { return sys_->i2c->hdmirxrd(reg, d, ok); }
void ite6805_drv::wr(uint8_t d, uint8_t reg, uint8_t v) { sys_->i2c->hdmirxwr(reg, v, d); }
void ite6805_drv::set(uint8_t d, uint8_t reg, uint8_t mask, uint8_t v) { sys_->i2c->hdmirxset(reg, mask, v, d); }
void ite6805_drv::chgbank(uint8_t bank, uint8_t d) { set(d, REG_BANK, 0x07, bank & 7); }
void ite6805_drv::delay1ms(uint32_t ms)
{
    platform::sleep_ms(ms);
    if (!between_waits)
        return;
    const uint64_t now = platform::clock().now_us();
    if (now - last_service_us_ < kWaitServiceUs)
        return;
    last_service_us_ = now;
    between_waits();
}

// ---- status predicates ----------------------------------------------------------------------

bool ite6805_drv::iTE6805_Check_5V_State(uint8_t port, uint8_t d)
{
    return rd(d, port ? REG_P1_STATUS : REG_P0_STATUS) & ST_5V;
}
bool ite6805_drv::iTE6805_Check_CLK_Vaild(uint8_t d)
{
    return rd(d, sys_->iTE6805_DATA[d].CurrentPort ? REG_P1_STATUS : REG_P0_STATUS) & ST_CLK_VALID;
}
bool ite6805_drv::iTE6805_Check_CLK_Stable(uint8_t d)
{
    return rd(d, sys_->iTE6805_DATA[d].CurrentPort ? REG_P1_STATUS : REG_P0_STATUS) & ST_CLK_STABLE;
}
bool ite6805_drv::iTE6805_Check_SCDT(uint8_t d) { return rd(d, REG_VID_STATUS) & VID_SCDT; }
bool ite6805_drv::iTE6805_Check_AUDT(uint8_t d)
{
    return (rd(d, REG_AUD_STATUS) & 0x80) && !(rd(d, REG_SYS_INT0) & SYS0_AUDIO);
}
bool ite6805_drv::iTE6805_Check_HDMI2(uint8_t d)
{
    return rd(d, sys_->iTE6805_DATA[d].CurrentPort ? REG_P1_STATUS2 : REG_P0_STATUS2) & ST2_HDMI2;
}
bool ite6805_drv::iTE6805_Check_TMDS_Bigger_Than_1G(uint8_t d)
{
    return rd(d, sys_->iTE6805_DATA[d].CurrentPort ? REG_P1_STATUS2 : REG_P0_STATUS2) & ST2_TMDS_1G;
}
uint8_t ite6805_drv::iTE6805_Check_HDMI_OR_DVI_Mode(uint8_t port, uint8_t d)
{
    return (rd(d, port ? REG_P1_STATUS : REG_P0_STATUS) & ST_HDMI_MODE) ? 0 : 2;
}
bool ite6805_drv::iTE6805_Check_PORT0_IS_MHL_Mode(uint8_t port, uint8_t d)
{
    return port == 0 && (rd(d, REG_P0_STATUS) & ST_MHL);
}
bool ite6805_drv::iTE6805_Check_Single_Dual_Mode(uint8_t d)
{
    chgbank(1, d);
    const bool dual = rd(d, B1_DUAL_PIXEL) & 0x01;
    chgbank(0, d);
    return dual;
}
bool ite6805_drv::iTE6805_Check_AVMute(uint8_t d)
{
    const uint8_t port = sys_->iTE6805_DATA[d].CurrentPort;
    chgbank(port_bank(port), d);
    const bool mute = rd(d, REG_SYNC_POL) & AVMUTE;
    chgbank(0, d);
    return mute;
}
bool ite6805_drv::iTE6805_Check_4K_Resolution(uint8_t d)
{
    const uint32_t pclk = iTE6805_Get_PCLK(d);
    return is_4k(pclk, sys_->iTE6805_DATA[d].AVIInfoFrame_Input_ColorFormat == kColorYuv420);
}
uint8_t ite6805_drv::iTE6805_GET_InputType(uint8_t d)
{
    const uint8_t port = sys_->iTE6805_DATA[d].CurrentPort;
    if (iTE6805_Check_PORT0_IS_MHL_Mode(port, d))
        return 1;
    return iTE6805_Check_HDMI_OR_DVI_Mode(port, d) == 2 ? 2 : 0;
}

// ---- resets ---------------------------------------------------------------------------------

void ite6805_drv::iTE6805_Reset_ALL_Logic(uint8_t port, uint8_t d)
{
    hpd_ctrl(port, 0, d);
    wr(d, port ? REG_P1_INT3 : REG_P0_INT3, 0x04);
    wr(d, REG_RESET, 0x12);
    wr(d, REG_RESET, 0x10);
    const uint8_t reset = port ? REG_P1_RESET : REG_P0_RESET;
    set(d, reset, 0xFD, 0xAC);
    set(d, reset, 0xFD, 0xA0);
    sys_->port_5v_change(port, d);
}

// The reset clears the sync change it causes itself; one the source made before it (a new
// timing while the video was being set up) is kept for the video-stable check.
void ite6805_drv::iTE6805_Reset_Video_Logic(uint8_t d)
{
    if (rd(d, REG_SYS_INT0) & SYS0_SCDT_CHANGE)
        sys_->iTE6805_DATA[d].sync_change_kept = 1;
    set(d, REG_RESET, 0x01, 0x01);
    delay1ms(1);
    set(d, REG_RESET, 0x01, 0x00);
    set(d, REG_SYS_INT0, SYS0_SCDT_CHANGE, SYS0_SCDT_CHANGE);
    set(d, REG_SYS_INT2, SYS2_VID_PARAM_CHANGE, SYS2_VID_PARAM_CHANGE);
}

void ite6805_drv::iTE6805_Reset_Audio_Logic(uint8_t d)
{
    set(d, REG_RESET, 0x02, 0x02);
    set(d, REG_RESET, 0x02, 0x00);
    const uint8_t v = rd(d, REG_FORCE_FS_CODE);
    for (int i = 0; i < 4; ++i)
        wr(d, REG_FORCE_FS_CODE, v);
}

// ---- hot-plug and the image's timing records ------------------------------------------------

void ite6805_drv::hpd_ctrl(uint8_t port, uint8_t level, uint8_t d)
{
    std::printf("iTE6805_Set_HPD_Ctrl PORT%d_HPD = %d \r\n", port, level);
    if (port != 0) {
        sys_->iTE6805_DATA[d].input_type = 0;  // port 1 has no hot-plug line on this board
        return;
    }
    bool ok = false;
    const uint8_t st = rd(d, REG_P0_STATUS, &ok);
    if (!ok)
        return;  // a chip that does not answer changes nothing
    if (!(st & ST_5V)) {
        chgbank(3, d);
        set(d, PHY_HPD, 0xC0, 0x00);
        chgbank(0, d);
        if (level == 0) {
            sys_->fill_hdminfo(d, true);
            source_status::publish_timing(4 + d, 0, 0, 0);  // refreshes the pages when it changed
        }
        return;
    }
    if (st & ST_MHL)
        return;
    sys_->iTE6805_DATA[d].input_type = 0;
    chgbank(3, d);
    set(d, PHY_HPD, 0xC0, level ? 0xC0 : 0x40);
    set(d, 0xAC, 0x7C, 0x10 << 2);
    chgbank(0, d);
}

// The chip's own bytes at 0x000 + 3 x device, then the input's timing record through the one
// publisher of the input side (whole words, signalled only when the record changed).
void ite6805_drv::store_image_timing(uint8_t d)
{
    TlxRamPara* store = TlxRamPara::p_tlxrampara_config;
    if (!store)
        return;
    const iTE6805_Data& D = sys_->iTE6805_DATA[d];
    const uint16_t hact = uint16_t(D.AVIInfoFrame_Input_ColorFormat == kColorYuv420 ? D.t.hactive * 2 : D.t.hactive);
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        pthread_mutex_lock(&store->ram_mutex);
        uint8_t* b = store->ram_image + ram_it6805_timing + 3 * d;
        b[0] = uint8_t(hact);
        b[1] = uint8_t(D.t.vactive);
        b[2] = uint8_t(D.frame_rate);
        pthread_mutex_unlock(&store->ram_mutex);
    }
    source_status::publish_timing(4 + d, uint16_t(D.t.hactive), uint16_t(D.t.vactive), stored_refresh(D.frame_rate));
}

// ---- initialisation -------------------------------------------------------------------------

bool ite6805_drv::iTE6805_Init_fsm(uint8_t d)
{
    const uint32_t failures = sys_->read_failures[d] + sys_->write_failures[d];
    iTE6805_Data& D = sys_->iTE6805_DATA[d];
    D.ChipID = rd(d, REG_REVISION);
    std::printf("iTE6805_DATA.ChipID = %X !!!\n", D.ChipID);
    D.CurrentPort = rd(d, REG_PORT_SEL) & 0x01;  // the port the chip listens on now
    D.downscale_mode = 1;
    sys_->drop_video(d);
    D.STATEA = STATEA_AudioOff;
    D.STATEEQ = STATEEQ_Off;
    D.last_lane = 7;

    sys_->i2c->hdimrx_write_init(iTE6805_INIT_HDMI_TABLE, d);
    set(d, 0x3E, 0x20, older_silicon(D.ChipID) ? 0x00 : 0x20);
    set(d, 0x3D, 0x02, 0x02);
    wr(d, 0x3F, 0x57);
    set(d, 0x41, 0xC0, 0x40);

    offset_calibration(d);
    wr(d, 0x28, 0x88);
    iTE6805_Set_Video_Tristate(true, d);
    osc_calibration(d);

    set(d, 0xC5, 0x01, 0x01);
    chgbank(4, d);
    set(d, 0xC5, 0x01, 0x01);
    chgbank(0, d);
    D.US_Output_ColorFormat = 0;
    set(d, REG_CSC_CTRL, 0x0C, uint8_t(D.US_Output_ColorFormat << 2));
    sys_->cec_drv->iTE6805_CEC_INIT(d);

    const uint8_t port = (!iTE6805_Check_5V_State(0, d) && iTE6805_Check_5V_State(1, d)) ? 1 : 0;
    D.port_select_request = 1;
    D.port_select_target = port;
    D.port_reset_request = 0;
    sys_->port_select(d);
    D.hdcp_state = 0;
    sys_->port_5v_change(port, d);
    return sys_->read_failures[d] + sys_->write_failures[d] == failures;
}

// One port's analog offset calibration: start, poll the done bit, restart up to six times.
void ite6805_drv::caof_port(uint8_t port, uint8_t d)
{
    const uint8_t phy = port ? 7 : 3, done = port ? REG_P1_INT3 : REG_P0_INT3, restart = port ? 0x32 : 0x2A;
    auto pulse_restart = [&] {
        set(d, restart, 0x40, 0x40);
        delay1ms(10);
        set(d, restart, 0x40, 0x00);
    };
    chgbank(phy, d);
    set(d, PHY_CAOF, 0x80, 0x80);
    chgbank(0, d);
    for (int restarts = 0;; ++restarts) {
        for (int poll = 0; poll < 5; ++poll) {
            delay1ms(10);
            if (rd(d, done) & 0x10)
                return;
            std::printf("Wait for PORT%d CAOF Done!!!!!!\n", port);
        }
        if (restarts == 6) {
            std::printf("CAOF Fail !! \n");
            chgbank(phy, d);
            set(d, PHY_CAOF, 0x80, 0x00);
            chgbank(0, d);
            pulse_restart();
            return;
        }
        std::printf("CAOF Fail to Finish!! \n");
        pulse_restart();
    }
}

void ite6805_drv::offset_calibration(uint8_t d)
{
    for (uint8_t phy : {uint8_t(3), uint8_t(7)}) {
        chgbank(phy, d);
        set(d, PHY_CAOF, 0x80, 0x00);
        set(d, 0xA0, 0x80, 0x80);
        set(d, 0xA1, 0x80, 0x80);
        set(d, 0xA2, 0x80, 0x80);
        set(d, 0xA4, 0x08, 0x08);
        set(d, 0x3B, 0xC0, 0x00);
        set(d, 0xA7, 0x10, 0x10);
        set(d, 0x48, 0x80, 0x80);
        chgbank(0, d);
        if (phy == 3) {
            set(d, 0x29, 0x01, 0x01);
            set(d, 0x2A, 0x41, 0x41);
            delay1ms(10);
            set(d, 0x2A, 0x40, 0x00);
            set(d, 0x24, 0x04, 0x04);
            for (uint8_t r = 0x25; r <= 0x28; ++r)
                wr(d, r, 0x00);
            set(d, 0x3C, 0x10, 0x00);
        } else {
            set(d, 0x32, 0x41, 0x41);
            delay1ms(10);
            set(d, 0x32, 0x40, 0x00);
            set(d, 0x2C, 0x04, 0x04);
            set(d, 0x2D, 0x6F, 0x00);
            for (uint8_t r = 0x2E; r <= 0x30; ++r)
                wr(d, r, 0x00);
            chgbank(4, d);
            set(d, 0x3C, 0x10, 0x00);
            chgbank(0, d);
        }
    }
    caof_port(0, d);
    caof_port(1, d);
    for (uint8_t phy : {uint8_t(3), uint8_t(7)}) {
        chgbank(phy, d);
        std::printf("CAOF bank %d: 0x59 = %02X, 0x5A = %02X\n", phy, rd(d, 0x59), rd(d, 0x5A));
    }
    chgbank(0, d);
    set(d, REG_P0_INT3, 0x30, 0x30);
    set(d, REG_P1_INT3, 0x30, 0x30);
    set(d, 0x29, 0x01, 0x00);
    set(d, 0x24, 0x04, 0x00);
    set(d, 0x3C, 0x10, 0x10);
    set(d, 0x2C, 0x04, 0x00);
    chgbank(4, d);
    set(d, 0x3C, 0x10, 0x10);
    for (uint8_t phy : {uint8_t(3), uint8_t(7)}) {
        chgbank(phy, d);
        for (uint8_t r : {uint8_t(0x3A), uint8_t(0xA0), uint8_t(0xA1), uint8_t(0xA2)})
            set(d, r, 0x80, 0x00);
    }
    chgbank(0, d);
}

// A factory-area read: address (a0, a1), then 0x61 and 0x62. Caller is on bank 1.
uint8_t ite6805_drv::efuse_read(uint8_t a0, uint8_t a1, uint8_t* second, uint8_t d)
{
    wr(d, B1_EFUSE_ADDR0, a0);
    wr(d, B1_EFUSE_ADDR1, a1);
    wr(d, B1_EFUSE_READ, 0x04);
    const uint8_t first = rd(d, B1_EFUSE_DATA0);
    *second = rd(d, B1_EFUSE_DATA1);
    return first;
}

uint32_t ite6805_drv::read_factory_rclk(uint8_t d)
{
    wr(d, 0xF8, 0xC3);
    wr(d, 0xF8, 0xA5);
    wr(d, 0x34, 0x00);
    chgbank(1, d);
    wr(d, B1_FACTORY_CTRL, 0x04);
    wr(d, B1_FACTORY_CTRL, 0x05);
    wr(d, B1_FACTORY_58, 0x12);
    wr(d, B1_FACTORY_58, 0x02);
    if (rd(d, B1_FACTORY_READY) != 0x19) {
        wr(d, B1_FACTORY_CTRL, 0x04);
        for (int ms = 0; ms < 5000; ++ms) {
            bool ok = false;
            if (rd(d, B1_FACTORY_READY, &ok) == 0x19 || !ok)
                break;
            delay1ms(1);
        }
    }
    delay1ms(10);
    chgbank(0, d);
    set(d, 0xCF, 0x01, 0x01);
    chgbank(1, d);  // the read-out registers are in bank 1, like the 0x5F writes around them
    wr(d, B1_EFUSE_57, 0x01);
    uint8_t s1 = 0, s2 = 0, b1 = 0, status = 0;
    const uint8_t f1 = efuse_read(0, 0, &s1, d);
    const uint8_t f2 = efuse_read(0, 1, &s2, d);
    const uint8_t x = (f1 == 0xFF && s1 == 0xFF && f2 == 0 && s2 == 0) ? 4 : 0;
    const uint8_t b0 = efuse_read(x, 0xB0, &b1, d);
    const uint8_t b2 = efuse_read(x, 0xB1, &status, d);
    bool valid = false;
    const uint32_t rclk = rclk_from_factory(b0, b1, b2, status, &valid);
    if (!valid)
        std::printf("Readback value invalid: 0x%08lX, use typical value instead.\n",
                    (unsigned long)((uint32_t(b2) << 16) + (uint32_t(b1) << 8) + b0));
    wr(d, B1_FACTORY_CTRL, 0x00);
    chgbank(0, d);
    wr(d, 0xF8, 0x00);
    return rclk;
}

void ite6805_drv::osc_calibration(uint8_t d)
{
    RCLK[d] = read_factory_rclk(d);
    const OscSettings s = osc_settings(RCLK[d]);
    cec_time_unit[d] = s.cec_unit;
    chgbank(3, d);
    set(d, B3_OSC_AA, 0x1F, 0x0C);
    chgbank(0, d);
    set(d, 0x91, 0x3F, s.r91);
    wr(d, 0x92, s.r92);
    chgbank(3, d);
    wr(d, B3_TIMER_E1, s.e1);
    chgbank(0, d);
    wr(d, 0x45, s.r45);
    wr(d, 0x44, s.r44);
    wr(d, 0x46, s.r46);
    wr(d, 0x47, s.r47);
    chgbank(5, d);
    wr(d, B5_D3, s.d3);
    wr(d, B5_D4, s.d4);
    chgbank(0, d);
}

// ---- audio ----------------------------------------------------------------------------------

void ite6805_drv::iTE6805_Show_AUD_Info(uint8_t d)
{
    static constexpr uint8_t kMask[6] = {1, 3, 7, 15, 31, 63};
    const uint8_t layout = rd(d, REG_AUD_STATUS) & 0x3F;
    int channels = 0;
    for (int i = 0; i < 6; ++i)
        if (layout == kMask[i])
            channels = 2 * (i + 1);
    std::printf("Audio: %d channels, Force_Sampling_Frequency 0x%02X, Audio_CH_Status 0x%02X\n", channels,
                sys_->iTE6805_DATA[d].Force_Sampling_Frequency, sys_->iTE6805_DATA[d].Audio_CH_Status);
}

void ite6805_drv::iTE6805_Enable_Audio_Output(uint8_t d)
{
    iTE6805_Data& D = sys_->iTE6805_DATA[d];
    uint8_t& errors = sys_->Current_AudioSamplingFreq_ErrorCount[d];
    set(d, REG_AUD_RESET, 0x01, 0x01);
    chgbank(2, d);
    uint8_t r[5];
    for (int i = 0; i < 5; ++i)
        r[i] = rd(d, uint8_t(B2_N0 + i));
    chgbank(0, d);
    const uint32_t n = (uint32_t(r[0]) << 12) + (uint32_t(r[1]) << 4) + (r[2] & 0x0F);
    const uint32_t cts = (r[2] >> 4) + (uint32_t(r[3]) << 12) + (uint32_t(r[4]) << 4);
    const uint32_t tmds = iTE6805_Get_TMDS(10, d);
    std::printf("N = %u, CTS = %u, TMDS = %u kHz\n", n, cts, tmds);
    if (cts == 0)
        return;
    const uint8_t code = audio_fs_code(audio_fs_khz(tmds, n, cts), D.Force_Sampling_Frequency);
    D.Force_Sampling_Frequency = code;
    const uint8_t source = channel_status_code(rd(d, REG_AUD_CH_STATUS));
    if (source == code) {
        std::printf("Audio_CH_Status == iTE6805_DATA.Force_Sampling_Frequency reset Audio \r\n");
        if (rd(d, REG_FORCE_FS) & 0x40) {
            set(d, REG_FORCE_FS, 0x40, 0x00);
            iTE6805_Reset_Audio_Logic(d);
        }
        D.Audio_CH_Status = source;
        errors = 0;
        return;
    }
    ++errors;
    std::printf("Current_AudioSamplingFreq_ErrorCount=%d \r\n", errors);
    if (errors >= 16) {
        set(d, REG_FORCE_FS, 0x40, 0x40);
        set(d, REG_FORCE_FS_CODE, 0x3F, code);
        D.Audio_CH_Status = code;
        errors = 0;
        iTE6805_Reset_Audio_Logic(d);
        std::printf("ForceAudio Mode\r\n");
    }
}

// ---- clocks and timing ----------------------------------------------------------------------

uint32_t ite6805_drv::iTE6805_Get_TMDS(uint8_t samples, uint8_t d)
{
    chgbank(port_bank(sys_->iTE6805_DATA[d].CurrentPort), d);
    uint32_t sum = 0;
    for (uint8_t i = 0; i < samples; ++i) {
        if (i)
            delay1ms(3);
        sum += uint8_t(rd(d, REG_TMDS_SUM) + 1);
    }
    const uint32_t mult = tmds_multiplier(rd(d, REG_TMDS_MULT));
    chgbank(0, d);
    return tmds_khz(RCLK[d], samples, mult, sum);
}

uint32_t ite6805_drv::iTE6805_Get_PCLK(uint8_t d)
{
    uint32_t sum = 0;
    for (uint32_t i = 1; i <= 20; ++i) {
        delay1ms(10 * i);
        set(d, REG_PCLK_HI, 0x80, 0x00);
        const uint8_t hi = rd(d, REG_PCLK_HI), lo = rd(d, REG_PCLK_LO);
        set(d, REG_PCLK_HI, 0x80, 0x80);
        sum += ((hi & 0x03u) << 8) + lo;
    }
    return pclk_khz(RCLK[d], sum);
}

// The timing registers, in the bank selected by the caller.
VidTiming ite6805_drv::read_timing(uint8_t d)
{
    uint8_t r[kTimingRegs];
    for (int i = 0; i < kTimingRegs; ++i)
        r[i] = rd(d, uint8_t(REG_TIMING + i));
    return decode_timing(r, older_silicon(sys_->iTE6805_DATA[d].ChipID));
}

// Whether the source's frame differs from the one measured last (totals and actives). The
// vertical total may differ by one line between the fields of an interlaced source.
bool ite6805_drv::timing_moved(uint8_t d)
{
    const iTE6805_Data& D = sys_->iTE6805_DATA[d];
    chgbank(port_bank(D.CurrentPort), d);
    const VidTiming now = read_timing(d);
    chgbank(0, d);
    const int vtotal_step = int(now.vtotal) - int(D.t.vtotal);
    return now.htotal != D.t.htotal || now.hactive != D.t.hactive || now.vactive != D.t.vactive ||
           vtotal_step > 1 || vtotal_step < -1;
}

void ite6805_drv::iTE6805_Get_VID_Info(uint8_t d)
{
    iTE6805_Data& D = sys_->iTE6805_DATA[d];
    const uint8_t bank = port_bank(D.CurrentPort);
    D.tmds_khz = iTE6805_Get_TMDS(1, d);
    chgbank(bank, d);
    D.pclk_khz = iTE6805_Get_PCLK(d);
    D.t = read_timing(d);
    D.interlaced = (rd(d, REG_INPUT_MODE) & 0x02) ? 1 : 0;
    const uint8_t pol = rd(d, REG_SYNC_POL);
    D.vpol = (pol & POL_V) ? 1 : 0;
    D.hpol = (pol & POL_H) ? 1 : 0;
    D.frame_rate = frame_rate(D.pclk_khz, D.t.htotal, D.t.vtotal);
    chgbank(0, d);
}

void ite6805_drv::iTE6805_Show_VID_Info(uint8_t d)
{
    const iTE6805_Data& D = sys_->iTE6805_DATA[d];
    std::printf("dev %d: %ux%u%s %u Hz, HTotal %u, HFP %u, HSW %u, HBP %u, VTotal %u, VFP %u, VSW %u, VBP %u, "
                "PCLK %u kHz, TMDS %u kHz\n",
                d, D.t.hactive, D.t.vactive, D.interlaced ? "i" : "p", D.frame_rate, D.t.htotal, D.t.hfp, D.t.hsync,
                D.t.hbp, D.t.vtotal, D.t.vfp, D.t.vsync, D.t.vbp, D.pclk_khz, D.tmds_khz);
    store_image_timing(d);
}
