// Multi-window channel allocation (see channel_alloc.h).
#include "scaler/channel_alloc.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/TlxRamPara.h"
#include "core/globals.h"
#include "core/log.h"
#include "core/ram_map.h"
#include "scaler/c331_drv.h"
#include "scaler/c331_manage.h"
#include "scaler/c331_regs.h"

namespace challoc {

// OCH rectangles per arrangement, coded: x and w count OCH widths when bit 7 is set, y and h
// count OCH heights when a bit of 0x60 is set; the low nibble is the count.
struct CodedRect {
    uint8_t x, y, w, h;
};
constexpr uint8_t W1 = 0x81, W2 = 0x82, W3 = 0x83, H1 = 0x61;

static const CodedRect* coded_rects(int arrang, int* count)
{
    static const CodedRect a2x1[] = {{0, 0, W1, H1}, {W1, 0, W1, H1}};
    static const CodedRect a4x1[] = {{0, 0, W1, H1}, {W1, 0, W1, H1}, {W2, 0, W1, H1}, {W3, 0, W1, H1}};
    static const CodedRect a2x2[] = {{0, 0, W1, H1}, {W1, 0, W1, H1}, {0, H1, W1, H1}, {W1, H1, W1, H1}};
    static const CodedRect a1x2[] = {{0, 0, W1, H1}, {0, H1, W1, H1}};
    switch (arrang) {
    case ARRANG2K4_2x1: *count = 2; return a2x1;
    case ARRANG2K4_4x1_8K: *count = 4; return a4x1;
    case ARRANG2K4_2x2_8K: *count = 4; return a2x2;
    case ARRANG2K4_1x2: *count = 2; return a1x2;
    default: *count = 0; return nullptr;
    }
}

static int32_t decode_w(uint8_t v, int32_t unit) { return (v & 0x80) ? (v & 0x0F) * unit : 0; }
static int32_t decode_h(uint8_t v, int32_t unit) { return (v & 0x60) ? (v & 0x0F) * unit : 0; }

int och_rects(const ST_PANEL& pnl, ST_RECT out[kMaxOch])
{
    int n = 0;
    const CodedRect* c = coded_rects(pnl.arrang, &n);
    for (int i = 0; i < n; ++i) {
        out[i].x = decode_w(c[i].x, pnl.och.width);
        out[i].w = decode_w(c[i].w, pnl.och.width);
        out[i].y = decode_h(c[i].y, pnl.och.height);
        out[i].h = decode_h(c[i].h, pnl.och.height);
    }
    return n;
}

void reset_lists(ST_WIN_INFO* wi, int count)
{
    for (int n = 0; n < count; ++n) {
        std::memset(wi[n].ochLst, kOchUnused, sizeof wi[n].ochLst);
        std::memset(wi[n].ochPosLst, kOchUnused, sizeof wi[n].ochPosLst);
        wi[n].totalh = wi[n].totalv = 0;
    }
}

static void alloc_fail(int n)
{
    printf("\033[5m\033[1;31mwin%d alloc och FAIL\n\033[0m", n);
}

int carried_columns(const ST_PANEL& pnl)
{
    const bool one_channel_wide =
        pnl.arrang == ARRANG2K4_2x1 && pnl.use1och && pnl.splice != SPLICE_H && pnl.och.width >= pnl.w;
    return one_channel_wide ? 1 : (pnl.och_HCnt ? pnl.och_HCnt : 1);
}

bool alloc_window(ST_WIN_INFO& wi, const ST_PANEL& pnl, const ST_RECT* r, int och_cnt, int n)
{
    const int32_t x = int16_t(wi.x), y = int16_t(wi.y);
    const int32_t x2 = x + int16_t(wi.w), y2 = y + int16_t(wi.h);
    int start = -1, end = -1;
    for (int i = 0; i < och_cnt; ++i) {
        if (start < 0 && r[i].x <= x && x < r[i].x + r[i].w && r[i].y <= y && y < r[i].y + r[i].h)
            start = i;
        if (r[i].x <= x2 && x2 <= r[i].x + r[i].w && r[i].y <= y2 && y2 <= r[i].y + r[i].h) {
            end = i;
            break;
        }
    }
    if (g_debugSwitch == 254) {
        printf("\t win%d(%4d,%4d,%4d,%4d) \t x1:%4d,y1:%4d, \t x2:%4d,y2:%4d\r\n",
               n, x, y, int16_t(wi.w), int16_t(wi.h), x, y, x2, y2);
        const ST_RECT none{0, 0, 0, 0};
        const ST_RECT& a = start >= 0 ? r[start] : none;
        const ST_RECT& b = end >= 0 ? r[end] : none;
        printf("\t OCH Start: ch%d(%d,%d,%d,%d)\r\n", start, a.x, a.y, a.w, a.h);
        printf("\t OCH End  : ch%d(%d,%d,%d,%d)\r\n", end, b.x, b.y, b.w, b.h);
    }
    // A corner outside every channel (only a layout that skipped the fit test) gets nothing.
    if (start < 0 || end < 0 || start > end) {
        wi.totalh = wi.totalv = 0;
        return true;
    }

    // Columns and rows of the grid between the two corners' channels.
    const int hcnt = pnl.och_HCnt ? pnl.och_HCnt : 1;
    const int col0 = start % hcnt, row0 = start / hcnt;
    const int cols = end % hcnt - col0 + 1, rows = end / hcnt - row0 + 1;
    if (cols < 1 || rows < 1) {
        wi.totalh = wi.totalv = 0;
        return true;
    }
    const int limit = carried_columns(pnl);
    const int totalh = cols < limit ? cols : limit;
    const int totalv = rows;

    const char* red = "\033[5m\033[1;31m";
    if (totalh > kMaxOch) {
        printf("%stotalh:%d > 8\n\033[0m", red, totalh);
        wi.totalh = 0;
        alloc_fail(n);
        return false;
    }
    if (totalv > kMaxOch) {
        printf("%stotalv:%d > 8\n\033[0m", red, totalv);
        wi.totalv = 0;
        alloc_fail(n);
        return false;
    }
    if (totalh * totalv > kMaxOch) {
        printf("%stotalh(%d)*totalv(%d)=%d > 8\n\033[0m", red, totalh, totalv, totalh * totalv);
        wi.totalh = wi.totalv = 0;
        alloc_fail(n);
        return false;
    }
    wi.totalh = static_cast<uint8_t>(totalh);
    wi.totalv = static_cast<uint8_t>(totalv);

    // Channel list in area order: row by row, the window's columns left to right.
    int k = 0;
    for (int r = row0; r < row0 + totalv; ++r) {
        for (int c = col0; c < col0 + totalh && k < kMaxOch; ++c) {
            const int i = r * hcnt + c;
            if (i < och_cnt) {
                wi.ochLst[k] = wi.ochPosLst[k] = static_cast<uint8_t>(i);
                ++k;
            }
        }
    }
    if (g_debugSwitch == 254) {
        printf("\t totalh:%d, \r\n\t totalv:%d\r\n\t ochLst:\t", totalh, totalv);
        for (int m = 0; m < k; ++m)
            printf("%d ", wi.ochLst[m]);
        printf("\r\n");
    }
    return true;
}

static bool real_channel(uint8_t c) { return c < kMaxOch; }

static int listed_channels(const ST_WIN_INFO& wi)
{
    int n = 0;
    for (uint8_t c : wi.ochLst)
        n += real_channel(c);
    return n;
}

// The window drawn below all others that still has channels (image layer 0 is the top; of
// two on one layer the later in the list); -1 when none has.
static int lowest_layer_window(const ST_WIN_INFO* wi, int wincnt)
{
    int low = -1;
    for (int n = 0; n < wincnt; ++n)
        if (listed_channels(wi[n]) && (low < 0 || wi[n].priority >= wi[low].priority))
            low = n;
    return low;
}

int drop_lowest_layers(ST_WIN_INFO* wi, int wincnt, bool dropped[kMaxWindows])
{
    // Every listed entry ends on a channel of its own once shared ones get spares.
    int needed = 0;
    for (int n = 0; n < wincnt; ++n) {
        needed += listed_channels(wi[n]);
        dropped[n] = false;
    }
    const int wanted = needed;
    while (needed > kMaxOch) {
        const int n = lowest_layer_window(wi, wincnt);
        if (n < 0)
            break;
        needed -= listed_channels(wi[n]);
        reset_lists(&wi[n], 1);
        dropped[n] = true;
    }
    return wanted;
}

void overlay(ST_WIN_INFO* wi, int wincnt, uint32_t ov[kMaxOch])
{
    for (int k = 0; k < kMaxOch; ++k)
        ov[k] = k + 1;
    if (wincnt <= 0)
        return;

    bool in_use[kMaxOch] = {};
    for (int n = 0; n < wincnt; ++n)
        for (uint8_t c : wi[n].ochLst)
            if (real_channel(c))
                in_use[c] = true;
    if (wincnt == 1)
        return;

    // A channel listed by two windows goes to the earlier one; the later gets a spare.
    for (int i = 0; i < wincnt; ++i) {
        for (int j = i + 1; j < wincnt; ++j) {
            for (uint8_t& cj : wi[j].ochLst) {
                if (!real_channel(cj))
                    continue;
                bool shared = false;
                for (uint8_t ci : wi[i].ochLst)
                    shared |= (ci == cj);
                if (!shared)
                    continue;
                int idle = -1;
                for (int c = 0; c < kMaxOch && idle < 0; ++c)
                    if (!in_use[c])
                        idle = c;
                if (idle < 0) {
                    if (g_debugSwitch == 254)
                        printf("\t not found idle CH, !!!!!why!!!!!\r");
                    continue;
                }
                in_use[idle] = true;
                cj = static_cast<uint8_t>(idle);
            }
        }
    }

    // Channels of windows that overlap on one grid position are composed onto it.
    bool placed[kMaxOch] = {};
    for (int k = 0; k < kMaxOch; ++k) {
        int covering = 0;
        for (int n = 0; n < wincnt; ++n)
            for (uint8_t p : wi[n].ochPosLst)
                covering += (p == k);
        if (covering < 2)
            continue;
        for (int n = 0; n < wincnt; ++n) {
            for (int m = 0; m < kMaxOch; ++m) {
                if (wi[n].ochPosLst[m] != k)
                    continue;
                uint8_t c = wi[n].ochLst[m];
                if (real_channel(c) && !placed[c]) {
                    ov[c] = k + 1;
                    placed[c] = true;
                }
            }
        }
    }
}

void dedupe_layers(ST_WIN_INFO* wi, int wincnt)
{
    bool used[kMaxWindows] = {};
    for (int n = 0; n < wincnt; ++n) {
        uint8_t p = wi[n].priority;
        if (p < kMaxWindows && used[p]) {
            for (int l = 0; l < kMaxWindows; ++l) {
                if (!used[l]) {
                    if (g_debugSwitch == 254)
                        printf("\t\t win%d layer:%d already assigned, reset it to :%d\n", n, p, l);
                    wi[n].priority = static_cast<uint8_t>(l);
                    break;
                }
            }
        }
        if (wi[n].priority < kMaxWindows)
            used[wi[n].priority] = true;
    }
}

uint32_t dbd_code(uint16_t mode)
{
    static const uint32_t codes[] = {1, 20, 21, 22, 23, 30, 40, 41, 50, 51};
    if (mode < sizeof codes / sizeof codes[0])
        return codes[mode];
    if (g_debugSwitch == 254)
        printf("\t !!!!!!!!DBD_MODE OOR!!!!!!!\n");
    return 1;
}

int32_t win_offset(const ST_WIN_INFO& wi, int32_t cw, int32_t ch, int side)
{
    const int32_t x = int16_t(wi.x), y = int16_t(wi.y), w = int16_t(wi.w), h = int16_t(wi.h);
    switch (side) {
    case 0: return cw ? x % cw : 0;
    case 1: return cw * wi.totalh - (w + (cw ? x % cw : 0));
    case 2: return ch ? y % ch : 0;
    case 3: return ch * wi.totalv - (h + (ch ? y % ch : 0));
    default:
        if (g_debugSwitch == 254)
            printf("\t not found type:%d\r\n", side);
        return 0;
    }
}

int used_channels(const ST_WIN_INFO& wi)
{
    int n = wi.totalh * wi.totalv;
    if (n > kMaxOch)
        n = kMaxOch;
    for (int m = 0; m < n; ++m)
        if (!real_channel(wi.ochLst[m]))
            return m;
    return n;
}

uint8_t input_to_port(int source)
{
    static const uint8_t map[6] = {3, 2, 1, 0, 5, 4};
    return (source >= 0 && source <= 5) ? map[source] : 255;
}

uint8_t named_source(const uint8_t* img, uint16_t word)
{
    if (!(word & WIN_SOURCE_CROP))
        return (word & 0xFF) & 7;
    const int row = word & 0xFF;
    return row < RAM_CROP_ROWS ? (ram_rd16(img, ram_crop_addr(row, CROP_KEY)) & 0xFF) & 7 : 0xFF;
}

}  // namespace challoc

