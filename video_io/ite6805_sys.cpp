// IT6805 system: the object tree and the per-pass state machine (identification, video and
// audio states, V-by-One guard). Interrupts: ite6805_irq.cpp; publication: ite6805_publish.cpp.
#include "video_io/ite6805_sys.h"

#include <QMutexLocker>
#include <cstdio>
#include <cstring>

#include "core/TlxRamPara.h"
#include "core/c331_shared.h"
#include "core/utils.h"
#include "video_io/it6805_regs.h"
#include "video_io/source_status.h"
#include "video_io/zeltasource.h"

using namespace it6805;

namespace {
const char* const kStateV[] = {"STATEV_VideoOff", "STATEV_Unplug", "STATEV_WaitSync",
                               "STATEV_CheckSync", "STATEV_VidStable", "STATEV_Unknown"};
const char* statev_name(uint32_t s) { return kStateV[s < 5 ? s : 5]; }
}  // namespace

ite6805_sys::ite6805_sys()
    : i2c(new ite6805_i2c_rdwr(this)),
      drv(new ite6805_drv(this)),
      cec_sys(new ite6805_cec_sys),
      eq(new ite6805_eq(this)),
      cec_drv(new ite6805_cec_drv(this)),
      cec_feture(new ite6805_cec_feture)
{
}

ite6805_sys::~ite6805_sys()
{
    delete i2c;
    delete drv;
    delete cec_sys;
    delete eq;
    delete cec_drv;
    delete cec_feture;
}

void ite6805_sys::ite6805_sys_reset_init()
{
    for (uint8_t d = 0; d < 2; ++d) {
        restart(d);
        identify_failures[d] = 0;
        prevAVIDB[d] = 0;
        std::memset(aud_snapshot[d], 0, sizeof aud_snapshot[d]);
        aud_first[d] = 1;
        deskewerrcnt[d] = deskew_escalation[d] = 0;
        std::memset(symlock_count[d], 0, sizeof symlock_count[d]);
        ecc_count[d] = ecc_escalation[d] = 0;
        avi_changed[d] = 0;
        Current_SCDTCheck_Count[d] = 0;
        aud_wait[d] = aud_hold[d] = 0;
        Current_AudioSamplingFreq_ErrorCount[d] = 0;
        clk_stable_count[d] = 0;
        last_scdt[d] = 0;
        std::memset(colour_snapshot[d], 0, sizeof colour_snapshot[d]);
        vpol_changed[d] = 0;
        hdcp_recheck[d] = 0;
        audio_window[d] = 0;
        reserved_254[d] = 254;
    }
}

void ite6805_sys::restart(uint8_t d)
{
    init_state[d & 1] = 0;
    drop_video(d & 1);
}

void ite6805_sys::drop_video(uint8_t d)
{
    iTE6805_Data& D = iTE6805_DATA[d];
    if (D.STATEV == STATEV_VidStable)
        withdraw_timing(d);
    D.STATEV = STATEV_Unplug;
    D.Flag_VidStable_Done = 0;
}

// ---- the pass -------------------------------------------------------------------------------

void ite6805_sys::iTE6805_FSM(uint8_t device)
{
    const uint8_t d = device & 1;
    // The supervision selected our channel just before; when that failed another receiver
    // would get our bytes, so the pass is skipped.
    if (!channel_selected(d)) {
        if (skipped_passes[d]++ % 1000 == 0)
            std::printf("iTE6805_FSM dev %d: switch channel 0x%02X not selected, pass skipped\n", d, channel(d));
        return;
    }
    in_fsm_ = true;
    if (init_state[d] == 0)
        identify(d);
    else
        main_body(d);
    in_fsm_ = false;
}

void ite6805_sys::set_chip_present(uint8_t d, bool present)
{
    source_status::set_bits(STATUS_CHIP_PRESENT, uint8_t(d ? 0x40 : 0x20), present);
}

