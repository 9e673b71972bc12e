// Display window programming: set_output applies the window layout to the chip. Input side:
// capture area, shrink and frame-store writing of each window's input channels. Output side:
// active area, frame-store reading and zoom of its output channels. The change is hidden by a
// freeze or a fade and lands in one frame through the update-timing hold.
#include <algorithm>
#include <cstdio>

#include "core/globals.h"
#include "core/log.h"
#include "platform/clock.h"
#include "scaler/c331_drv.h"
#include "scaler/c331_manage.h"
#include "scaler/c331_regs.h"
#include "scaler/dbg_print.h"
#include "scaler/pipeline_regs.h"

namespace {

constexpr int kIch = 8;
constexpr int32_t kVbo2MaxWidth = 2176;
constexpr int kPivsPolls = 45;
constexpr uint64_t kPovsBoundUs = 100000;   // one output frame is far shorter

uint32_t choffs(int ch) { return c331::kChannelStride * static_cast<uint32_t>(ch); }
uint32_t reg_step(uint32_t id, uint32_t regs) { return id + (regs << 8); }

// The input area {start, length} of one direction of a window cut at the wall's edge: `full`
// window pixels as recorded, `lo` and `hi` of them cut off before and after, `mirror` when the
// picture is shown reversed. A scaled picture loses the same share of its input area; a
// dot-by-dot one (shown 1:1 from its start, at most `full` long) the pixels cut off.
void cut_input(int32_t& st, int32_t& len, int32_t full, int32_t lo, int32_t hi, bool mirror, bool one_to_one)
{
    if ((lo == 0 && hi == 0) || full <= 0 || len <= 0)
        return;
    if (!one_to_one) {
        if (mirror)
            std::swap(lo, hi);
        const int32_t a = static_cast<int32_t>(int64_t(len) * lo / full);
        const int32_t b = static_cast<int32_t>(int64_t(len) * hi / full);
        st += a;
        len = len - a - b > 0 ? len - a - b : 1;
        return;
    }
    const int32_t shown = std::min(len, full);
    const int32_t end = std::max(std::min(shown, full - hi), 1);
    const int32_t begin = std::min(lo, end - 1);
    st += mirror ? shown - end : begin;
    len = end - begin;
}

}  // namespace

// ---- geometry -------------------------------------------------------------------------------

