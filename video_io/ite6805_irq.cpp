// IT6805 interrupt handlers: the current port's status interrupts (mode, ECC, deskew, clock,
// 5 V, symbol lock, SCDC) and the common ones (HDCP, SCDT, AV mute, AVI infoframe).
#include <cstdio>
#include <cstring>

#include "video_io/it6805_regs.h"
#include "video_io/ite6805_sys.h"

using namespace it6805;

// ---- interrupts -----------------------------------------------------------------------------

void ite6805_sys::ecc_error(uint8_t port, uint8_t d)
{
    uint8_t& n = ecc_count[d];
    ++n;
    if (n < 6)
        return;
    if (n % 3 == 0)
        drv->set(d, REG_CLK_ECC, 0x04, 0x04);
    if (n < 11)
        return;
    n = 0;
    if (++ecc_escalation[d] < 3) {
        iTE6805_DATA[d].STATEEQ = STATEEQ_KeepEQStateUntil5VOff;
        drv->hpd_ctrl(port, 0, d);
        const uint8_t reg = port ? REG_P1_RESET : REG_P0_RESET;
        if (!(drv->rd(d, reg) & 0x02)) {
            drv->set(d, reg, 0x02, 0x02);
            drv->delay1ms(300);
            drv->set(d, reg, 0x02, 0x00);
        } else {
            drv->delay1ms(300);
        }
        drv->hpd_ctrl(port, 1, d);
        return;
    }
    ecc_escalation[d] = 0;
    iTE6805_DATA[d].STATEEQ = STATEEQ_Off;
    eq->iTE6805_EQ_chg(STATEEQ_Off, d);
    drv->iTE6805_Reset_ALL_Logic(port, d);
}

void ite6805_sys::port_irq(uint8_t d)
{
    iTE6805_Data& D = iTE6805_DATA[d];
    const uint8_t port = D.CurrentPort;
    const uint8_t r1 = port ? REG_P1_INT1 : REG_P0_INT1, r2 = port ? REG_P1_INT2 : REG_P0_INT2;
    const uint8_t r3 = port ? REG_P1_INT3 : REG_P0_INT3, r4 = port ? REG_P1_INT4 : REG_P0_INT4;
    const uint8_t s1 = drv->rd(d, r1), s2 = drv->rd(d, r2), s3 = drv->rd(d, r3), s4 = drv->rd(d, r4);
    drv->wr(d, r1, s1);
    drv->wr(d, r2, s2);
    drv->wr(d, r3, s3);
    drv->wr(d, r4, port ? s4 : uint8_t(s4 & ~S4_HDCP_ENC_CHANGE));  // bit 2 is the common handler's

    if ((s1 & S1_MODE_CHANGE) && drv->iTE6805_Check_CLK_Vaild(d)) {
        const bool dvi = drv->iTE6805_Check_HDMI_OR_DVI_Mode(port, d) == 2;
        if (dvi)
            iTE6805_aud_chg(STATEA_AudioOff, d);
        if (D.STATEV == STATEV_VidStable)
            drv->iTE6805_Enable_Video_Output(d);
        if (!dvi)
            iTE6805_aud_chg(STATEA_RequestAudio, d);
    }
    if (s1 & S1_ECC_ERROR)
        ecc_error(port, d);
    if (s1 & S1_DESKEW_ERROR) {
        if (++deskewerrcnt[d] > 6 && !drv->iTE6805_Check_HDMI2(d)) {
            deskewerrcnt[d] = 0;
            eq->iTE6805_EQ_chg(STATEEQ_Start, d);
            if (++deskew_escalation[d] >= 3) {
                deskew_escalation[d] = 0;
                drv->iTE6805_Reset_ALL_Logic(port, d);
            }
        }
    }
    if (s1 & S1_H2V_SKEW)
        std::printf("H2VSkew Fail\n");
    if (s1 & S1_CLK_CHANGE) {
        std::memset(symlock_count[d], 0, 3);
        if (!drv->iTE6805_Check_CLK_Stable(d)) {
            D.hdcp_state = 0;
            eq->iTE6805_EQ_chg(STATEEQ_Off, d);
            eq->iTE6805_EQ_chg(STATEEQ_Start, d);
        }
    }
    if (s1 & S1_CLK_ON)
        ecc_count[d] = 0;
    if (s1 & S1_5V_CHANGE)
        port_5v_change(port, d);

    const bool mhl = drv->iTE6805_Check_PORT0_IS_MHL_Mode(port, d);
    if ((s2 & S2_CH2_RESET) && !mhl)
        ++symlock_count[d][2];
    if ((s2 & S2_CH1_RESET) && !mhl)
        ++symlock_count[d][1];
    if (s2 & S2_CH0_RESET) {
        ++symlock_count[d][0];
        if (port == 0 && (s1 & S1_CLK_CHANGE) && (s2 & 0x70) == 0x70) {
            std::printf("# Symbol lock call STATEV_WaitSync #\n");
            iTE6805_vid_chg(STATEV_WaitSync, d);
        }
        const uint8_t* c = symlock_count[d];
        if (c[0] >= 21 && c[1] >= 21 && c[2] >= 21 && D.STATEEQ == STATEEQ_Off && !drv->iTE6805_Check_HDMI2(d)) {
            std::printf("# Force set SCDC to 1/40#\n");
            drv->chgbank(port ? 7 : 3, d);
            drv->set(d, PHY_SCDC_E5, 0x1C, 0x1C);
            drv->chgbank(0, d);
        }
    }
    if (s2 & S2_SYMLOCK_CHANGE) {
        const uint8_t st2 = drv->rd(d, port ? REG_P1_STATUS2 : REG_P0_STATUS2);
        if ((st2 & ST2_SYMLOCK) == ST2_SYMLOCK && D.STATEEQ == STATEEQ_Off) {
            eq->iTE6805_EQ_chg(STATEEQ_Off, d);
            eq->iTE6805_EQ_chg(STATEEQ_Start, d);
        }
    }
    if (s3 & S3_CLK_RATIO_CHANGE) {
        iTE6805_vid_chg(STATEV_WaitSync, d);
        eq->iTE6805_EQ_chg(STATEEQ_Off, d);
        eq->iTE6805_EQ_chg(STATEEQ_Start, d);
    }
    if (s3 & S3_4C)
        drv->set(d, 0x4C, 0x80, 0x80);
    if (s4 & (S4_HDCP_AUTH_START | S4_HDCP_ENC_OFF))
        ecc_count[d] = 0;
}