// ---- c331_manage: window list and channel tables -------------------------------------------

static const char* port_name(int p)
{
    static const char* names[6] = {"DVI", "EXT", "HDMI1(1.4)", "HDMI2(1.4)", "HDMI3(2.0)", "HDMI4(2.0)"};
    return (p >= 0 && p < 6) ? names[p] : "NONE";
}

uint8_t c331_manage::tlxApi_inputCvtC331(int source)
{
    return challoc::input_to_port(source);
}

int32_t c331_manage::tlxApi_OchGetWinOffset1(ST_WIN_INFO* wi, int side)
{
    return challoc::win_offset(*wi, pnl.och.width, pnl.och.height, side);
}

// A crop names an area of the picture the source sends: pixels across, frame lines down (an
// interlaced port is measured per field). A crop that does not fit the input's active size,
// or that names no area (width or height 0), shows the whole input: every margin 0. The stored row is not touched, so the crop shows
// again once the input is back to a size it fits.
int32_t c331_manage::tlxApi_CropGetOffset(int port, ST_RECT* rect, int side)
{
    if (port < 0 || port >= kPorts)
        return 0;
    int32_t W = PI_ACT[port][1];
    if (port > 3 && PI_STATE[port] < 4)
        W *= 2;
    const int32_t H = static_cast<int32_t>(PI_ACT[port][3]) * (PI_SCAN_MODE[port] ? 2 : 1);
    if (W == 0 || H == 0) {
        if (g_debugSwitch == 254)
            printf("\t no signal, return 0\n");
        return 0;
    }
    if (rect->w <= 0 || rect->h <= 0 || int64_t(rect->x) + rect->w > W || int64_t(rect->y) + rect->h > H) {
        if (g_debugSwitch == 254)
            printf("[tlxApi_CropGetOffset] crop(%d,%d,%d,%d) beyond the input %dx%d, whole input shown\n", rect->x,
                   rect->y, rect->w, rect->h, W, H);
        return 0;
    }
    int32_t off = 0;
    switch (side) {
    case 0: off = rect->x; break;
    case 1: off = W - (rect->x + rect->w); break;
    case 2: off = rect->y; break;
    case 3: off = H - (rect->y + rect->h); break;
    default: return 0;
    }
    if (off < 0) {
        if (g_debugSwitch == 254)
            printf("[tlxApi_CropGetOffset] offset:%d < 0, reset to zeruo\n", off);
        off = 0;
    }
    return off;
}

