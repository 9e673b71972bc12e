// Input port following: takes the receivers' timing records over, measures every used port
// on the chip, classifies it, restarts lost V-by-One links and marks changed ports so that
// the windows showing them are reprogrammed.
#include "scaler/input_follow.h"

#include <QMutexLocker>
#include <cstdio>
#include <cstring>

#include "core/globals.h"
#include "core/utils.h"
#include "scaler/c331_drv.h"
#include "scaler/c331_regs.h"
#include "scaler/dbg_print.h"
#include "scaler/pipeline_regs.h"
#include "video_io/zeltasource.h"

namespace portclass {

bool in_range16(uint32_t raw) { return raw >= 1 && raw <= 0xFFFD; }
bool in_range24(uint32_t raw) { return raw >= 1 && raw <= 0xFFFFFD; }

static bool within(uint32_t a, uint32_t b, uint32_t d) { return (a > b ? a - b : b - a) <= d; }

bool unchanged(const ST_PORT_INFO& prev, const ST_PORT_INFO& cur)
{
    return within(prev.htt, cur.htt, 2) && within(prev.vtt, cur.vtt, 2) && within(prev.vcnt, cur.vcnt, 100) &&
           within(prev.period, cur.period, 100) && prev.hw == cur.hw;
}

Class classify(int port, const ST_HDMI_INFO& h, double fv, double pclk)
{
    Class c{h.data_mode != 0 ? 3u : 4u, 0};
    if (port >= 4) {
        const int32_t lanes = h.lanes < 1 ? 1 : h.lanes;
        const bool small = h.hact < 2177 && pclk <= 324000000.0 && lanes < 4;
        c = Class{small ? 4u : 1u, 0};
    }
    // Every receiver reports an interlaced source in field lines: the port is classified by
    // its field total, so crops and the deinterlacer see frame lines on any input. A V-by-One
    // input too wide for one channel (state 1) has no interlaced format.
    if (h.interlaced && c.state != 1) {
        const int32_t vt = h.vtotal;
        if (vt >= 560 && vt <= 565)
            c = Class{fv >= 55.0 ? 5u : 6u, 1};
        else if (vt >= 266 && vt <= 350)
            c = Class{8, 1};
        else if (vt >= 260 && vt <= 265)
            c = Class{7, 1};
    }
    return c;
}

void active_rect(const ST_HDMI_INFO& h, uint32_t state, uint32_t act[4], uint32_t iact[4])
{
    iact[0] = static_cast<uint32_t>(h.hsync + h.hback);
    iact[1] = static_cast<uint32_t>(h.hact);
    iact[2] = static_cast<uint32_t>(h.vsync + h.vback);
    iact[3] = static_cast<uint32_t>(h.vact);
    const bool half = state < 4;
    act[0] = half ? iact[0] / 2 : iact[0];
    act[1] = half ? iact[1] / 2 : iact[1];
    act[2] = iact[2];
    act[3] = iact[3];
}

uint32_t lane_mask(int32_t lanes)
{
    return lanes == 8 ? 0xFF : lanes == 4 ? 0xF0 : lanes == 2 ? 0xC0 : 0x80;
}

}  // namespace portclass

namespace {

struct Meas {
    uint32_t htt, vtt, vcnt, period, hw;   // raw register values
};

HDMI_INFO hdminfo_row(int r)
{
    HDMI_INFO row{};
    zeltasource* z = zeltasource::pInstance();
    if (!z || r < 0 || r >= kSourceCount)
        return row;
    QMutexLocker lk(&Utils::_source_hdminfo_mutex);
    row = z->hdminfo[r];
    return row;
}

ST_HDMI_INFO to_port_info(const HDMI_INFO& r)
{
    ST_HDMI_INFO h{};
    h.hact = static_cast<int32_t>(r.Hact);
    h.hsync = static_cast<int32_t>(r.Hsync);
    h.hback = static_cast<int32_t>(r.Hback);
    h.hpol = static_cast<int32_t>(r.Hpol);
    h.htotal = static_cast<int32_t>(r.Htotal);
    h.vact = static_cast<int32_t>(r.Vact);
    h.vsync = static_cast<int32_t>(r.Vsync);
    h.vback = static_cast<int32_t>(r.Vback);
    h.vpol = static_cast<int32_t>(r.Vpol);
    h.vtotal = static_cast<int32_t>(r.Vtotal);
    h.pclk_mhz = r.PCLK;
    h.type = static_cast<int32_t>(r.type);
    h.data_mode = static_cast<int32_t>(r.data_mode);
    h.lanes = static_cast<int32_t>(r.lanes);
    h.interlaced = static_cast<int32_t>(r.interlaced);
    h.no_signal = static_cast<int32_t>(r.no_signal);
    return h;
}

}  // namespace

