// IT6602 interrupt handler: cable power, clock, sync, AV mute, audio FIFO, infoframes and
// equaliser events, read and cleared once per step.
#include "video_io/zelta_it6602.h"

#include <QMutexLocker>
#include <cstdio>
#include <cstring>

#include "core/TlxRamPara.h"
#include "core/utils.h"
#include "platform/clock.h"
#include "video_io/it6602_regs.h"
#include "video_io/source_status.h"
#include "video_io/zeltasource.h"

using namespace it6602;

// ---- interrupts ------------------------------------------------------------------------------

void zelta_it6602::IT6602_Interrupt(int r)
{
    IT6602_dev_data& d = dev[r];
    if (d.video_state == VSTATE_Off)
        return;
    uint8_t irq[5];
    for (int i = 0; i < 5; ++i)
        irq[i] = hdmirxrd_it6602(uint8_t(REG_INT0 + i));
    const uint8_t eq_irq = hdmirxrd_it6602(REG_INT_EQ);
    for (int i = 0; i < 5; ++i)
        if (irq[i])
            hdmirxwr_it6602(uint8_t(REG_INT0 + i), irq[i]);
    if (eq_irq)
        hdmirxwr_it6602(REG_INT_EQ, uint8_t(eq_irq & 0x0F));  // its events (bits 4..7) are not written

    const int sel = d.port == 1 ? 1 : 0;
    for (int port = 0; port < 2; ++port) {
        const uint8_t ev = irq[port];
        if (ev & INT_5V) {
            chgbank_it6602(1);
            hdmirxset_it6602(B1_PLL0, 0x60, 0x00);
            hdmirxset_it6602(B1_PLL1, 0x60, 0x00);
            chgbank_it6602(0);
            pll_checks[r] = 0;
            if (port == sel && power_5v(port)) {
                IT6602SwitchVideoState(r, VSTATE_SyncWait);
                IT6602HPDCtrl(r, port, 1);
            } else if (port == sel) {
                video_output_off(r);  // the record is zero before hot-plug goes low
                IT6602HPDCtrl(r, port, 0);
                IT6602SwitchVideoState(r, VSTATE_SWReset);
            } else {
                IT6602HPDCtrl(r, port, power_5v(port));
            }
        }
        if ((ev & INT_CLOCK) && clock_stable(port))
            TMDSCheck(r, port);
        if ((ev & INT_PORT) && !(hdmirxrd_it6602(REG_PLL_STATUS) & (port ? 0x80 : 0x40))) {
            chgbank_it6602(1);
            hdmirxset_it6602(port ? B1_PLL1 : B1_PLL0, 0x60, 0x00);
            chgbank_it6602(0);
            pll_checks[r] = 0;
        }
        if (ev & (INT_EQ_A | INT_EQ_B)) {
            const uint8_t shift = uint8_t(port * 4);
            d.eq_events |= uint8_t(0x05 << shift);
            d.eq_countdown[port] = 3;
        }
        if ((ev & INT_HDMI_MODE) && clock_stable(port)) {
            if (hdmirxrd_it6602(REG_HDMI_MODE) & 0x01)
                d.flags |= FLAG_HDMI;
            else
                d.flags &= uint8_t(~FLAG_HDMI);
        }
        if ((ev & INT_ECC) && !d.eq[port].busy && ++d.ecc_errors[port] >= 23) {
            d.ecc_errors[port] = 0;
            hdmirx_ECCTimingOut(r, port);
        }
    }

    const uint8_t i2 = irq[2];
    if ((i2 & INT2_0) && address == ADDR_B && !(hdmirxrd_it6602(REG_STATUS0) & ST_HDMI)) {
        chgbank_it6602(1);
        hdmirxset_it6602(0xB6, 0x07, 0x03);
        hdmirxset_it6602(B1_PLL0, 0x20, 0x00);
        hdmirxset_it6602(REG_ECC0, 0x07, 0x04);
        chgbank_it6602(0);
    }
    if (i2 & INT2_SYNC) {
        if (sync_detected()) {
            IT6602SwitchVideoState(r, VSTATE_SyncChecking);
        } else {
            IT6602SwitchVideoState(r, VSTATE_SyncWait);
            IT6602SwitchAudioState(r, ASTATE_AudioOff);
        }
    }
    if (i2 & INT2_AVMUTE_SET)
        hdmirxset_it6602(REG_VIDEO_CTRL, 0x8F, 0x8F);
    if (i2 & INT2_AVMUTE_CLR)
        lift_mute(r);
    if (i2 & INT2_AUDIO_FIFO)
        reset_audio_fifo();
    if ((irq[3] & INT3_3D) && !d.frame_3d)
        configure_3d(r);
    if (irq[4] & INT4_AVI) {
        chgbank_it6602(2);
        const uint8_t a0 = hdmirxrd_it6602(B2_AVI0), a1 = hdmirxrd_it6602(B2_AVI0 + 1);
        chgbank_it6602(0);
        if (a0 != d.avi[0] || a1 != d.avi[1]) {
            d.avi[0] = a0;
            d.avi[1] = a1;
            d.flags |= FLAG_NEW_AVI;
        }
    }
    if ((irq[4] & INT4_DESKEW) && ++d.deskew_errors[sel] >= 23) {
        d.deskew_errors[sel] = 0;
        flip_eq_force(sel);
    }
    for (int port = 0; port < 2; ++port) {
        const uint8_t done = uint8_t(0x10 << (2 * port)), failed = uint8_t(0x20 << (2 * port));
        if (eq_irq & done)
            AmpValidCheck(r, port);
        if (eq_irq & failed) {
            DisableOverWriteRS(r, port);
            HDMIStartEQDetect(r, port);
        }
    }
}

