// IT6805 publication of the input timing to the scaler side: the hdminfo record, the scaler
// manager's status word of the device's port (through source_status), and the input watchdog.
#include <QMutexLocker>
#include <cstdio>

#include "core/utils.h"
#include "video_io/it6805_regs.h"
#include "video_io/ite6805_sys.h"
#include "video_io/source_status.h"
#include "video_io/zeltasource.h"

using namespace it6805;

namespace {
// Scaler input port of a device: device 0 feeds port 5, device 1 port 4.
int scaler_port(uint8_t d) { return d ? 4 : 5; }
uint32_t now_tick()
{
    const uint32_t t = G_timeTicks.load();
    return t ? t : 1;  // 0 means "not running"
}
}  // namespace

// ---- publication ----------------------------------------------------------------------------

void ite6805_sys::fill_hdminfo(uint8_t d, bool no_signal)
{
    zeltasource* zs = zeltasource::p_zelta_source;
    if (!zs)
        return;
    const iTE6805_Data& D = iTE6805_DATA[d];
    QMutexLocker lk(&Utils::_source_hdminfo_mutex);
    HDMI_INFO& r = zs->hdminfo[4 + d];
    r.stable = 0;
    r.no_signal = no_signal ? 1 : 0;
    if (r.no_signal) {
        r.Hact = r.Hsync = r.Hback = r.Hpol = r.Htotal = 0;
        r.Vact = r.Vsync = r.Vback = r.Vpol = r.Vtotal = 0;
        r.PCLK = 0;
        r.interlaced = 0;
        r.type = r.data_mode = r.lanes = 1;
        std::printf("[iTE6805_Get_Hdmi] dev_id:%d, no signal\n", d);
    } else {
        r.Hact = D.t.hactive;
        r.Hsync = D.t.hsync;
        r.Hback = D.t.hbp;
        r.Hpol = D.hpol;
        r.Htotal = D.t.htotal;
        r.Vact = D.t.vactive;
        r.Vsync = D.t.vsync;
        r.Vback = D.t.vbp;
        r.Vpol = D.vpol;
        r.Vtotal = D.t.vtotal;
        r.PCLK = float(D.pclk_khz) / 1000.0f;
        r.type = 1;
        r.data_mode = 1;
        r.lanes = 1u << (D.VBO_LaneCount & 3);
        r.interlaced = D.interlaced;
        std::printf("[iTE6805_Get_Hdmi] dev_id:%d, idx:%d\n", d, 4 + d);
    }
    r.stable = 1;
}

void ite6805_sys::iTE6805_update_hdmi(uint8_t d)
{
    const uint8_t v19 = drv->rd(d, REG_VID_STATUS), v36 = drv->rd(d, REG_LVPCLK);
    std::printf("[iTE6805_update_hdmi] dev_id_%d, voutstb:%d, lvpclk_hs:%d\n", d, (v19 >> 1) & 1, (v36 >> 2) & 3);
    fill_hdminfo(d, false);
}

void ite6805_sys::publish(uint8_t d)
{
    const int p = scaler_port(d);
    bool ok = false;
    const uint8_t v19 = drv->rd(d, REG_VID_STATUS, &ok);
    if (!ok)
        return;
    if (!iTE6805_DATA[d].Flag_VidStable_Done) {
        wd_count[d] = wd_htt[d] = wd_vtt[d] = 0;
        stable_stamp_[d] = 0;
        return;
    }
    if (!(v19 & VID_OUT_STABLE)) {
        wd_count[d] = wd_tick[d] = wd_htt[d] = wd_vtt[d] = 0;
        stable_stamp_[d] = 0;
        return;
    }
    if (stable_stamp_[d] == 0) {
        if (!source_status::port_announce(p))
            return;  // no scaler to take the input up yet
        stable_stamp_[d] = now_tick();
    } else if (Utils::getTimeSpace(stable_stamp_[d]) > 500 && source_status::port_taken_up(p)) {
        iTE6805_update_hdmi(d);
        stable_stamp_[d] = 0;
        source_status::port_published(p);
    }
    watchdog(d, p);
}

// A scaler port whose measured totals keep changing for more than ten 1 s samples in a row
// asks the supervision to reset both chips.
void ite6805_sys::watchdog(uint8_t d, int p)
{
    uint32_t htt = 0, vtt = 0;
    if (!source_status::port_totals(p, &htt, &vtt))
        return;
    if (wd_tick[d] == 0) {
        wd_count[d] = 0;
        wd_tick[d] = now_tick();
        wd_htt[d] = htt;
        wd_vtt[d] = vtt;
        return;
    }
    if (Utils::getTimeSpace(wd_tick[d]) > 100) {
        if (htt == wd_htt[d] && vtt == wd_vtt[d]) {
            wd_count[d] = 0;
        } else {
            ++wd_count[d];
            wd_htt[d] = htt;
            wd_vtt[d] = vtt;
        }
        wd_tick[d] = now_tick();
    }
    zeltasource* zs = zeltasource::p_zelta_source;
    if (wd_count[d] > 10 && zs) {
        QMutexLocker lk(&Utils::_source_init_mutex);
        zs->state_tick = G_timeTicks.load();
        zs->source_state = 0;
        zs->reset_request[4] = 1;
    }
}