void ite6805_sys::identify(uint8_t d)
{
    uint8_t id[4];
    bool ok = true;
    for (uint8_t r = 0; r < 4 && ok; ++r)
        id[r] = i2c->hdmirxrd(r, d, &ok);
    if (!ok || id[0] != 0x54 || id[1] != 0x49 || id[3] != 0x68 || (id[2] & 0xFD) != 0x05) {
        set_chip_present(d, false);
        ++identify_failures[d];
        return;
    }
    set_chip_present(d, true);
    // A chip that stopped answering half-way is not initialised: the next pass starts again.
    if (drv->iTE6805_Init_fsm(d))
        init_state[d] = 1;
    else
        std::printf("iTE6805 dev %d: bus failures during initialisation, retrying\n", d);
}

void ite6805_sys::main_body(uint8_t d)
{
    iTE6805_Data& D = iTE6805_DATA[d];
    // A pass that cannot read the port and video status changes no state.
    bool ok_port = false, ok_vid = false;
    i2c->hdmirxrd(D.CurrentPort ? REG_P1_STATUS : REG_P0_STATUS, d, &ok_port);
    i2c->hdmirxrd(REG_VID_STATUS, d, &ok_vid);
    if (!ok_port || !ok_vid)
        return;

    if (D.port_reset_request)
        D.port_reset_request = 0;  // never raised: only the initialisation clears it
    if (D.port_select_request)
        port_select(d);
    if (D.STATEV > STATEV_Unplug) {
        port_irq(d);
        if (D.CurrentPort)
            eq->iTE6805_hdmirx_port1_EQ_irq(d);
        else
            eq->iTE6805_hdmirx_port0_EQ_irq(d);
        // An unplug served by the port handler must not be undone by the sync loss that
        // came with it.
        if (D.STATEV > STATEV_Unplug)
            common_irq(d);
    }
    cec_drv->iTE6805_hdmirx_CEC_irq(d);
    eq->iTE6805_EQ_fsm(d);
    vid_fsm(d);
    publish(d);
    aud_fsm(d);
    vbo_guard(d);
}

void ite6805_sys::port_select(uint8_t d)
{
    iTE6805_Data& D = iTE6805_DATA[d];
    D.port_select_request = 0;
    std::printf("\n\nCustomer Setting Current Port = %d ! \n\n", D.port_select_target);
    if (D.port_select_target == D.CurrentPort)
        return;
    const uint8_t port = D.port_select_target & 1;
    drv->set(d, REG_PORT_SEL, 0x01, port);
    drv->hpd_ctrl(uint8_t(!port), 0, d);
    D.CurrentPort = port;
    for (uint8_t phy : {uint8_t(3), uint8_t(7)}) {
        drv->chgbank(phy, d);
        drv->set(d, PHY_SCDC_E5, 0x1C, 0x00);
    }
    drv->chgbank(0, d);
    drv->wr(d, 0x25, 0x00);
    drv->wr(d, 0x26, port ? 0xFF : 0x00);
    drv->wr(d, 0x27, port ? 0xFF : 0x00);
    drv->wr(d, 0x2A, port ? 0x3A : 0x01);
    drv->set(d, 0x2D, 0x6F, port ? 0x00 : 0x6F);
    drv->wr(d, 0x2E, port ? 0x00 : 0xFF);
    drv->wr(d, 0x2F, port ? 0x00 : 0xFF);
    drv->wr(d, 0x32, port ? 0x01 : 0x3E);
    drv->chgbank(3, d);
    drv->set(d, 0xA8, 0x08, port ? 0x00 : 0x08);
    drv->chgbank(7, d);
    drv->set(d, 0xA8, 0x08, port ? 0x08 : 0x00);
    drv->chgbank(port ? 4 : 0, d);
    drv->set(d, 0xC5, 0x10, 0x10);
    drv->delay1ms(1);
    drv->set(d, 0xC5, 0x10, 0x00);
    drv->chgbank(0, d);
    D.STATEEQ = STATEEQ_Off;
    eq->iTE6805_EQ_chg(STATEEQ_Off, d);
    port_5v_change(port, d);
}

void ite6805_sys::port_5v_change(uint8_t port, uint8_t d)
{
    bool ok = false;
    const uint8_t st = drv->rd(d, port ? REG_P1_STATUS : REG_P0_STATUS, &ok);
    if (!ok)
        return;
    if (!(st & ST_5V)) {
        drv->hpd_ctrl(port, 0, d);
        iTE6805_vid_chg(STATEV_Unplug, d);
        iTE6805_DATA[d].STATEEQ = STATEEQ_Off;
        eq->iTE6805_EQ_chg(STATEEQ_Off, d);
    } else {
        iTE6805_vid_chg(STATEV_WaitSync, d);
        drv->hpd_ctrl(port, 1, d);
    }
}