void ite6805_sys::update_color_change(uint8_t d, uint8_t avidb)
{
    const uint8_t colour = (avidb >> 5) & 0x03;
    iTE6805_DATA[d].color_change_bits = uint8_t(colour != colour_snapshot[d][0]);
    colour_snapshot[d][0] = colour;
}

void ite6805_sys::scdt_change(uint8_t d)
{
    const iTE6805_Data& D = iTE6805_DATA[d];
    bool ok = false;
    const uint8_t scdt = (drv->rd(d, REG_VID_STATUS, &ok) & VID_SCDT) ? 1 : 0;
    if (!ok)
        return;  // a chip that stopped answering has not lost the sync
    auto older_1c_step = [&] {
        if (older_silicon(D.ChipID) && (drv->rd(d, REG_HDCP_1C) & 0x80))
            drv->set(d, REG_HDCP_1C, 0x80, 0x80);
    };
    if (scdt != last_scdt[d]) {
        last_scdt[d] = scdt;
        if (!scdt) {
            iTE6805_vid_chg(STATEV_WaitSync, d);
            iTE6805_aud_chg(STATEA_AudioOff, d);
        } else {
            older_1c_step();
            iTE6805_vid_chg(STATEV_CheckSync, d);
        }
        return;
    }
    if (older_silicon(D.ChipID)) {
        older_1c_step();
    } else if (scdt) {
        drv->chgbank(5, d);
        if (drv->rd(d, B5_VBO_SWITCH) == VBO_OFF)
            drv->wr(d, B5_VBO_SWITCH, VBO_ON);
        drv->chgbank(0, d);
    }
}

void ite6805_sys::common_irq(uint8_t d)
{
    iTE6805_Data& D = iTE6805_DATA[d];
    const uint8_t r09 = drv->rd(d, REG_P0_INT4);
    if (r09 & S4_HDCP_ENC_CHANGE) {
        drv->wr(d, REG_P0_INT4, S4_HDCP_ENC_CHANGE);
        const uint8_t cf = drv->rd(d, 0xCF), d6 = drv->rd(d, 0xD6);
        D.hdcp_state = (cf & 0x20) ? ((d6 & 0xC0) ? 256 : 1) : 0;
    }
    const uint8_t r10 = drv->rd(d, REG_SYS_INT0);
    drv->wr(d, REG_SYS_INT0, r10);
    if (!older_silicon(D.ChipID) && (r10 & SYS0_SCDT_CHANGE)) {
        std::printf("SCDT change INT happened, trun off VB1 output \r\n");
        drv->set_vbo_output(false, d);
    }
    if ((r10 & SYS0_AUDIO) && D.STATEV == STATEV_VidStable) {
        drv->iTE6805_Reset_Audio_Logic(d);
        drv->iTE6805_Enable_Audio_Output(d);
    }
    if ((r10 & SYS0_AVMUTE_OFF) && D.Flag_VidStable_Done)
        drv->iTE6805_Set_AVMute(false, d);
    if ((r10 & SYS0_AVMUTE_ON) && D.Flag_VidStable_Done)
        drv->iTE6805_Set_AVMute(true, d);
    if (r10 & SYS0_SCDT_CHANGE)
        scdt_change(d);

    const uint8_t r11 = drv->rd(d, REG_SYS_INT1);
    drv->wr(d, REG_SYS_INT1, uint8_t(r11 & ~0x40));
    const uint8_t r12 = drv->rd(d, REG_SYS_INT2);
    drv->wr(d, REG_SYS_INT2, uint8_t(r12 & ~0xA0));
    if (r12 & SYS2_VID_PARAM_CHANGE)
        drv->wr(d, REG_SYS_INT2, SYS2_VID_PARAM_CHANGE);
    if (r12 & SYS2_NEW_AVI) {
        drv->chgbank(2, d);
        const uint8_t avidb = drv->rd(d, 0x15);
        drv->chgbank(0, d);
        if (!D.Flag_VidStable_Done) {
            prevAVIDB[d] = avidb;
        } else {
            update_color_change(d, avidb);
            if (avidb != prevAVIDB[d]) {
                prevAVIDB[d] = avidb;
                avi_changed[d] = 1;
            }
        }
    }
    const uint8_t r1d = drv->rd(d, REG_SYS_INT_HDCP);
    drv->wr(d, REG_SYS_INT_HDCP, r1d);
    drv->wr(d, REG_SYS_INT_D4, drv->rd(d, REG_SYS_INT_D4));
    drv->wr(d, REG_SYS_INT_D5, drv->rd(d, REG_SYS_INT_D5));
    if ((r1d & 0x08) && !drv->iTE6805_Check_HDMI2(d) && hdcp_recheck[d]) {
        hdcp_recheck[d] = 0;
        if (!eq->iTE6805_BitErr_Check_Again(d))
            eq->iTE6805_EQ_chg(STATEEQ_Start, d);
    }
}