// ---- ports of the windows -------------------------------------------------------------------

int c331_manage::window_ports(int w, int* ports) const
{
    for (int i = 0; i < 6; ++i)
        ports[i] = 6;
    if (PM_WIN_DBD_MODE[w] >= 2)
        return const_cast<c331_manage*>(this)->tlxApi_GetWinDbdMultiPort(w, ports);
    ports[0] = PM_INPUT[w] < 6 ? static_cast<int>(PM_INPUT[w]) : 6;
    return ports[0] < 6 ? 1 : 0;
}

bool c331_manage::window_shows_port(int w, int p) const
{
    int ports[6];
    window_ports(w, ports);
    for (int i = 0; i < 6 && ports[i] < 6; ++i)
        if (ports[i] == p)
            return true;
    return false;
}

bool c331_manage::port_used(int p) const
{
    for (int w = 0; w < kWindows; ++w)
        if (window_shows_port(w, p))
            return true;
    return false;
}

// ---- receiver timing ------------------------------------------------------------------------

void c331_manage::load_hdmi()
{
    for (int p = 0; p < kPorts; ++p) {
        const int r = tlxApi_GetPortDevId(p);
        const HDMI_INFO row = hdminfo_row(r);
        if (!row.stable)
            continue;
        const ST_HDMI_INFO h = to_port_info(row);
        if (std::memcmp(&h, &PI_HDMI_INFO[p], sizeof h) == 0)
            continue;
        PI_HDMI_INFO[p] = h;
        std::printf("[load_hdmi] chg_input, port:%d, dev_id:%d\n", p, r);
        SCALER_DBG("\t hact:%d, hsync:%d, hback:%d, hpol:%d, htt:%d\n", h.hact, h.hsync, h.hback, h.hpol, h.htotal);
        SCALER_DBG("\t vact:%d, vsync:%d, vback:%d, vpol:%d, vtt:%d\n", h.vact, h.vsync, h.vback, h.vpol, h.vtotal);
        SCALER_DBG("\t pfreq:%f, type:%d, lane:%d, ip:%d, datamode:%d, nosignal:%d\n", static_cast<double>(h.pclk_mhz),
                   h.type, h.lanes, h.interlaced, h.data_mode, h.no_signal);
        for (int w = 0; w < kWindows; ++w) {
            if (!window_shows_port(w, p))
                continue;
            g_chg_input[w] = 1;
            SCALER_DBG("\n[load_hdmi] g_chg_input[%d] = 1 for dbd:%d\n", w, PM_WIN_DBD_MODE[w]);
            if (PM_WIN_DBD_MODE[w] >= 2)
                set_ichsel(c331_fd, w);
        }
    }
}

// ---- V-by-One receivers ---------------------------------------------------------------------

// Restart of receiver q with a lane mask: reset pulse, mode, lanes (no control register).
void c331_manage::vbo_rx_restart(int fd, int q, uint32_t mask)
{
    const uint32_t at = c331::VBO_RX_STRIDE * static_cast<uint32_t>(q);
    drv->write_C331(fd, c331::VBO_RESET, c331::VBO_RESET_IDLE & ~(1u << q), 0);
    drv->write_C331(fd, c331::VBO_RESET, c331::VBO_RESET_IDLE, 0);
    drv->write_C331(fd, c331::VBO_RX_CFG + at, 5, 0);
    drv->write_C331(fd, c331::VBO_RX_LANES + at, mask, 0);
}

void c331_manage::count_retry(int q)
{
    uint32_t& n = port_retry[4 + q];
    n = n >= 29 ? 0 : n + 1;
}

bool c331_manage::vbo_lanes_ok(int fd, int q, uint32_t lanes)
{
    const int need = lanes == 8 ? 4 : lanes == 4 ? 2 : 1;
    bool ok = true;
    drv->write_C331(fd, c331::STATUS_LATCH, c331::STATUS_LATCH_ON, 0);
    for (int i = 0; i < 4; ++i) {
        const uint32_t cnt = drv->read_C331(fd, c331::VBO_VCNT + 0x800u * q + 0x200u * i, 0);
        const uint32_t per = drv->read_C331(fd, c331::VBO_PERIOD + 0xC00u * q + 0x300u * i, 0);
        if (i < need)
            ok = ok && portclass::in_range16(cnt) && portclass::in_range24(per);
    }
    drv->write_C331(fd, c331::STATUS_LATCH, 0, 0);
    return ok;
}

// ---- measurement ----------------------------------------------------------------------------