// ---- video ----------------------------------------------------------------------------------

// Without stable video the image's record reads "no signal" (the panel's input icons and the
// remote tool go by it), as the IT6602 inputs' do; the next stable video stores it again.
void ite6805_sys::withdraw_timing(uint8_t d)
{
    if (zeltasource* zs = zeltasource::p_zelta_source) {
        QMutexLocker lk(&Utils::_source_hdminfo_mutex);
        zs->hdminfo[4 + d].stable = 0;
    }
    source_status::publish_timing(4 + d, 0, 0, 0);
}

void ite6805_sys::video_stable_setup(uint8_t d)
{
    drv->iTE6805_Get_AVIInfoFrame_Info(d);
    drv->iTE6805_Get_VID_Info(d);
    update_color_change(d, uint8_t(iTE6805_DATA[d].AVIInfoFrame_Input_ColorFormat << 5));
    drv->iTE6807_Video_Output_Setting(d);
    drv->iTE6805_Set_1B0_By_PixelClock(d);
    drv->iTE6805_Enable_Video_Output(d);
}

// The set-up measures for seconds and may reset the video logic, which clears a pending sync
// change: a source that changed its timing meanwhile is looked at again, so the new timing is
// followed as a later change is.
bool ite6805_sys::sync_changed_in_setup(uint8_t d)
{
    const bool kept = iTE6805_DATA[d].sync_change_kept;
    iTE6805_DATA[d].sync_change_kept = 0;
    return kept || drv->timing_moved(d);
}

void ite6805_sys::iTE6805_vid_chg(uint32_t state, uint8_t d)
{
    iTE6805_Data& D = iTE6805_DATA[d];
    const uint32_t old = D.STATEV;
    D.STATEV = state;
    if (state != prev_statev_[d] || state != old)
        std::printf("[iTE6805_vid_chg] dev_id:%d old_statev: %s -> %s\n", d, statev_name(old), statev_name(state));
    prev_statev_[d] = state;
    if (old == STATEV_VidStable && state != STATEV_VidStable)
        withdraw_timing(d);
    switch (state) {
    case STATEV_VideoOff:
        drv->hpd_ctrl(0, 0, d);
        drv->hpd_ctrl(1, 0, d);
        break;
    case STATEV_Unplug: {
        drv->chgbank(D.CurrentPort ? 7 : 3, d);
        drv->set(d, PHY_SCDC_E5, 0x1C, 0x00);
        drv->chgbank(0, d);
        D.Flag_VidStable_Done = 0;
        prevAVIDB[d] = 0;
        std::memset(aud_snapshot[d], 0, 3);
        deskewerrcnt[d] = 0;
        std::memset(symlock_count[d], 0, 3);
        clk_stable_count[d] = 0;
        hdcp_recheck[d] = 1;
        drv->wr(d, REG_P0_INT3, 0x04);
        drv->wr(d, REG_P1_INT3, 0x04);
        drv->wr(d, REG_RESET, 0x12);
        drv->wr(d, REG_RESET, 0x10);
        for (uint8_t reg : {REG_P0_RESET, REG_P1_RESET}) {
            drv->set(d, reg, 0xFD, 0xAD);
            drv->set(d, reg, 0xFD, 0xA0);
        }
        cec_drv->iTE6805_CEC_INIT(d);
        std::printf("VidState change to STATEV_Unplug state\n");
        drv->iTE6805_Set_Video_Tristate(true, d);
        break;
    }
    case STATEV_WaitSync:
        D.Flag_VidStable_Done = 0;
        deskewerrcnt[d] = 0;
        clk_stable_count[d] = 0;
        std::printf("VidState change to STATEV_WaitSync state\n");
        drv->iTE6805_Set_Video_Tristate(true, d);
        break;
    case STATEV_CheckSync:
        Current_SCDTCheck_Count[d] = 6;
        std::printf("VidState change to STATEV_CheckSync state\n");
        break;
    case STATEV_VidStable:
        std::printf("VidState change to STATEV_VidStable state\n");
        drv->wr(d, 0x90, 0x8F);
        D.sync_change_kept = 0;
        video_stable_setup(d);
        if (sync_changed_in_setup(d)) {
            std::printf("Sync changed while the video was set up, lock again\n");
            iTE6805_vid_chg(STATEV_WaitSync, d);
            break;
        }
        drv->iTE6805_Set_AVMute(true, d);
        iTE6805_aud_chg(STATEA_RequestAudio, d);
        drv->iTE6805_Set_Video_Tristate(false, d);
        D.Flag_VidStable_Done = 1;
        if (D.STATEEQ == STATEEQ_KeepEQStateUntil5VOff) {
            std::printf("Release state STATEEQ_KeepEQStateUntil5VOff to normal state(STATEEQ_EQDone)!!!\n");
            D.STATEEQ = STATEEQ_EQDone;
            eq->iTE6805_EQ_chg(STATEEQ_EQDone, d);
        }
        drv->iTE6805_Show_VID_Info(d);
        break;
    default:
        std::printf("ERROR: VidState change to Unknown state !!!\n");
        break;
    }
}

