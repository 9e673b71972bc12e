// The per-channel programming of one window: its input channels (capture, shrink, frame-store
// writing) and its output channels (active area, frame-store reading, zoom).
#include <cstdio>

#include "scaler/c331_drv.h"
#include "scaler/c331_manage.h"
#include "scaler/c331_regs.h"
#include "scaler/dbg_print.h"
#include "scaler/pipeline_regs.h"

namespace {

constexpr int kIch = 8;

uint32_t choffs(int ch) { return c331::kChannelStride * static_cast<uint32_t>(ch); }
uint32_t reg_step(uint32_t id, uint32_t regs) { return id + (regs << 8); }

struct IchSetup {
    int32_t hst, hw, vst, vw;        // capture area
    int32_t hratio, vratio;          // 65536: none
    int32_t hphase, vphase;
    uint32_t offset;                 // byte offset of the channel's line start
};

// Row of the i-th joined port (ascending port order) in the joined picture: stacked codes
// put each port, the two-by-two code each pair, on its own row.
int dbd_row(int code, int i)
{
    switch (code) {
    case 21: case 23: case 51: return i;
    case 41: return i / 2;
    default: return 0;
    }
}

}  // namespace

// One input channel: sync control, capture area, shrink block, frame stores, field select.
static void program_ich(c331_drv* drv, int fd, int c, const IchSetup& s, const uint32_t fld[5], uint32_t mwi,
                        uint32_t fsel)
{
    const uint32_t o = choffs(c);
    auto wr = [&](uint32_t id, uint32_t v) { drv->write_C331(fd, id, v, o); };
    const bool hs = s.hratio < wingeom::kUnity, vs = s.vratio < wingeom::kUnity;
    wr(c331::ICH_SYNC_CTRL, 1);
    wr(c331::ICH_ACT_HST, static_cast<uint32_t>(s.hst));
    wr(c331::ICH_ACT_HW, static_cast<uint32_t>(s.hw));
    wr(c331::ICH_ACT_VST, static_cast<uint32_t>(s.vst));
    wr(c331::ICH_ACT_VW, static_cast<uint32_t>(s.vw));
    wr(c331::SHR_PHASE_EN, (s.hphase ? 0x80u : 0u) | (s.vphase ? 0x08u : 0u));
    wr(c331::SHR_HCTRL, hs ? 199 : 0x80);
    wr(c331::SHR_HRATIO, hs ? static_cast<uint32_t>(s.hratio) : 0);
    wr(c331::SHR_VCTRL, vs ? 0x84 : 0x80);
    wr(c331::SHR_VRATIO, vs ? static_cast<uint32_t>(s.vratio) : 0);
    wr(c331::SHR_CTRL2, 2);
    wr(c331::SHR_HPHASE_A, static_cast<uint32_t>(s.hphase));
    wr(c331::SHR_HPHASE_B, static_cast<uint32_t>(s.hphase));
    wr(c331::SHR_VPHASE_A, static_cast<uint32_t>(s.vphase));
    wr(c331::SHR_VPHASE_B, static_cast<uint32_t>(s.vphase));
    for (uint32_t k = 0; k < 5; ++k)
        wr(reg_step(c331::FS_IN_FIELD0, 4 * k), fld[k] + s.offset);
    wr(c331::FS_IMWI, mwi);
    wr(c331::FS_IN_FIELD_SEL, fsel);
}