static Meas measure(c331_drv* drv, int fd, int p, bool all)
{
    Meas m{};
    const bool vbo = p >= 4;
    const uint32_t q = vbo ? static_cast<uint32_t>(p - 4) : static_cast<uint32_t>(p);
    const uint32_t step = vbo ? 0x800u * q : 0x200u * q;
    const uint32_t pstep = vbo ? 0xC00u * q : 0x300u * q;
    drv->write_C331(fd, c331::STATUS_LATCH, c331::STATUS_LATCH_ON, 0);
    m.htt = drv->read_C331(fd, (vbo ? c331::VBO_HTT : c331::PORT_HTT) + step, 0);
    if (all)
        m.vtt = drv->read_C331(fd, (vbo ? c331::VBO_VTT : c331::PORT_VTT) + step, 0);
    m.vcnt = drv->read_C331(fd, (vbo ? c331::VBO_VCNT : c331::PORT_VCNT) + step, 0);
    m.period = drv->read_C331(fd, (vbo ? c331::VBO_PERIOD : c331::PORT_PERIOD) + pstep, 0);
    if (all)
        m.hw = drv->read_C331(fd, (vbo ? c331::VBO_HW : c331::PORT_HW) + step, 0);
    drv->write_C331(fd, c331::STATUS_LATCH, 0, 0);
    return m;
}

static bool meas_ok(const Meas& m)
{
    return portclass::in_range16(m.htt) && portclass::in_range16(m.vcnt) && portclass::in_range24(m.period);
}

void c331_manage::check_port_valid(int fd)
{
    for (int w = 0; w < kWindows; ++w) {
        int ports[6];
        window_ports(w, ports);
        for (int i = 0; i < 6 && ports[i] >= 0 && ports[i] < 6; ++i) {
            const int p = ports[i];
            {
                QMutexLocker lk(&Utils::_check_nosig_mutex);
                if (!(port_status[p] & 0x80))
                    continue;
            }
            const bool ok = meas_ok(measure(drv, fd, p, false));
            {
                QMutexLocker lk(&Utils::_check_nosig_mutex);
                port_status[p] = ok ? (port_status[p] & 0xFE) : ((port_status[p] & 0xFF) | 1);
            }
            if (!ok && p >= 4) {
                vbo_rx_restart(fd, p - 4, 0x80);
                set_VBORXfrange(fd, p - 4, 1, 0.0f);
            }
        }
    }
}

void c331_manage::port_lost(int fd, int p)
{
    set_input_bkg(fd, p, 1);
    if (PI_STATE[p] != 0)
        PI_UPDATE[p] = 1;
    PI_STATE[p] = PI_SCAN_MODE[p] = 0;
    PI_FPICLK[p] = PI_HTOTAL[p] = PI_VTOTAL[p] = 0;
    PI_FH[p] = PI_FV[p] = PI_IFH[p] = PI_IFV[p] = 0;
    static constexpr uint32_t kNone[4] = {16, 0, 16, 0};
    std::memcpy(PI_ACT[p], kNone, sizeof kNone);
    std::memcpy(port_iact[p], kNone, sizeof kNone);
    if (p < 4)
        set_pict(fd, 0, p);
}

void c331_manage::port_changed(int fd, int p)
{
    const ST_HDMI_INFO& h = PI_HDMI_INFO[p];
    ST_PORT_INFO& pi = PI_PORT_INFO[p];
    const double clk = PS_CLK[4] ? PS_CLK[4] : 200000000.0;
    const double fv = pi.period ? clk / pi.period : 0.0;
    // Totals come from a receiver: a negative or absurd product is no pixel clock.
    double pclk = double(h.htotal) * fv * double(h.vtotal);
    if (!(pclk >= 0.0 && pclk < 4.0e9))
        pclk = 0.0;
    if (p < 4) {
        set_pict(fd, h.data_mode, p);
        set_sypol(fd, 0, p);
    } else {
        const int q = p - 4;
        const int32_t lanes = h.lanes < 1 ? 1 : h.lanes;
        vbo_rx_restart(fd, q, portclass::lane_mask(lanes));
        set_VBORXfrange(fd, q, 0, static_cast<float>(pclk / lanes));
        set_VBOInput(fd, q);
    }
    const portclass::Class c = portclass::classify(p, h, fv, pclk);
    PI_STATE[p] = pi.state = c.state;
    PI_SCAN_MODE[p] = pi.interlace = c.scan;
    pi.lane_num = static_cast<uint32_t>(h.lanes);
    portclass::active_rect(h, c.state, PI_ACT[p], port_iact[p]);
    PI_FV[p] = fv;
    PI_FH[p] = fv * h.vtotal;
    PI_FPICLK[p] = static_cast<uint32_t>(pclk);
    PI_HTOTAL[p] = static_cast<uint32_t>(h.htotal);
    PI_VTOTAL[p] = static_cast<uint32_t>(h.vtotal);
    PI_UPDATE[p] = 1;
    moved_while_withdrawn[p] = false;
    SCALER_DBG("PortInfo Updated.  port=%d  STATE=%d  IP=%d  HTOTAL=%4d  VTOTAL=%4d\n", p, PI_STATE[p],
               PI_SCAN_MODE[p], h.htotal, h.vtotal);
    SCALER_DBG("                   ACTHW=%4d  ACTVW=%4d  FV=%8.4f  FPICLK=%.4f\n", PI_ACT[p][1], PI_ACT[p][3], fv,
               pclk);
    tlxApi_updateCrop(p);
    port_change_book[0] = port_change_book[1] = 0;
    port_change_book[2] = G_timeTicks;
}