void ite6805_sys::vid_stable_pass(uint8_t d)
{
    iTE6805_Data& D = iTE6805_DATA[d];
    if (avi_changed[d]) {
        std::printf("!!! New AVI InfoFrmae in STATEV_VidStable !!!\n");
        D.sync_change_kept = 0;
        video_stable_setup(d);
        avi_changed[d] = 0;
        if (sync_changed_in_setup(d)) {
            iTE6805_vid_chg(STATEV_WaitSync, d);
            return;
        }
        drv->iTE6805_Show_VID_Info(d);
        drv->iTE6805_Set_Video_Tristate(false, d);
    }
    if ((drv->rd(d, REG_AVMUTE_CTRL) & 0x20) && !drv->iTE6805_Check_AVMute(d))
        drv->iTE6805_Set_AVMute(false, d);
    if (++audio_window[d] >= 50) {
        audio_window[d] = 0;
        if (Current_AudioSamplingFreq_ErrorCount[d] < 6)
            Current_AudioSamplingFreq_ErrorCount[d] = 0;
    }
    if (!(drv->rd(d, REG_FORCE_FS) & 0x40))
        D.Audio_CH_Status = channel_status_code(drv->rd(d, REG_AUD_CH_STATUS));
}

void ite6805_sys::vid_fsm(uint8_t d)
{
    iTE6805_Data& D = iTE6805_DATA[d];
    switch (D.STATEV) {
    case STATEV_VideoOff:
        break;
    case STATEV_Unplug:
        if (drv->iTE6805_Check_5V_State(D.CurrentPort, d))
            port_5v_change(D.CurrentPort, d);
        break;
    case STATEV_WaitSync:
        if (drv->iTE6805_Check_SCDT(d)) {
            iTE6805_vid_chg(STATEV_CheckSync, d);
        } else if (drv->iTE6805_Check_CLK_Stable(d) && ++clk_stable_count[d] >= 7) {
            clk_stable_count[d] = 0;
            drv->iTE6805_Set_47_By_TMDS(d);
        }
        break;
    case STATEV_CheckSync: {
        uint8_t& n = Current_SCDTCheck_Count[d];
        if (n == 0) {
            iTE6805_vid_chg(STATEV_VidStable, d);
            break;
        }
        drv->chgbank(2, d);
        const uint8_t avidb = drv->rd(d, 0x15);
        drv->chgbank(0, d);
        if (n >= 6 || avidb == prevAVIDB[d])
            --n;
        prevAVIDB[d] = avidb;
        break;
    }
    case STATEV_VidStable:
        vid_stable_pass(d);
        break;
    default:
        std::printf("Video State Error !!!\n");
        break;
    }
}

// ---- audio ----------------------------------------------------------------------------------