void c331_manage::tlxApi_initEnvC331Default()
{
    gMwin.wincnt = 1;
    gMwin.pwin = gMwin_rects;
    gMwin_rects[0] = ST_RECT{pnl.xoffs, pnl.yoffs, pnl.w, pnl.h};
    std::memset(win_cut, 0, sizeof win_cut);
    win_full[0][0] = pnl.w;
    win_full[0][1] = pnl.h;
    ST_WIN_INFO& wi = pwinfo[0];
    wi.x = pnl.xoffs;
    wi.y = pnl.yoffs;
    wi.w = pnl.w;
    wi.h = pnl.h;
    wi.winEn = 1;
    set_unrotated(0);
}

// A window shown without rotate or mirror, reprogrammed so at the next apply.
void c331_manage::set_unrotated(int n)
{
    pwinfo[n].attr = 0;
    win_mirror[n][0] = win_mirror[n][1] = 0;
    g_chg_attr[n] = 1;
}

// Presets of the multi-window layouts; only the first, one window over the LED screen, is read.
void c331_manage::tlxApi_MultiWinInit()
{
    fill_mwin_preset();
    mwin_preset_rects[0][0] = ST_RECT{0, 0, pnl.w, pnl.h};
}

void c331_manage::tlxApi_PreviewCh() {}

