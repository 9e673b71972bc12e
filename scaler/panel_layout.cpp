// LED panel and output-channel plan: pure computation (see panel_layout.h).
#include "scaler/panel_layout.h"

#include <algorithm>
#include <cstring>

#include "scaler/c331_regs.h"

namespace panel {

const char* splice_name(int splice)
{
    static const char names[kSpliceModes][20] = {
        "SPLICE MODE: NONE", "SPLICE MODE: HV", "SPLICE MODE: V",
        "SPLICE MODE: H", "SPLICE MODE: CP12", "SPLICE MODE: CP21",
    };
    int s = splice % kSpliceModes;
    return names[s < 0 ? s + kSpliceModes : s];
}

const std::vector<OchTotal>& och_total_table()
{
    static const std::vector<OchTotal> table = [] {
        std::vector<OchTotal> t;
        t.reserve(5200);
        for (int64_t htt = kHttFirst; htt <= kHttLast; htt += 4) {
            // vtt with |htt * vtt - budget| <= tolerance: ceil((B - T) / htt) .. floor((B + T) / htt)
            int64_t lo = (kPixelBudget - kTotalTolerance + htt - 1) / htt;
            int64_t hi = (kPixelBudget + kTotalTolerance) / htt;
            for (int64_t vtt = lo; vtt <= hi; ++vtt)
                t.push_back({static_cast<int32_t>(htt), static_cast<int32_t>(vtt)});
        }
        return t;
    }();
    return table;
}

const OchTotal* find_och_total(int32_t htt, int32_t vtt)
{
    for (const OchTotal& p : och_total_table())
        if (p.htt >= htt && p.vtt >= vtt)
            return &p;
    return nullptr;
}

// The first output lies inside the LED screen, as the pages keep it: a larger one would
// leave the second piece a negative size.
static int inside(int first, int led)
{
    return first > led ? led : first;
}

void set_pieces(ST_PANEL& pnl, int ledW, int ledH, int out1w, int out1h, int splice)
{
    std::memset(&pnl, 0, sizeof pnl);
    splice %= kSpliceModes;
    if (splice < 0)
        splice += kSpliceModes;
    pnl.splice = splice;
    pnl.w = static_cast<uint16_t>(ledW);
    pnl.h = static_cast<uint16_t>(ledH);
    switch (splice) {
    case SPLICE_NONE:
    case SPLICE_CP12:
        pnl.out_w[0] = pnl.out_w[1] = static_cast<uint16_t>(ledW);
        pnl.out_h[0] = static_cast<uint16_t>(ledH);
        break;
    case SPLICE_HV:
    case SPLICE_V:
        out1h = inside(out1h, ledH);
        pnl.out_w[0] = static_cast<uint16_t>(ledW);
        pnl.out_h[0] = static_cast<uint16_t>(out1h);
        pnl.out_h[1] = static_cast<uint16_t>(ledH - out1h);
        break;
    case SPLICE_H:
        out1w = inside(out1w, ledW);
        pnl.out_w[0] = static_cast<uint16_t>(out1w);
        pnl.out_w[1] = static_cast<uint16_t>(ledW - out1w);
        pnl.out_h[0] = static_cast<uint16_t>(ledH);
        break;
    default:  // CP21: no pieces
        break;
    }
}

static bool vertical_splice(const ST_PANEL& pnl)
{
    return pnl.splice == SPLICE_HV || pnl.splice == SPLICE_V;
}

// Width and height of the larger piece, as the totals are planned for it.
static void piece_size(const ST_PANEL& pnl, int64_t* W, int64_t* H)
{
    if (vertical_splice(pnl)) {
        *W = int64_t(pnl.out_w[0]) + pnl.out_w[1];
        *H = std::max(pnl.out_h[0], pnl.out_h[1]);
    } else {
        *W = std::max(pnl.out_w[0], pnl.out_w[1]);
        *H = int64_t(pnl.out_h[0]) + pnl.out_h[1];
    }
}

int64_t piece_area(const ST_PANEL& pnl)
{
    int64_t W, H;
    piece_size(pnl, &W, &H);
    return W * H;
}

// Candidate totals for one OCH per piece, or for a piece split over two OCH.
static void candidates(const ST_PANEL& pnl, int64_t W, int64_t H, int hblank, int vblank,
                       int64_t* htt, int64_t* vtt)
{
    if (pnl.use1och) {
        *htt = W + hblank;
        *vtt = H + vblank;
    } else if (vertical_splice(pnl)) {
        *htt = (pnl.arrang == ARRANG2K4_2x2_8K ? W >> 1 : W) + hblank;
        *vtt = (H >> 1) + vblank;
    } else {
        *htt = (W >> 1) + hblank;
        *vtt = H + vblank;
    }
    // Keep within the pixel budget of one OCH.
    if (*htt * *vtt > kPixelBudget) {
        if (vertical_splice(pnl))
            *htt = kPixelBudget / *vtt;
        else
            *vtt = kPixelBudget / *htt;
    }
}

int och_diff(ST_PANEL& pnl, int* htt_out, int* vtt_out, int hblank, int vblank)
{
    int64_t W, H;
    piece_size(pnl, &W, &H);
    pnl.use1och = (W * H <= k8kArea) ? 1 : 0;

    int64_t htt = 0, vtt = 0;
    for (;;) {
        candidates(pnl, W, H, hblank, vblank, &htt, &vtt);
        // Candidates beyond the table's range cannot match any pair.
        const OchTotal* hit = (htt <= INT32_MAX && vtt <= INT32_MAX)
            ? find_och_total(static_cast<int32_t>(htt), static_cast<int32_t>(vtt)) : nullptr;
        if (hit) {
            htt = hit->htt;
            vtt = hit->vtt;
            break;
        }
        if (!pnl.use1och)
            break;  // keep the budget-clamped candidates
        pnl.use1och = 0;
    }
    *htt_out = static_cast<int>(htt);
    *vtt_out = static_cast<int>(vtt);
    pnl.och.width = static_cast<int32_t>(htt - hblank);
    pnl.och.height = static_cast<int32_t>(vtt - vblank);
    return 1;
}

static int32_t ceil_div(int64_t a, int64_t b)
{
    return b > 0 ? static_cast<int32_t>((a + b - 1) / b) : 0;
}

void plan_och(ST_PANEL& pnl)
{
    const bool is8k = piece_area(pnl) > k8kArea;
    pnl.use1och = is8k ? 0 : 1;

    pnl.hsw = 12;
    pnl.vsw = is8k ? 12 : 3;
    pnl.hfp = pnl.vfp = is8k ? 32 : 4;
    const int hblank = is8k ? 76 : 20;
    const int vblank = is8k ? 76 : 12;

    if (vertical_splice(pnl))
        pnl.arrang = is8k ? ARRANG2K4_2x2_8K : ARRANG2K4_1x2;
    else if (pnl.splice == SPLICE_CP21)
        pnl.arrang = ARRANG2K4_2x1;
    else
        pnl.arrang = is8k ? ARRANG2K4_4x1_8K : ARRANG2K4_2x1;
    switch (pnl.arrang) {
    case ARRANG2K4_2x1: pnl.och_HCnt = 2; pnl.och_VCnt = 1; break;
    case ARRANG2K4_4x1_8K: pnl.och_HCnt = 4; pnl.och_VCnt = 1; break;
    case ARRANG2K4_2x2_8K: pnl.och_HCnt = 2; pnl.och_VCnt = 2; break;
    default: pnl.och_HCnt = 1; pnl.och_VCnt = 2; break;
    }
    pnl.ochBW = OCHBW_2K4K30;
    pnl.xoffs = pnl.yoffs = 0;

    int htt = 0, vtt = 0;
    och_diff(pnl, &htt, &vtt, hblank, vblank);
    pnl.htt = htt;
    pnl.vtt = vtt;

    if (pnl.splice == SPLICE_H) {
        pnl.och.width = (pnl.och.width + 3) & ~3;
        pnl.och.height = vtt - vblank;
        int64_t x = int64_t(pnl.och.width) * pnl.och_HCnt / 2 - pnl.out_w[0];
        pnl.xoffs = static_cast<uint16_t>(x);
    } else if (vertical_splice(pnl)) {
        // A channel row carries either piece: it is as tall as the taller one, and the first
        // piece is pushed down (yoffs) to end on the row boundary. An empty first piece splits
        // nothing: no height, the screen is refused.
        int k = pnl.och_VCnt / 2;
        pnl.och.height = pnl.out_h[0] ? ceil_div(std::max(pnl.out_h[0], pnl.out_h[1]), k) : 0;
        pnl.yoffs = static_cast<uint16_t>(int64_t(k) * pnl.och.height - pnl.out_h[0]);
    } else {
        pnl.och.height = ceil_div(pnl.h, pnl.och_VCnt);
    }
}

ST_PANEL plan(int ledW, int ledH, int out1w, int out1h, int splice)
{
    ST_PANEL pnl;
    set_pieces(pnl, ledW, ledH, out1w, out1h, splice);
    plan_och(pnl);
    return pnl;
}

bool showable(const ST_PANEL& pnl)
{
    constexpr int64_t kTimingMax = 0xFFFF;   // two-byte timing registers
    const int64_t w = pnl.och.width, h = pnl.och.height;
    const bool timing = w > 0 && h > 0 && pnl.htt - 2 <= kTimingMax && pnl.vtt - 2 <= kTimingMax &&
                        w + pnl.hsw + pnl.hfp <= pnl.htt && h + pnl.vsw + pnl.vfp <= pnl.vtt;
    const bool covers = w * pnl.och_HCnt >= int64_t(pnl.xoffs) + pnl.w && h * pnl.och_VCnt >= int64_t(pnl.yoffs) + pnl.h;
    return timing && covers;
}

bool shows(int ledW, int ledH, int out1w, int out1h, int splice)
{
    return showable(plan(ledW, ledH, out1w, out1h, splice));
}

std::array<uint16_t, 7> layout_words(const ST_PANEL& pnl)
{
    uint16_t cols, rows;
    switch (pnl.splice) {
    case SPLICE_NONE:
    case SPLICE_CP12: cols = 1; rows = 1; break;
    case SPLICE_H: cols = 2; rows = 1; break;
    default: cols = 1; rows = 2; break;  // HV, V, CP21
    }
    if (!pnl.use1och)
        cols *= 2;
    return {pnl.xoffs, pnl.yoffs, cols, rows,
            static_cast<uint16_t>(pnl.och.width), static_cast<uint16_t>(pnl.och.height),
            static_cast<uint16_t>(pnl.ochBW)};
}

PanelSpec spec(const ST_PANEL& pnl)
{
    PanelSpec ps{};
    ps.ACTHW = pnl.och.width;
    ps.ACTVW = pnl.och.height;
    ps.HTOTAL = pnl.htt;
    ps.VTOTAL = pnl.vtt;
    ps.HSW = pnl.hsw;
    ps.VSW = pnl.vsw;
    ps.HBP = pnl.htt - pnl.och.width - pnl.hsw - pnl.hfp;
    ps.VBP = pnl.vtt - pnl.och.height - pnl.vsw - pnl.vfp;
    ps.OAOIHST = ps.ACTHST = ps.HSW + ps.HBP;
    ps.OAOIHED = ps.HSW + ps.HBP + ps.ACTHW;
    ps.OAOIVST = ps.ACTVST = ps.VSW + ps.VBP;
    ps.OAOIVED = ps.VSW + ps.VBP + ps.ACTVW;
    ps.VBOTX_MODE = 2;
    if (pnl.arrang == ARRANG2K4_2x2_8K || pnl.arrang == ARRANG2K4_1x2) {
        ps.VBOTX_LAYOUT = 1;
        ps.PANEL_HW = ps.ACTHW;
        ps.PANEL_VW = 2 * ps.ACTVW;
        ps.PANEL_HSHAPE = 1;
        ps.PANEL_VSHAPE = 2;
    } else {
        ps.VBOTX_LAYOUT = 0;
        ps.PANEL_HW = 2 * ps.ACTHW;
        ps.PANEL_VW = ps.ACTVW;
        ps.PANEL_HSHAPE = 2;
        ps.PANEL_VSHAPE = 1;
    }
    return ps;
}

// Lane map of the V-by-One transmitter by splice mode and OCH use.
static uint32_t vbotx_lane_map(int splice, bool use1och)
{
    switch (splice) {
    case SPLICE_NONE: return 0x03020100;
    case SPLICE_CP12: return use1och ? 0x00000000 : 0x01000100;
    case SPLICE_V:
    case SPLICE_H: return use1och ? 0x00010000 : 0x03020100;
    default: return 0x00010000;  // HV, CP21
    }
}

std::vector<RegWrite> register_writes(const ST_PANEL& pnl, const PanelSpec& ps)
{
    using namespace c331;
    std::vector<RegWrite> w;
    w.reserve(160);
    w.push_back(reg_write(OTG_HSW_A, ps.HSW / 2 - 1));
    w.push_back(reg_write(OTG_VSW_A, ps.VSW - 1));
    w.push_back(reg_write(OTG_HSW_B, ps.HSW / 2 - 1));
    w.push_back(reg_write(OTG_VSW_B, ps.VSW - 1));

    for (int c = 0; c < kOutputChannels; ++c) {
        const uint32_t off = kChannelStride * c;
        const uint32_t regs[][2] = {
            {OCH_HTOTAL, uint32_t(pnl.htt - 2)}, {OCH_VTOTAL, uint32_t(pnl.vtt - 2)},
            {OCH_TIMING_CTRL, 64},
            {OCH_OAOI1_HST, ps.OAOIHST}, {OCH_OAOI1_HED, ps.OAOIHED},
            {OCH_OAOI1_VST, ps.OAOIVST}, {OCH_OAOI1_VED, ps.OAOIVED},
            {OCH_OAOI2_HST, ps.OAOIHST}, {OCH_OAOI2_HED, ps.OAOIHED},
            {OCH_OAOI2_VST, ps.OAOIVST}, {OCH_OAOI2_VED, ps.OAOIVED},
            {OCH_ACT_HST, ps.ACTHST}, {OCH_ACT_HW, uint32_t(pnl.och.width)},
            {OCH_ACT_VST, ps.ACTVST}, {OCH_ACT_VW, uint32_t(pnl.och.height + 1)},
        };
        for (const auto& r : regs)
            w.push_back(reg_write(r[0], r[1], off));
    }

    w.push_back(reg_write(VBOTX_LANE_MAP_A, 0x76543210));
    w.push_back(reg_write(VBOTX_LANE_MAP_B, 0x76543210));
    w.push_back(reg_write(VBOTX_OCH_MAP, vbotx_lane_map(pnl.splice, pnl.use1och != 0)));

    const uint32_t tail[][2] = {
        {VBOTX1_OFS, 0}, {VBOTX1_CTL, 0}, {VBOTX1_WID, 0}, {VBOTX1_MODE, 9}, {VBOTX_LANE_MAP_A, 0x76543210},
        {VBOTX2_OFS, 0}, {VBOTX2_CTL, 0}, {VBOTX2_WID, 0}, {VBOTX2_MODE, 9}, {VBOTX_LANE_MAP_B, 0x76543210},
        {SYS_OUT_CFG_A0, 33}, {SYS_OUT_CFG_B0, 33}, {SYS_OUT_CFG_A1, 12}, {SYS_OUT_CFG_B1, 12},
        {SYS_OUT_CFG_A2, 137}, {SYS_OUT_CFG_B2, 137},
    };
    for (const auto& r : tail)
        w.push_back(reg_write(r[0], r[1]));
    return w;
}

}  // namespace panel