void c331_manage::calc_iwin2(int w)
{
    IWIN[w] = _ImageWindowDef_st{0, 0, 0, 0};
    const uint32_t p = PM_INPUT[w];
    const uint32_t code = PM_WIN_DBD_MODE[w];
    auto done = [&] {
        SCALER_DBG("IWIN[%d]  HST=%4d  HW=%4d  VST=%4d  VW=%4d\n", w, IWIN[w].hst, IWIN[w].hw, IWIN[w].vst, IWIN[w].vw);
    };
    // A joined window adds up the capture areas of its ports (none: 0), whatever its own port.
    const bool joined = code >= 2;
    if (PM_WIN_SHAPE[w][0] == 0 || PM_WIN_SHAPE[w][1] == 0 ||
        (!joined && (p > 5 || PI_ACT[p][1] == 0 || PI_ACT[p][3] == 0)))
        return done();
    const bool low_ch = first_ich(w) >= 0 && first_ich(w) < 4;
    auto hw = [&](int q) { return static_cast<int32_t>(port_iact[q][1]); };
    auto vw = [&](int q) { return static_cast<int32_t>(port_iact[q][3]); };
    _ImageWindowDef_st& r = IWIN[w];
    switch (code) {
    case 0: {
        // Lines as the window's frame store holds them: an interlaced port deinterlaced on a
        // low channel gives frames, on a high one fields. Crop margins are in frame lines.
        const bool fields = PI_SCAN_MODE[p] && !low_ch;
        const int32_t W = static_cast<int32_t>(PI_ACT[p][1]) * (PI_STATE[p] == 1 ? 2 : 1);
        const int32_t H = static_cast<int32_t>(PI_ACT[p][3]) * ((PI_SCAN_MODE[p] && low_ch) ? 2 : 1);
        if (!PM_INPUT_OFFSET_EN[w]) {
            r = {0, W, 0, H};
            break;
        }
        const int32_t* m = reinterpret_cast<const int32_t*>(PM_INPUT_OFFSET[w]);
        const int32_t top = fields ? m[2] / 2 : m[2], bottom = fields ? m[3] / 2 : m[3];
        r.hst = m[0] < W ? m[0] : 0;
        r.hw = W - m[0] - m[1];
        if (r.hw < 1)
            r.hw = W;
        r.vst = top < H ? top : 0;
        r.vw = H - top - bottom;
        if (r.vw < 1)
            r.vw = H;
        break;
    }
    case 1: r = {0, hw(p), 0, vw(p) * ((PI_SCAN_MODE[p] && low_ch) ? 2 : 1)}; break;
    case 20: r = {0, hw(0) + hw(1), 0, vw(0)}; break;
    case 22: r = {0, hw(2) + hw(3), 0, vw(2)}; break;
    case 30: r = {0, hw(0) + hw(1) + hw(2), 0, vw(0)}; break;
    case 40: r = {0, hw(0) + hw(1) + hw(2) + hw(3), 0, vw(0)}; break;
    case 50: r = {0, hw(4) + hw(5), 0, vw(4)}; break;
    case 21: r = {0, hw(0), 0, vw(0) + vw(1)}; break;
    case 23: r = {0, hw(2), 0, vw(2) + vw(3)}; break;
    case 51: r = {0, hw(4), 0, vw(4) + vw(5)}; break;
    case 41: r = {0, hw(0) + hw(1), 0, vw(0) + vw(2)}; break;
    default: break;
    }
    const int32_t* cut = win_cut[w];
    cut_input(r.hst, r.hw, win_full[w][0], cut[0], cut[1], win_mirror[w][0] != 0, code != 0);
    cut_input(r.vst, r.vw, win_full[w][1], cut[2], cut[3], win_mirror[w][1] != 0, code != 0);
    done();
}

void c331_manage::calc_owin2(int w)
{
    _ImageWindowDef_st& o = OWIN[w];
    o = _ImageWindowDef_st{0, 0, 0, 0};
    if (PM_WIN_SHAPE[w][0] > 0)
        o.hw = static_cast<int32_t>(PS_ACTHW * PM_WIN_SHAPE[w][0]);
    if (PM_WIN_SHAPE[w][1] > 0)
        o.vw = static_cast<int32_t>(PS_ACTVW * PM_WIN_SHAPE[w][1]);
    const int32_t* m = reinterpret_cast<const int32_t*>(PM_WIN_OFFSET[w]);
    o.hst = m[0];
    o.hw -= m[0] + m[1];
    o.vst = m[2];
    o.vw -= m[2] + m[3];
    _ImageWindowDef_st& i = IWIN[w];
    if (PM_WIN_DBD_MODE[w] != 0) {
        if (win_dbd_fixed_owin[w]) {
            i.hw = i.hw < o.hw ? i.hw : o.hw;
            i.vw = i.vw < o.vw ? i.vw : o.vw;
            if (o.hw < 1)
                o.hw = i.hw;
            if (o.vw < 1)
                o.vw = i.vw;
        } else {
            const int32_t h = i.hw < o.hw ? i.hw : o.hw, v = i.vw < o.vw ? i.vw : o.vw;
            i.hw = o.hw = h;
            i.vw = o.vw = v;
        }
    } else {
        o.hw = o.hw < 0 ? 0 : o.hw;
        o.vw = o.vw < 0 ? 0 : o.vw;
    }
    SCALER_DBG("OWIN[%d]  HST=%4d  HW=%4d  VST=%4d  VW=%4d\n", w, o.hst, o.hw, o.vst, o.vw);
}

void c331_manage::calc_oact(_ImageWindowDef_st owin, _ImageWindowDef2_St* oact, int w)
{
    wingeom::calc_oact(owin, oact, static_cast<int>(PM_WIN_SHAPE[w][0]), static_cast<int>(PM_WIN_SHAPE[w][1]),
                       static_cast<int32_t>(PS_ACTHW), static_cast<int32_t>(PS_ACTVW));
}