void ite6805_sys::iTE6805_aud_chg(uint32_t state, uint8_t d)
{
    iTE6805_Data& D = iTE6805_DATA[d];
    if (D.STATEA == state)
        return;
    D.STATEA = state;
    switch (state) {
    case STATEA_AudioOff:
    case STATEA_RequestAudio:
        std::printf("AudState change to STATEA_RequestAudio state !!!\n");
        Current_AudioSamplingFreq_ErrorCount[d] = 0;
        drv->set(d, REG_FORCE_FS, 0x40, 0x00);
        drv->chgbank(1, d);
        drv->wr(d, B1_AUD_OUT, 0x7F);
        drv->chgbank(0, d);
        break;
    case STATEA_WaitForReady:
        std::printf("AudState change to STATEA_WaitForReady state !!!\n");
        drv->set(d, REG_AUD_CTRL, 0x10, 0x10);
        drv->set(d, REG_AUD_CTRL, 0x10, 0x00);
        aud_wait[d] = 4;
        break;
    case STATEA_AudioOn:
        drv->iTE6805_Show_AUD_Info(d);
        std::printf("AudState change to STATEA_AudioOn state !!!\n");
        drv->iTE6805_Enable_Audio_Output(d);
        drv->chgbank(1, d);
        drv->wr(d, B1_AUD_OUT, 0x00);
        drv->chgbank(0, d);
        break;
    default:
        std::printf("ERROR: AudState change to Unknown state !!!\n");
        break;
    }
}

void ite6805_sys::aud_fsm(uint8_t d)
{
    iTE6805_Data& D = iTE6805_DATA[d];
    switch (D.STATEA) {
    case STATEA_AudioOff:
        break;
    case STATEA_RequestAudio:
        aud_first[d] = 1;
        std::memset(aud_snapshot[d], 0, 3);
        iTE6805_aud_chg(STATEA_WaitForReady, d);
        break;
    case STATEA_WaitForReady: {
        if (aud_wait[d] > 0) {
            --aud_wait[d];
            break;
        }
        drv->chgbank(D.CurrentPort ? 4 : 0, d);
        const uint8_t err = drv->rd(d, REG_AUD_ERR);
        drv->chgbank(0, d);
        if (err & 0xC0)
            drv->iTE6805_Reset_Audio_Logic(d);
        if (!drv->iTE6805_Check_SCDT(d) || !drv->iTE6805_Check_AUDT(d)) {
            aud_wait[d] = 4;
            break;
        }
        iTE6805_aud_chg(STATEA_AudioOn, d);
        break;
    }
    case STATEA_AudioOn: {
        if (aud_hold[d] > 0) {
            --aud_hold[d];
            break;
        }
        aud_hold[d] = 3;
        const uint8_t now[3] = {uint8_t(drv->rd(d, REG_AUD_INFO0) & 0xF0), drv->rd(d, REG_AUD_STATUS),
                                uint8_t(drv->rd(d, REG_AUD_INFO2) & 0x02)};
        if (aud_first[d]) {
            std::memcpy(aud_snapshot[d], now, 3);
            aud_first[d] = 0;
            drv->set(d, REG_AUD_CTRL, 0x08, 0x08);
        } else if (std::memcmp(aud_snapshot[d], now, 3) != 0) {
            iTE6805_aud_chg(STATEA_RequestAudio, d);
        }
        break;
    }
    default:
        std::printf("Audio State Error !!!\n");
        break;
    }
}

// ---- V-by-One guard -------------------------------------------------------------------------

void ite6805_sys::vbo_guard(uint8_t d)
{
    iTE6805_Data& D = iTE6805_DATA[d];
    if (D.Flag_VidStable_Done)
        D.av_mute = drv->iTE6805_Check_AVMute(d);
    if (older_silicon(D.ChipID))
        return;
    if (!D.Flag_VidStable_Done && D.STATEV == STATEV_VidStable)
        return;
    drv->chgbank(5, d);
    bool ok = false;
    const uint8_t c9 = drv->rd(d, B5_VBO_SWITCH, &ok);
    if (ok && D.Flag_VidStable_Done && (c9 & 0x01)) {
        drv->wr(d, B5_VBO_SWITCH, VBO_ON);
        std::printf("Video Stable Done but VB1 output off, need to turn on! \r\n");
    } else if (ok && !D.Flag_VidStable_Done && !(c9 & 0x01)) {
        drv->wr(d, B5_VBO_SWITCH, VBO_OFF);
        std::printf("Video is not stable, need to turn of VB1 otuput! \r\n");
    }
    drv->chgbank(0, d);
}