// ---- c331_manage: panel set-up ---------------------------------------------------------------

#include <QMutexLocker>
#include <cstdio>
#include <string>

#include "core/TlxRamPara.h"
#include "core/globals.h"
#include "core/log.h"
#include "core/ram_map.h"
#include "core/utils.h"
#include "scaler/c331_manage.h"

// The factory LED screen: what start-up shows when the stored size cannot be shown.
static constexpr int kFactoryLedW = 4096, kFactoryLedH = 2048;

void c331_manage::tlxApi_PnlInit2(int ledW, int ledH, int out1w, int out1h, int splice)
{
    const ST_PANEL shown = pnl;
    panel::set_pieces(pnl, ledW, ledH, out1w, out1h, splice);
    if (g_debugSwitch == 254)
        printf("[tlxApi_PnlInit2] ledW:%d ledH:%d, out1w:%d, out1h:%d, splice:%s\n", ledW, ledH, out1w, out1h,
               panel::splice_name(pnl.splice));
    const bool vertical = pnl.splice == SPLICE_HV || pnl.splice == SPLICE_V;
    if ((vertical && out1h > ledH) || (pnl.splice == SPLICE_H && out1w > ledW))
        writeLogMsg(LOG_WARNING, "c331: first output " + std::to_string(out1w) + "x" + std::to_string(out1h) +
                                     " beyond the LED " + std::to_string(ledW) + "x" + std::to_string(ledH) + " in " +
                                     panel::splice_name(pnl.splice) + "; kept inside the LED");
    ST_PANEL planned = pnl;
    panel::plan_och(planned);
    if (!panel::showable(planned))
        keep_shown_panel(shown, ledW, ledH, splice);
    tlxApi_PnlInitOch3();
    tlxApi_initEnvC331();

    // Every port is re-measured and re-applied on the next input check. The input side's
    // watchdog reads these measurements under the same lock.
    {
        QMutexLocker lk(&Utils::_check_nosig_mutex);
        for (ST_PORT_INFO& pi : PI_PORT_INFO) {
            std::memset(&pi, 0xFF, sizeof pi);
            pi.nosig = 1;
        }
    }
    tlxApi_MultiWinChAlloc(1);
    tlxApi_MultiWinChInit();
    tlxDbg_c331_param();
}