void c331_manage::get_och(int w, int* och)
{
    for (int a = 0; a < kOch; ++a)
        och[a] = -1;
    for (int k = 0; k < kOch; ++k)
        if (PM_WIN_NUM[k] == static_cast<uint32_t>(w) && PM_AREA_NUM[k] < static_cast<uint32_t>(kOch))
            och[PM_AREA_NUM[k]] = k;
}

// ---- waits ----------------------------------------------------------------------------------

bool c331_manage::wait1_pivs(int fd, int c)
{
    if (c < 0 || c >= kIch)
        return false;
    const uint32_t bit = 1u << c;
    const uint32_t nosig = reg_step(c331::ICH_NOSIG, 5u * c);
    drv->write_C331(fd, c331::WAIT_IN_EN, bit, 0);
    drv->write_C331(fd, c331::STATUS_LATCH, c331::STATUS_LATCH_ON, 0);
    bool seen = drv->read_C331(fd, c331::WAIT_IN_SEEN, 0) & bit;
    for (int i = 0; i < kPivsPolls && !seen && drv->read_C331(fd, nosig, 0) != 0xFF; ++i) {
        platform::sleep_ms(1);
        seen = drv->read_C331(fd, c331::WAIT_IN_SEEN, 0) & bit;
    }
    drv->write_C331(fd, c331::WAIT_IN_EN, 0, 0);
    drv->write_C331(fd, c331::STATUS_LATCH, 0, 0);
    return seen;
}

void c331_manage::wait1_pivs2(int fd)
{
    int best = -1;
    double fv = 120.0;
    for (int w = 0; w < kWindows; ++w) {
        if (!(g_chg_win[w] || g_chg_input[w] || g_chg_dbd[w]) || PM_INPUT[w] > 5)
            continue;
        const double f = PI_FV[PM_INPUT[w]];
        if (f > 0 && f < fv) {
            fv = f;
            best = w;
        }
    }
    if (best >= 0 && first_ich(best) >= 0)
        wait1_pivs(fd, first_ich(best));
    else
        platform::sleep_ms(45);
}

// Waits for the next output vertical sync of channel k, at most kPovsBoundUs: the callers
// hold c331_lock, so a chip that never reports one must not stall every editor.
bool c331_manage::wait1_povs(int fd, int k)
{
    if (k < 0 || k >= kOch)
        return false;
    const uint32_t bit = 1u << k;
    drv->write_C331(fd, c331::WAIT_OUT_EN, bit, 0);
    drv->write_C331(fd, c331::STATUS_LATCH, c331::STATUS_LATCH_ON, 0);
    const bool seen =
        platform::poll_until([&] { return bool(drv->read_C331(fd, c331::WAIT_OUT_SEEN, 0) & bit); }, kPovsBoundUs, 1000);
    drv->write_C331(fd, c331::WAIT_OUT_EN, 0, 0);
    drv->write_C331(fd, c331::STATUS_LATCH, 0, 0);
    return seen;
}

// ---- stitching ------------------------------------------------------------------------------

void c331_manage::check_stitching_chg()
{
    for (int w = 0; w < kWindows; ++w) {
        if (g_chg_stitch[w] || g_chg_stitch_req[w])
            g_chg_win[w] = 1;
        g_chg_stitch_req[w] = 0;
    }
}

int c331_manage::check_stitching_win(int* win, int* partner)
{
    *partner = -1;
    for (int round = 0; round < 2; ++round) {
        const int w = *win;
        if (w < 0 || w >= kWindows)
            return 0;
        const uint32_t g = PM_WIN_STITCHING[w];
        if (g == static_cast<uint32_t>(w)) {
            for (int o = 0; o < kWindows; ++o)
                if (o != w && PM_WIN_STITCHING[o] == g)
                    *partner = o;
            return *partner >= 0 ? (round == 0 ? 1 : 2) : 0;
        }
        if (g >= static_cast<uint32_t>(kWindows))
            return 0;
        *win = static_cast<int>(g);
    }
    return 0;
}