// The one-window layout, from the preset block: the live window list is not touched.
void c331_manage::tlxApi_MultiWinGet(ST_MWIN* out)
{
    tlxApi_MultiWinInit();
    tlxApi_PreviewCh();
    out->wincnt = mwin_preset[0].count;
    out->pwin = mwin_preset[0].win;
}

// Reads window slot w of the image into list position n; false when it does not fit.
bool c331_manage::load_window(const uint8_t* img, int w, int n)
{
    auto rd = [&](uint32_t field) { return ram_rd16(img, ram_window_addr(w, field)); };
    ST_WIN_INFO& wi = pwinfo[n];

    uint16_t pri = ram_rd16(img, ram_win_priority + 2 * w);
    if (pri > 5) {
        if (g_debugSwitch == 254)
            printf(" WIN%d PRIORITY:%x OOR,reset to %d\n", w, pri, pri % 6);
        pri %= 6;
    }
    wi.priority = static_cast<uint8_t>(pri);

    const int32_t x = rd(WIN_X) + pnl.xoffs, y = rd(WIN_Y) + pnl.yoffs;
    int32_t width = rd(WIN_WIDTH), height = rd(WIN_HEIGHT);
    const int64_t canvas_w = int64_t(pnl.och.width) * pnl.och_HCnt;
    const int64_t canvas_h = int64_t(pnl.och.height) * pnl.och_VCnt;
    // A window that overhangs the canvas is cut at its edge (its picture keeps its scale, the
    // part beyond is not shown); one that starts beyond it has nothing to show and fails below.
    win_full[n][0] = width;
    win_full[n][1] = height;
    for (int k = 0; k < 4; ++k)
        win_cut[n][k] = 0;
    if (x < canvas_w && x + width > canvas_w) {
        win_cut[n][1] = static_cast<int32_t>(x + width - canvas_w);
        width -= win_cut[n][1];
    }
    if (y < canvas_h && y + height > canvas_h) {
        win_cut[n][3] = static_cast<int32_t>(y + height - canvas_h);
        height -= win_cut[n][3];
    }
    gMwin_rects[n] = ST_RECT{x, y, width, height};
    wi.x = static_cast<uint16_t>(x);
    wi.y = static_cast<uint16_t>(y);
    wi.w = static_cast<uint16_t>(width);
    wi.h = static_cast<uint16_t>(height);

    const uint16_t src = rd(WIN_SOURCE);
    // A row past the table reads as no source, which fails the fit test below.
    wi.input = challoc::named_source(img, src);
    PM_INPUT_OFFSET_EN[n] = (src & WIN_SOURCE_CROP) ? 1 : 0;
    if (src & WIN_SOURCE_CROP)
        wi.crop = static_cast<uint8_t>(src & 0xFF);

    const uint16_t out = rd(WIN_OUTPUT);
    wi.winEn = static_cast<uint8_t>(rd(WIN_ENABLE));
    wi.attr = static_cast<uint8_t>(rd(WIN_ROTATE));
    wi.output = out & 3;
    win_switch_effect[n] = (out >> 2) & 1;
    PM_WIN_DBD_MODE[n] = (out & WIN_OUT_P2P) ? challoc::dbd_code(rd(WIN_P2P_MODE)) : 0;
    g_chg_dbd[n] = 1;
    win_fade_in_frames[n] = ram_rd16(img, ram_fade_frames + RAM_FADE_STRIDE * w);
    win_fade_out_frames[n] = ram_rd16(img, ram_fade_frames + RAM_FADE_STRIDE * w + 2);
    if (g_debugSwitch == 254)
        printf("\t win%d:(%d,%d,%d,%d) input:%s, winEn:%d,rotate:%d\r\n", w, x, y, width, height,
               port_name(challoc::input_to_port(wi.input)), wi.winEn, wi.attr);

    const char* tag = (pnl.splice == SPLICE_NONE) ? " for SPLICE_NONE" :
                      (pnl.splice == SPLICE_CP12) ? " for SPLICE_CP1TO2" : " for";
    bool dbg = g_debugSwitch == 254;
    if (x + width > canvas_w) {
        if (dbg) printf("\t OOR%s win:%d x:%d w:%d, pnl->w\r\n", tag, w, x, width);
        return false;
    }
    if (y + height > canvas_h) {
        if (dbg) printf("\t OOR%s win:%d y:%d h:%d, pnl->h\r\n", tag, w, y, height);
        return false;
    }
    if (wi.input > 5) {
        if (dbg) printf("\t OOR%s win:%d, input:%s\r\n", tag, w, port_name(-1));
        return false;
    }
    if (pwinfo[0].winEn == 0) {
        if (dbg) printf("\t OOR%s win0 disable\r", tag);
        return false;
    }
    if (wi.attr > 3) {
        if (dbg) printf("\t OOR%s win%d rotate:%d\r\n", tag, w, wi.attr);
        return false;
    }
    return true;
}