void c331_manage::set_display_window_ich(int fd, _ImageWindowDef_st iwin, _ImageWindowDef_st owin, int w)
{
    const int c = first_ich(w);
    const uint32_t p = PM_INPUT[w];
    if (c < 0 || p > 5)
        return;   // no channel: the window shows its background
    const bool pair = win_ich[w][1] == c + 1 && c + 1 < kIch;
    const bool joined = pair && PI_STATE[p] < 4;
    PM_MEM_WMODE[w] = PI_SCAN_MODE[p] ? 2 : PS_MEM_WMODE[w];
    for (int attempt = 0; attempt < 2; ++attempt) {
        IchSetup s{};
        s.hratio = wingeom::shrink_ratio(iwin.hw, owin.hw);
        s.vratio = wingeom::shrink_ratio(iwin.vw, owin.vw);
        s.hphase = wingeom::shrink_phase(iwin.hst, s.hratio);
        s.vphase = wingeom::shrink_phase(iwin.vst, s.vratio);
        s.hst = static_cast<int32_t>(PI_ACT[p][0]) - 7;
        s.hw = static_cast<int32_t>(PI_ACT[p][1]);
        s.vst = static_cast<int32_t>(PI_ACT[p][2]) + 1;
        s.vw = static_cast<int32_t>(PI_ACT[p][3]);
        const uint32_t mode = PM_MEM_WMODE[w];
        // Pixels the first half writes; the second half starts behind them.
        int64_t n = s.hw;
        if (s.hratio < wingeom::kUnity)
            n = (n * s.hratio) >> 16;
        s.offset = mode == 2 ? static_cast<uint32_t>(2 * ((3 - n % 3) % 3)) : 0;
        win_line_start[w] = s.offset;   // the reads of the window's stored lines begin there too
        IchSetup second = s;
        second.offset = static_cast<uint32_t>(wingeom::pixel_bytes(n, mode));
        if (!joined)
            second.hw = 0;

        set_idual(fd, c, joined ? 1 : 0, static_cast<int>(p));
        set_ichsel(fd, w);
        const uint32_t fsel = wingeom::pack_fields(win_fld_idx[w]);
        program_ich(drv, fd, c, s, PS_MEM_SC[c], PS_MEM_LINE, fsel);
        if (pair) {
            program_ich(drv, fd, c + 1, second, PS_MEM_SC[c], PS_MEM_LINE, fsel);
            drv->write_C331(fd, c331::ICH_SYNC_CTRL, static_cast<uint32_t>((c & ~1) + 8), choffs(c + 1));
        }
        set_lut_hshrnk(fd, s.hratio, c, pair);
        set_lut_vshrnk_4sym(fd, s.vratio, c, pair);
        set_iscwct(fd, w);
        set_mct(fd, w, 0);
        set_ip(fd, c);

        // A shrunk pair needs extra input pixels at the seam; the packed modes cannot give
        // more than two, so the write mode follows the need.
        if (!pair || s.hratio >= wingeom::kUnity)
            break;
        const int extra = static_cast<int>((wingeom::kUnity + s.hratio - 1) / s.hratio) + 1;
        uint32_t next = mode;
        if (mode == 0 && extra <= 2 && PS_MEM_WMODE[w] != 0)
            next = PS_MEM_WMODE[w];
        else if (mode != 0 && extra >= 3)
            next = 0;
        if (next == mode)
            break;
        SCALER_DBG("\n *** YUV CHG DET win=%d [%d] to ", w, mode);
        SCALER_DBG("[%d]\n", next);
        PM_MEM_WMODE[w] = next;
    }
}

void c331_manage::set_display_window_ich_dbd(int fd, int w, int code)
{
    int ch[kIch];
    int n = 0;
    for (int i = 0; i < kIch && win_ich[w][i] >= 0 && win_ich[w][i] < kIch; ++i)
        ch[n++] = win_ich[w][i];
    if (n == 0)
        return;
    for (int i = 0; i < n; ++i)
        set_idual(fd, ch[i], 0, 0);
    if (set_dbd_mem(fd, w) < 0) {
        g_chg_input[w] = g_chg_dbd[w] = 0;
        SCALER_DBG("[set_display_window_ich_dbd] g_chg_dbd[%d]:%d\n", w, 0);
        set_mct(fd, w, 0);
        return;
    }
    set_ichsel(fd, w);

    // The ports joined, each on its own channel, in the order the channels select them
    // (set_ichsel): each channel captures the port it selects. A V-by-One port of state 3 or
    // less is split over two channels of half its width.
    int ports[6];
    int nports = 0;
    if (tlxApi_GetWinDbdMultiPort(w, ports)) {
        while (nports < 6 && ports[nports] < 6)
            ++nports;
    } else {
        ports[0] = static_cast<int>(PM_INPUT[w]);
        nports = 1;
    }
    if (ports[0] > 5)
        return;
    struct Part {
        int port, row;
        int32_t hst, hw;
    };
    Part parts[kIch];
    int np = 0;
    for (int i = 0; i < nports && np < kIch; ++i) {
        const int q = ports[i];
        const int row = dbd_row(code, i);
        const int32_t hst = static_cast<int32_t>(port_iact[q][0]), hw = static_cast<int32_t>(port_iact[q][1]);
        if (q >= 4 && (code == 1 || code >= 50)) {
            const bool halve = PI_STATE[q] <= 3;
            parts[np++] = Part{q, row, halve ? hst / 2 - 7 : hst - 7, halve ? hw / 2 : hw};
            parts[np++] = Part{q, row, halve ? hst / 2 - 7 : hst - 7, halve ? hw / 2 : 0};
        } else {
            parts[np++] = Part{q, row, hst - 7, hw};
        }
    }
    if (n < np)
        return;   // fewer channels than the code needs: not programmed

    PM_MEM_WMODE[w] = PS_MEM_WMODE[w];
    const uint32_t mode = PM_MEM_WMODE[w];
    const uint32_t M = win_dbd_mwi[w];
    const uint32_t H = port_iact[ports[0]][3];
    const int64_t row_bytes = int64_t(M) * H * 1024;
    const bool one_row = parts[np - 1].row == 0;
    const uint32_t fsel = wingeom::pack_fields(win_fld_idx[w]);
    int64_t row_x[kIch] = {};   // pixels already placed in each row, left to right
    for (int i = 0; i < np; ++i) {
        const Part& pt = parts[i];
        int64_t off = wingeom::pixel_bytes(row_x[pt.row], mode) + pt.row * row_bytes;
        if (mode == 2 && i == 0 && one_row)
            off = 2 * ((3 - port_iact[ports[0]][1] % 3) % 3);
        row_x[pt.row] += pt.hw;
        IchSetup s{pt.hst, pt.hw, static_cast<int32_t>(port_iact[pt.port][2]) + 1,
                   static_cast<int32_t>(port_iact[pt.port][3]), wingeom::kUnity, wingeom::kUnity, 0, 0,
                   static_cast<uint32_t>(off)};
        program_ich(drv, fd, ch[i], s, win_fld_addr[w], M, fsel);
        reset_ich_stages(fd, ch[i]);
        drv->write_C331(fd, c331::ISCWCT_BASE + (static_cast<uint32_t>(ch[i]) << 8), wingeom::wmode_ctrl(mode), 0);
    }
    set_mct(fd, w, 0);
}