void c331_manage::check_input_port(int fd)
{
    for (int p = 0; p < kPorts; ++p) {
        if (!port_used(p))
            continue;
        const HDMI_INFO row = hdminfo_row(tlxApi_GetPortDevId(p));
        // A receiver that lost its stable video withdraws its record (the IT6805s) and
        // publishes no "no signal": a port still showing a picture is measured, so that a
        // lost link shows the windows' background; a new timing waits for the record.
        const bool withdrawn = !row.stable;
        if (withdrawn && !signal_kept(PI_PORT_INFO[p], PI_STATE[p]))
            continue;
        // The copy was marked unknown by a re-layout and is refreshed by the next load_hdmi:
        // classifying on it would program a garbage timing for one pass. A withdrawn record
        // refreshes nothing and is never classified: its port is measured for a loss.
        if (PI_HDMI_INFO[p].no_signal == 1 && row.no_signal != 1 && !withdrawn)
            continue;
        if (!withdrawn)
            PI_UPDATE[p] = 0;
        ST_PORT_INFO& pi = PI_PORT_INFO[p];
        const ST_PORT_INFO prev = pi;
        const Meas m = measure(drv, fd, p, true);
        {
            // The IT6805 watchdog samples these two from the supervision thread.
            QMutexLocker lk(&Utils::_check_nosig_mutex);
            pi.htt = m.htt + 1;
            pi.vtt = m.vtt;
        }
        pi.vcnt = m.vcnt + 1;
        pi.period = m.period + 1;
        pi.hw = m.hw;
        pi.nosig = (!meas_ok(m) || row.no_signal == 1) ? 1 : 0;
        if (pi.nosig) {
            if (signal_kept(prev, PI_STATE[p]))   // a loss across a re-layout too
                port_lost(fd, p);
            if (p >= 4) {
                vbo_rx_restart(fd, p - 4, 0x80);
                set_VBORXfrange(fd, p - 4, 1, 0.0f);
                count_retry(p - 4);
            }
            continue;
        }
        if (withdrawn) {
            // The loss check overwrote the measurement that the record's return is compared
            // with: a timing that changed and came back meanwhile must still be programmed.
            moved_while_withdrawn[p] = moved_while_withdrawn[p] || !portclass::unchanged(prev, pi);
            continue;
        }
        bool changed = prev.nosig != 0 || PI_UPDATE2[p] != 0 || moved_while_withdrawn[p] ||
                       !portclass::unchanged(prev, pi);
        for (int w = 0; w < kWindows && !changed; ++w) {
            if (g_chg_input[w] && window_shows_port(w, p)) {
                SCALER_DBG("\t port_info_chg:%d, g_chg_input[win_%d]:%d\n", 0, w, g_chg_input[w]);
                changed = true;
            }
        }
        if (changed) {
            port_changed(fd, p);
        } else if (p >= 4) {
            const int q = p - 4;
            const uint32_t lanes = static_cast<uint32_t>(PI_HDMI_INFO[p].lanes);
            if (vbo_lanes_ok(fd, q, lanes)) {
                port_retry[p] = 0;
            } else {
                count_retry(q);
                vbo_rx_restart(fd, q, portclass::lane_mask(static_cast<int32_t>(lanes)));
            }
        }
    }
}

void c331_manage::c331_SetInputsource(int w, int s)
{
    const int listed = gMwin.wincnt < kWindows ? gMwin.wincnt : kWindows;
    if (w < 0 || w >= listed) {
        SCALER_DBG("    win:%d OOR, wincnt:%d\r\n", w, listed);
        return;
    }
    const int src = ((s % 6) + 6) % 6;
    const uint8_t p = tlxApi_inputCvtC331(src);
    if (p == 255) {
        SCALER_DBG("    input:%d OOR\r\n", s);
        return;
    }
    pwinfo[w].input = static_cast<uint8_t>(src);
    PM_INPUT[w] = p;
    g_chg_input[w] = 1;
    SCALER_DBG("[c331_SetInputsource] win_%d, port_%d\n", w, p);
    check_input_port(c331_fd);
    set_output(c331_fd);
}