void c331_manage::tlxApi_initEnvC331()
{
    const uint8_t* img = TlxRamPara::p_tlxrampara_config->ram_image;
    gMwin.pwin = gMwin_rects;
    std::memset(win_cut, 0, sizeof win_cut);
    std::memset(win_full, 0, sizeof win_full);

    int listed[kWindows];
    int wincnt = 0;
    for (int w = 0; w < kWindows; ++w)
        if (ram_rd16(img, ram_window_addr(w, WIN_ENABLE)) != 0)
            listed[wincnt++] = w;
    if (g_debugSwitch == 254) {
        for (int w = 0; w < kWindows; ++w) {
            printf("\t win:%d addr:%4x\t", w, ram_window_addr(w, 0));
            for (uint32_t f = 0; f < RAM_WINDOW_STRIDE; f += 2)
                printf("%04x ", ram_rd16(img, ram_window_addr(w, f)));
            printf("\r\n");
        }
        printf("\t wincnt:%d\r\n", wincnt);
    }

    bool fits = wincnt > 0;
    for (int n = 0; n < wincnt && fits; ++n)
        fits = load_window(img, listed[n], n);

    // Window slot -> list position: the setters work on list positions.
    for (int s = 0; s < kWindows; ++s)
        slot_pos[s] = -1;
    list_fallback = !fits;
    if (!fits) {
        // The one window shows the first listed window's record (window 0's when none is
        // listed: nothing else was read), and that window's setters reach it.
        const int shown = wincnt > 0 ? listed[0] : 0;
        if (wincnt == 0)
            load_window(img, shown, 0);
        tlxApi_initEnvC331Default();
        slot_pos[shown] = 0;
    } else {
        for (int n = 0; n < wincnt; ++n)
            slot_pos[listed[n]] = n;
        challoc::dedupe_layers(pwinfo, wincnt);
        for (int s = 0; s < kWindows; ++s) {
            const int n = slot_pos[s];
            if (n < 0)
                continue;
            const uint8_t attr = ram_rd16(img, ram_window_addr(s, WIN_ROTATE)) & 3;
            pwinfo[n].attr = attr;
            g_chg_attr[n] = 1;
            win_mirror[n][0] = attr & 1;
            win_mirror[n][1] = (attr >> 1) & 1;
        }
        gMwin.wincnt = wincnt;
    }
    g_win_pending = 0;
}