// ---- the apply ------------------------------------------------------------------------------

void c331_manage::set_output(int fd)
{
    for (int w = 0; w < kWindows; ++w)
        reset_ich(w);
    assign_ichs();
    int fades = 0, s = -1;
    for (int w = 0; w < kWindows; ++w)
        if (g_chg_input[w] == 1 && win_switch_effect[w])
            ++fades, s = w;
    check_stitching_chg();
    for (int w = 0; w < kWindows; ++w) {
        if (g_chg_input[w] == 2 || g_chg_input[w] == 3 || g_chg_dbd[w] == 1 ||
            (g_chg_input[w] == 1 && !win_switch_effect[w]) || g_chg_win[w] == 1)
            fades = 0;
    }
    const bool fade = g_chg_overlay == 0 && fades == 1;
    if (fade)
        set_layer_coef(fd, s, static_cast<int>(win_fade_out_frames[s]), 0);
    else
        set_freeze(fd, 1);

    for (int w = 0; w < kWindows; ++w) {
        // A window not recomputed keeps its marks: its output side (reprogrammed below on an
        // attribute change) must go on reading the capped width its input side stores.
        if (!(g_chg_input[w] || g_chg_dbd[w] || g_chg_win[w]))
            continue;
        win_vbo2_flag[w] = 1;
        win_capped[w] = 0;
        calc_iwin2(w);
        calc_owin2(w);
        if (PM_WIN_DBD_MODE[w] != 0) {
            set_display_window_ich_dbd(fd, w, static_cast<int>(PM_WIN_DBD_MODE[w]));
            continue;
        }
        _ImageWindowDef_st owin = OWIN[w];
        if (PS_VBOTX_MODE == 2 && IWIN[w].vw < OWIN[w].vw) {
            const int32_t W = IWIN[w].hw <= kVbo2MaxWidth ? IWIN[w].hw : OWIN[w].hw;
            win_vbo2_flag[w] = 0;
            if (W > kVbo2MaxWidth) {
                owin.hw = kVbo2MaxWidth;
                win_capped[w] = 1;
            }
        }
        set_display_window_ich(fd, IWIN[w], owin, w);
    }
    reset_act(fd, 0);
    wait1_pivs2(fd);
    wait1_pivs2(fd);
    set_rtct(fd, 2);
    for (int w = 0; w < kWindows; ++w) {
        if (!(g_chg_input[w] || g_chg_dbd[w] || g_chg_win[w] || g_chg_attr[w]))
            continue;
        _ImageWindowDef_st iwin = IWIN[w];
        if (win_capped[w])
            iwin.hw = kVbo2MaxWidth;
        set_display_window_och(fd, iwin, OWIN[w], w);
        set_input_bkg2(fd, w, 0);
    }
    // A window left without input channels reads none: its output channels as unused ones,
    // never what another window's channel holds.
    for (int k = 0; k < kOch; ++k) {
        const uint32_t w = PM_WIN_NUM[k];
        if (w < static_cast<uint32_t>(kWindows) && PM_WIN_SHAPE[w][0] && PM_WIN_SHAPE[w][1] && first_ich(int(w)) < 0)
            park_och(fd, k);
    }
    if (g_chg_overlay || g_chg_pri) {
        update_overlay_info();
        set_overlay(fd);
        reset_layer_coef(fd);
        g_chg_overlay = g_chg_pri = 0;
    }
    reset_act(fd, 1);
    if (fade)
        set_layer_coef(fd, s, static_cast<int>(win_fade_in_frames[s]), 1);
    else
        set_freeze(fd, 0);
    set_rtct(fd, 1);
    for (int k = 0; k < kOch; ++k)
        och_win_prev[k] = PM_WIN_NUM[k];
    for (int w = 0; w < kWindows; ++w)
        for (int c = 0; c < kIch; ++c)
            win_ich_prev[w][c] = win_ich[w][c];
    for (int w = 0; w < kWindows; ++w) {
        const uint32_t code = PM_WIN_DBD_MODE[w];
        if (code == 0 || (code == 1 && !check_dbd_input(fd, static_cast<int>(PM_INPUT[w]))))
            reset_dbd_mem(w);
        g_chg_win[w] = g_chg_input[w] = g_chg_dbd[w] = g_chg_attr[w] = g_chg_stitch[w] = 0;
    }
    // Reprogramming released every channel: windows whose freeze bit is set stay frozen.
    const int listed = gMwin.wincnt < kWindows ? gMwin.wincnt : kWindows;
    for (int n = 0; n < listed; ++n)
        if ((pwinfo[n].output & 2) && port_has_signal(PM_INPUT[n]))
            win_freeze_sel(fd, n, 2);
}