// ---- output side ----------------------------------------------------------------------------

namespace {

// The part of the frame store one column (or row) of the window reads. The column covers the
// window's output pixels [left, left + size) of total; with the mirror it shows the mirrored
// ones, [total - left - size, total - left), so mirrored columns swap their parts.
// Unzoomed, a channel reads exactly the pixels it shows, however few: its active width is
// both, and a wider read would put picture beyond its part on the wall (past a window's edge
// at a seam, or, mirrored, shift the part). Zoomed, the read reaches the filter taps beyond
// its part and the active width stays the part's.
struct AxisRead {
    int64_t start;     // first pixel (line) of the part, from the picture start
    int64_t end;       // one past its last pixel (line)
    uint32_t phase;    // sub-pixel start phase, 1/256, from the end the chip starts at
    uint32_t ctrl;     // zoom control byte
};

constexpr int64_t kZoomMargin = 4;   // filter taps read beyond each end of a zoomed part

AxisRead axis_read(int64_t left, int32_t size, int64_t total, int32_t zoom, bool mirror)
{
    AxisRead r{0, 0, 0, 0};
    if (size <= 0) {
        r.ctrl = zoom ? 0x47 : 0;
        return r;
    }
    const int64_t from = mirror ? total - left - size : left;
    if (!zoom) {
        r.start = from;
        r.end = from + size;
        return r;
    }
    auto pos = [&](int64_t sum) {
        const int64_t prod = int64_t(zoom) * sum;
        return (prod >> 16) + ((prod & 0xFFFF) >= zoom ? 1 : 0);
    };
    const int64_t here = pos(from), next = pos(from + size);
    r.start = here <= kZoomMargin ? 0 : here - kZoomMargin;
    r.end = from + size < total ? next + kZoomMargin : next;
    // A mirrored part is shown from its far end: the phase is that end's fraction.
    const int64_t frac = (int64_t(zoom) * (mirror ? from + size : from)) & 0xFFFF;
    r.phase = static_cast<uint32_t>((mirror ? (0x10000 - frac) & 0xFFFF : frac) >> 8);
    r.ctrl = 199;
    return r;
}

// Widths (heights) of the columns (rows) before column i.
int64_t sum_before(const int32_t* sizes, int i)
{
    int64_t left = 0;
    for (int k = 0; k < i; ++k)
        left += sizes[k];
    return left;
}

}  // namespace