void c331_manage::tlxApi_MultiWinChAlloc(int init)
{
    if (g_debugSwitch == 254)
        printf("[tlxApi_MultiWinChAlloc] init:%d\r\n", init);
    challoc::reset_lists(pwinfo, kWindows);
    ST_RECT rects[kOch];
    const int och_cnt = challoc::och_rects(pnl, rects);
    const int wincnt = gMwin.wincnt < kWindows ? gMwin.wincnt : kWindows;
    for (int n = 0; n < wincnt; ++n)
        if (!challoc::alloc_window(pwinfo[n], pnl, rects, och_cnt, n))
            break;
}

// Windows beyond the eight output channels: the lowest layers go dark, in one log line.
void c331_manage::drop_windows_beyond_channels(int wincnt)
{
    bool dropped[kWindows] = {};
    const int wanted = challoc::drop_lowest_layers(pwinfo, wincnt, dropped);
    windows_dropped = wanted > kOch;
    std::string listed;
    for (int s = 0; s < kWindows; ++s) {
        const int n = slot_pos[s];
        if (n >= 0 && n < wincnt && dropped[n])
            listed += (listed.empty() ? "" : ", ") + std::to_string(s);
    }
    const std::string note = listed.empty() ? std::string() : "c331: windows need " + std::to_string(wanted) +
                                 " output channels of 8; not shown (lowest layers): window " + listed;
    if (dropped_note_held)
        dropped_note = note;
    else if (!note.empty())
        writeLogMsg(LOG_WARNING, note);
}