void zelta_it6602::reset_audio_fifo()
{
    hdmirxset_it6602(REG_AUDIO_FIFO, 0x0C, 0x0C);
    platform::sleep_ms(100);
    hdmirxset_it6602(REG_AUDIO_FIFO, 0x0C, 0x00);
    hdmirxset_it6602(REG_AUDIO_RESET, 0x02, 0x02);
    hdmirxset_it6602(REG_AUDIO_RESET, 0x02, 0x00);
    const uint8_t v = hdmirxrd_it6602(REG_AUDIO_FIFO_RST);
    for (int i = 0; i < 4; ++i)
        hdmirxwr_it6602(REG_AUDIO_FIFO_RST, v);
}

// A vendor infoframe announcing 3D (OUI 00-0C-03, HDMI video format 2). Top-and-bottom and
// side-by-side pass through as they are; frame packing needs the sync generator programmed
// from the row of its video code in t_3d_syncgen. No input of this board sends frame packing,
// so the table holds no rows and such a frame is passed as it is too.
void zelta_it6602::configure_3d(int r)
{
    static constexpr uint8_t t_3d_syncgen[][24] = {{255}};  // video code, sync generator values
    chgbank_it6602(2);
    uint8_t vsif[9] = {};
    const bool ok = bus_.i2c_read(fd, address, B2_VSIF, vsif, sizeof vsif) == 1;
    uint8_t vic = hdmirxrd_it6602(0x18);
    chgbank_it6602(0);
    dev[r].frame_3d = 1;
    if (!ok || vsif[0] != 0x81 || vsif[4] != 0x03 || vsif[5] != 0x0C || vsif[6] != 0x00)
        return;
    if ((vsif[7] >> 5) != 2 || (vsif[8] >> 4) != 0)
        return;  // not 3D, or top-and-bottom (6) / side-by-side (8)
    vic &= 0x7F;
    for (const auto& row : t_3d_syncgen) {
        if (row[0] == 255 || row[0] != vic)
            continue;
        chgbank_it6602(1);
        hdmirxbwr_it6602(0x8F, row + 1, 17);  // vertical total, active start and end, sync end
        chgbank_it6602(0);
        hdmirxset_it6602(0x66, 0x10, 0x10);
        hdmirxset_it6602(0x85, 0x20, 0x20);
        return;
    }
}