void c331_manage::set_display_window_och(int fd, _ImageWindowDef_st iwin, _ImageWindowDef_st owin, int w)
{
    int och[kOch];
    get_och(w, och);
    _ImageWindowDef2_St oact[kOch];
    calc_oact(owin, oact, w);
    _ScalingSt sc{};
    wingeom::calc_scaling(iwin, owin, &sc);
    int g = w, partner = -1;
    check_stitching_win(&g, &partner);
    const int c = first_ich(w);
    const uint32_t code = PM_WIN_DBD_MODE[g];
    const bool own_store = code == 0 || (code == 1 && !check_dbd_input(fd, static_cast<int>(PM_INPUT[w])));
    const uint32_t M = own_store ? PS_MEM_LINE : win_dbd_mwi[w];
    const int64_t pitch = int64_t(M) * 1024;
    const bool hmirror = win_mirror[g][0] != 0, vmirror = win_mirror[g][1] != 0;
    const uint32_t mwi_reg = vmirror ? 256 - M : M;
    const uint32_t mode = PM_MEM_WMODE[g];
    const int64_t hstart = sc.h_mode == 1 ? ((int64_t(sc.h_shrink) * (iwin.hst - 1)) >> 16) + 1 : iwin.hst;
    const int64_t vstart = sc.v_mode == 1 ? ((int64_t(sc.v_shrink) * (iwin.vst - 1)) >> 16) + 1 : iwin.vst;

    const int cols = static_cast<int>(PM_WIN_SHAPE[w][0]), rows = static_cast<int>(PM_WIN_SHAPE[w][1]);
    int32_t hs[kOch] = {}, vs[kOch] = {};
    for (int i = 0; i < kOch; ++i)
        hs[i] = oact[i].hw, vs[i] = oact[i].vw;
    const int32_t hz = sc.h_mode == 2 ? sc.h_zoom : 0, vz = sc.v_mode == 2 ? sc.v_zoom : 0;
    int first_och = -1;
    for (int j = 0; j < rows && j < kOch; ++j) {
        const AxisRead vr = axis_read(sum_before(vs, j), vs[j], owin.vw, vz, vmirror);
        // Lines read bottom up start at the part's last line; the store address is one line
        // step before the first line read.
        const int64_t vat = vmirror ? (vstart + vr.end - 1) * pitch + pitch : (vstart + vr.start) * pitch - pitch;
        for (int i = 0; i < cols && j * cols + i < kOch; ++i) {
            const int k = och[j * cols + i];
            if (k < 0 || k >= kOch)
                continue;
            const AxisRead hr = axis_read(sum_before(hs, i), hs[i], owin.hw, hz, hmirror);
            const uint32_t o = c331::kChannelStride * static_cast<uint32_t>(k);
            auto wr = [&](uint32_t id, uint32_t v) { drv->write_C331(fd, id, v, o); };
            if (c >= 0) {
                const uint32_t s = k == 0 ? 1 : 0x11;
                wr(c331::OCH_SYNC_CTRL, first_och < 0 ? (static_cast<uint32_t>(c) << 8) | s
                                                      : (static_cast<uint32_t>(first_och) << 8) | s | 0x1000);
                const int64_t at = wingeom::pixel_offset(hstart + hr.start, mode) + vat +
                                   (own_store ? win_line_start[w] : 0);
                for (uint32_t f = 0; f < 5; ++f) {
                    const uint32_t base = own_store ? PS_MEM_SC[c][f] : win_fld_addr[w][f];
                    wr(reg_step(c331::FS_OUT_FIELD0, 4 * f), static_cast<uint32_t>(base + at));
                }
                wr(c331::FS_OMWI, mwi_reg);
            }
            if (first_och < 0)
                first_och = k;
            const _ImageWindowDef2_St& hsl = oact[i];
            const _ImageWindowDef2_St& vsl = oact[j];
            wr(c331::OCH_ACT_HST, PS_ACTHST + static_cast<uint32_t>(hsl.hst));
            wr(c331::OCH_ACT_HW, hsl.hw > 0 ? static_cast<uint32_t>(hsl.hw) : 0);
            wr(c331::OCH_ACT_VST, PS_ACTVST + static_cast<uint32_t>(vsl.vst));
            wr(c331::OCH_ACT_VW, vsl.vw > 0 ? static_cast<uint32_t>(vsl.vw) : 0);
            wr(c331::OCH_MIRROR, hmirror ? 1 : 0);
            wr(c331::OCH_LINE_END, PS_OAOIHST + static_cast<uint32_t>(hsl.hst + hsl.hw));
            wr(c331::ZOOM_HCTRL, hr.ctrl);
            wr(c331::ZOOM_HPHASE, hr.phase);
            wr(c331::ZOOM_HRATIO, static_cast<uint32_t>(hz));
            wr(c331::ZOOM_VCTRL, vr.ctrl);
            wr(c331::ZOOM_VVALUE, vz ? 1 : 0);
            wr(c331::ZOOM_VPHASE, vr.phase);
            wr(c331::ZOOM_VRATIO, static_cast<uint32_t>(vz));
            set_oscwct(fd, k);
            set_lut_vzoom_4sym(fd, vz, k);
        }
    }
}