// A layout the output channels cannot show leaves the one shown (at start-up, when there is
// none yet, the factory screen): its pieces are planned again.
void c331_manage::keep_shown_panel(const ST_PANEL& shown, int ledW, int ledH, int splice)
{
    const bool have = panel::showable(shown);
    writeLogMsg(LOG_WARNING, "c331: LED " + std::to_string(ledW) + "x" + std::to_string(ledH) + " in " +
                                 panel::splice_name(splice) + " cannot be shown by the output channels; " +
                                 (have ? "layout kept" : "factory layout shown"));
    if (have)
        pnl = shown;
    else
        panel::set_pieces(pnl, kFactoryLedW, kFactoryLedH, kFactoryLedW, kFactoryLedH, SPLICE_NONE);
}

void c331_manage::tlxApi_PnlInitOch3()
{
    panel::plan_och(pnl);
    use1och = pnl.use1och;
    tlxApi_WriteRam(ram_splice_mode);
    if (g_debugSwitch == 254) {
        const int hblank = pnl.htt - pnl.och.width, vblank = pnl.vtt - pnl.och.height;
        printf("========PANEL=======\n width:%d, height:%d, xoffs:%d, yoffs:%d\n c331_out: %d x %d\n", pnl.w, pnl.h,
               pnl.xoffs, pnl.yoffs, pnl.och.width * pnl.och_HCnt, pnl.och.height * pnl.och_VCnt);
        printf("========OCH SPEC=======\n width:%d, HTT:%d, HBLANK:%d, HFP:%d, HSW:%d, HBP:%d\n"
               " height:%d, VTT:%d, VBLANK:%d, VFP:%d, VSW:%d, VBP:%d\n",
               pnl.och.width, pnl.htt, hblank, pnl.hfp, pnl.hsw, hblank - pnl.hsw - pnl.hfp, pnl.och.height, pnl.vtt,
               vblank, pnl.vfp, pnl.vsw, vblank - pnl.vsw - pnl.vfp);
    }
    tlxApi_c331InitRegPanel();
}