void c331_manage::reset_act(int fd, int mode)
{
    if (mode == 0 || mode == 2)
        for (int c = 0; c < kIch; ++c)
            if (ich_owner[c] < 0)
                park_ich(fd, c);
    if (mode == 1 || mode == 2) {
        for (int k = 0; k < kOch; ++k) {
            const uint32_t w = PM_WIN_NUM[k];
            const bool used = w < static_cast<uint32_t>(kWindows) && PM_WIN_SHAPE[w][0] && PM_WIN_SHAPE[w][1] &&
                              PM_AREA_NUM[k] < PM_WIN_SHAPE[w][0] * PM_WIN_SHAPE[w][1];
            if (!used)
                park_och(fd, k);
        }
    }
}

// A channel no window uses, or whose window has no input channel: nothing read, background on
// as after bring-up, so that what a window left on it (its black flag, a no-signal background,
// the store of another window's input channel) does not outlive the window.
void c331_manage::park_och(int fd, int k)
{
    drv->write_C331(fd, c331::OCH_ACT_HW, 0, choffs(k));
    drv->write_C331(fd, c331::FS_OMWI, 0, choffs(k));
    drv->write_C331(fd, c331::OCH_BKG_COLOR, g_force_bkcolor == 1 ? 0xFF00 : 0, choffs(k));
    drv->write_C331(fd, c331::OCH_BKG_EN, 1, choffs(k));
}

// An input channel no window uses: nothing captured, not joined to its partner, its port
// select, write mode, hold, shrink and input processing as after bring-up, so that what a
// window left on it (a freeze's hold, its shrink tables, a pair's join) does not outlive the
// window. Bit 0 of the hold register is output channel c's enable, as the layout gives it. A
// pair starts on an even channel, whose join is the pair's.
void c331_manage::park_ich(int fd, int c)
{
    const uint32_t o = choffs(c), at = static_cast<uint32_t>(c) << 8;
    const uint32_t och_enable = PM_WIN_NUM[c] != static_cast<uint32_t>(kWindows) ? 1 : 0;
    for (uint32_t id : {c331::ICH_SYNC_CTRL, c331::ICH_ACT_HST, c331::ICH_ACT_HW, c331::ICH_ACT_VST, c331::ICH_ACT_VW})
        drv->write_C331(fd, id, 0, o);
    drv->write_C331(fd, c331::ICHSEL_BASE + at, 2u * static_cast<uint32_t>(c), 0);
    drv->write_C331(fd, c331::ISCWCT_BASE + at, 0, 0);
    drv->write_C331(fd, c331::CH_HOLD_BASE + at, c331::CH_HOLD_START | och_enable, 0);
    if (c % 2 == 0)
        park_idual(fd, c);
    reset_ich_stages(fd, c);
}

void c331_manage::set_oscwct(int fd, int k)
{
    if (k < 0 || k >= kOch)
        return;
    const uint32_t w = PM_WIN_NUM[k];
    uint32_t mode = 0;
    if (w < static_cast<uint32_t>(kWindows)) {
        const uint32_t g = PM_WIN_STITCHING[w] < static_cast<uint32_t>(kWindows) ? PM_WIN_STITCHING[w] : w;
        mode = PM_MEM_WMODE[g];
    }
    drv->write_C331(fd, c331::OSCWCT_BASE + (static_cast<uint32_t>(k) << 8), wingeom::wmode_ctrl(mode), 0);
}