void c331_manage::tlxApi_MultiWinChOverlay()
{
    const int wincnt = gMwin.wincnt < kWindows ? gMwin.wincnt : kWindows;
    drop_windows_beyond_channels(wincnt);
    challoc::overlay(pwinfo, wincnt, PM_OVERLAY);
    g_chg_overlay = 1;
}

void c331_manage::tlxApi_MultiWinChInit()
{
    const uint8_t* img = TlxRamPara::p_tlxrampara_config->ram_image;
    tlxApi_MultiWinChOverlay();
    c331_SetWinPriority1(c331_fd);

    for (int p = 0; p < kPorts; ++p) {
        std::memset(&PI_HDMI_INFO[p], 0xFF, sizeof PI_HDMI_INFO[p]);
        PI_HDMI_INFO[p].no_signal = 1;
    }
    for (int s = 0; s < kWindows; ++s) {
        PM_INPUT[s] = 6;
        PM_WIN_SHAPE[s][0] = PM_WIN_SHAPE[s][1] = 0;
        for (int k = 0; k < 4; ++k)
            PM_WIN_OFFSET[s][k] = 0;
        g_chg_win[s] = g_chg_input[s] = g_chg_dbd[s] = 0;
    }

    const int wincnt = gMwin.wincnt < kWindows ? gMwin.wincnt : kWindows;
    for (int n = 0; n < wincnt; ++n) {
        ST_WIN_INFO& wi = pwinfo[n];
        g_chg_win[n] = g_chg_input[n] = g_chg_dbd[n] = 1;
        PM_WIN_SHAPE[n][0] = wi.totalh;
        PM_WIN_SHAPE[n][1] = wi.totalv;
        PM_INPUT[n] = tlxApi_inputCvtC331(wi.input);
        for (int k = 0; k < 4; ++k)
            PM_WIN_OFFSET[n][k] = tlxApi_OchGetWinOffset1(&wi, k);
        if (PM_INPUT_OFFSET_EN[n] && wi.crop < RAM_CROP_ROWS) {
            ST_RECT crop{ram_rd16(img, ram_crop_addr(wi.crop, CROP_X)), ram_rd16(img, ram_crop_addr(wi.crop, CROP_Y)),
                         ram_rd16(img, ram_crop_addr(wi.crop, CROP_WIDTH)),
                         ram_rd16(img, ram_crop_addr(wi.crop, CROP_HEIGHT))};
            if (g_debugSwitch == 254)
                printf("\t win_%d, crop(%d,%d,%d,%d)\n", n, crop.x, crop.y, crop.w, crop.h);
            for (int k = 0; k < 4; ++k)
                PM_INPUT_OFFSET[n][k] = tlxApi_CropGetOffset(PM_INPUT[n], &crop, k);
        } else {
            for (int k = 0; k < 4; ++k)
                PM_INPUT_OFFSET[n][k] = 0;
        }
    }

    for (int k = 0; k < kOch; ++k) {
        PM_WIN_NUM[k] = 6;
        PM_AREA_NUM[k] = 8;
    }
    for (int n = 0; n < wincnt; ++n) {
        const int cnt = pwinfo[n].totalh * pwinfo[n].totalv;
        for (int m = 0; m < cnt && m < kOch; ++m) {
            const uint8_t c = pwinfo[n].ochLst[m];
            if (c >= kOch) {
                if (g_debugSwitch == 254)
                    printf("\t !!!!och:%d OOR\r\n", c);
                break;
            }
            PM_WIN_NUM[c] = n;
            PM_AREA_NUM[c] = m;
            if (g_debugSwitch == 254)
                printf("ochLst[%d]:%d PM_AREA_NUM[%d]:%d\n", m, c, c, m);
        }
    }

    for (int k = 0; k < kOch; ++k)
        drv->write_c331_mask(c331_fd, c331::OCH_ENABLE_BASE + 0x100 * k, PM_WIN_NUM[k] != 6 ? 1 : 0, 1, 0);
}