int c331_manage::tlxApi_PnlInitOch_diff(int* htt, int* vtt, int hblank, int vblank)
{
    const int r = panel::och_diff(pnl, htt, vtt, hblank, vblank);
    use1och = pnl.use1och;
    return r;
}

void c331_manage::tlxApi_c331InitRegPanel()
{
    const PanelSpec ps = panel::spec(pnl);
    PS_ACTHW = ps.ACTHW;
    PS_ACTVW = ps.ACTVW;
    PS_HTOTAL = ps.HTOTAL;
    PS_VTOTAL = ps.VTOTAL;
    PS_HSW = ps.HSW;
    PS_HBP = ps.HBP;
    PS_VSW = ps.VSW;
    PS_VBP = ps.VBP;
    PS_OAOIHST = ps.OAOIHST;
    PS_OAOIHED = ps.OAOIHED;
    PS_OAOIVST = ps.OAOIVST;
    PS_OAOIVED = ps.OAOIVED;
    PS_ACTHST = ps.ACTHST;
    PS_ACTVST = ps.ACTVST;
    PS_VBOTX_MODE = ps.VBOTX_MODE;
    PS_VBOTX_LAYOUT = ps.VBOTX_LAYOUT;
    PS_PANEL_HW = ps.PANEL_HW;
    PS_PANEL_VW = ps.PANEL_VW;
    PS_PANEL_HSHAPE = ps.PANEL_HSHAPE;
    PS_PANEL_VSHAPE = ps.PANEL_VSHAPE;
    if (g_debugSwitch == 254) {
        printf("width:%4d, hsw:%4d, hfp:%4d, htt:%4d,   height:%4d, vsw:%4d, vfp:%4d, vtt:%4d,\n", pnl.och.width,
               pnl.hsw, pnl.hfp, pnl.htt, pnl.och.height, pnl.vsw, pnl.vfp, pnl.vtt);
        printf("[tlxApi_c331InitRegPanel] ochBW:%s\n", "OCHBW_2K4K30");
    }
    tlxApi_WriteSeq(panel::register_writes(pnl, ps));
}

void c331_manage::tlxApi_WriteRam(int addr)
{
    if (addr != static_cast<int>(ram_splice_mode))
        return;
    uint8_t* img = TlxRamPara::p_tlxrampara_config->ram_image;
    const auto words = panel::layout_words(pnl);
    for (size_t i = 0; i < words.size(); ++i)
        ram_wr16(img, ram_och_layout + 2 * i, words[i]);
}
