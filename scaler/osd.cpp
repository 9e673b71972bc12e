// The on-chip OSD: its parameters (tlxApi_OsdSet, the text buffer), the OSD window on the
// output channels, scrolling, and the redraw that renders the text or copies the bitmap and
// tiles the visible part into display memory.
#include <QMutexLocker>
#include <algorithm>
#include <cstring>

#include "core/log.h"
#include "scaler/c331_drv.h"
#include "scaler/c331_manage.h"
#include "scaler/c331_osd_regs.h"
#include "scaler/c331_regs.h"
#include "scaler/dbg_print.h"

namespace {

// Built-in character table: canvas 1920 x 1080 (the canvas follows the panel instead),
// background colour, transparency, first text position, character colour, then flash address
// and size of the 32-dot ASCII, 32-dot CJK, 64-dot ASCII and 64-dot CJK fonts.
constexpr uint32_t osd_char_txt[15] = {1920,     1080,     0xFF0000, 0,        0,
                                       0,        0xC0C0FF, 0x000023, 0x3000,   0x010023,
                                       0x290000, 0x410023, 0xC000,   0x450023, 0xA40000};
// Built-in bitmap: flash address, width, height, palette address.
constexpr uint32_t osd_bmp_txt[4] = {0xED9800, 1920, 1080, 0x10D3C00};

// Debug print table entry 8 (group "C331"): the OSD setter's lines.
bool osd_prints_on() { return scaler_debug_on() && (c331_manage::prnEn[0][7] & 0x80); }

// The part of the window [start, start + size) that falls on a channel [0, p), start given
// relative to the channel.
c331_manage::OsdSpan span_on_channel(int64_t start, int64_t size, int64_t p)
{
    if (start >= p)
        return {0, 0};
    if (start >= 0)
        return {int32_t(start), int32_t(start + size > p ? p - start : size)};
    const int64_t end = start + size;
    if (end > p)
        return {0, int32_t(p)};
    return {0, int32_t(std::max<int64_t>(end, 0))};
}

// The OSD pixel a piece starts at, d pixels into the window. At double size a piece that
// starts an odd number of pixels in starts half way through an OSD pixel, which no memory
// address names: the piece then begins one pixel earlier, in the blanking just before the
// channel's output area (such a piece starts at the channel's edge), from the OSD pixel that
// pixel pair shows, so its first pixel on the wall is the second half of that pair.
int32_t piece_source(c331_manage::OsdSpan* s, int64_t d, bool zoom)
{
    if (!zoom)
        return int32_t(d);
    if (d % 2 != 0 && s->size > 0) {
        s->start -= 1;
        s->size += 1;
    }
    return int32_t(d / 2);
}

}  // namespace

int c331_manage::tlxApi_OsdSet(int type, int value)
{
    if (type < 0 || (type >= 23 && type <= 31) || type > 35)
        return 0;
    const bool dbg = osd_prints_on();
    if (dbg)
        std::printf("[tlxApi_OsdSet] type:%d, val:%x\n", type, value);
    const uint32_t on = value != 0;
    const uint32_t u = static_cast<uint32_t>(value);
    switch (type) {
    case 0: PM_OSD_EN = on; osd_set_req = 1; break;
    case 1: PM_OSD_HZOOM_EN = on; osd_set_req = 1; break;
    case 2: PM_OSD_VZOOM_EN = on; osd_set_req = 1; break;
    case 3: PM_OSD_DATA_MODE = on; osd_full_update_req = 1; break;
    case 4: PM_OSD_SCROLL_MODE = u % 9; osd_set_req = 1; break;
    case 5: PM_OSD_OUTPUT_OFFSET[0] = value; break;
    case 6: PM_OSD_OUTPUT_OFFSET[1] = int32_t(int64_t(PS_BG_HACT) - value - PM_OSD_OUTPUT_OFFSET[0]); break;
    case 7: PM_OSD_OUTPUT_OFFSET[2] = value; break;
    case 8: PM_OSD_OUTPUT_OFFSET[3] = int32_t(int64_t(PS_BG_VACT) - value - PM_OSD_OUTPUT_OFFSET[2]); break;
    case 9: case 10: case 11: case 12: PM_OSD_INPUT_OFFSET[type - 9] = value; break;
    case 13: PM_OSD_SCROLL_SPEED = u % 256; osd_set_req = 1; break;
    case 14: PM_OSD_CHAR_64DOT = on; osd_full_update_req = 1; break;
    case 15: PM_OSD_UPDATE_BUTTON = on; osd_full_update_req = 1; break;
    case 16: PS_BG_COLOR = u & 0xFFFFFF; break;
    case 17: PS_CHAR_COLOR = u & 0xFFFFFF; break;
    case 18: PS_BG_TRANS = on; break;
    case 19: PS_BG_HACT = u; break;
    case 20: PS_BG_VACT = u; break;
    case 21: PS_CHAR_HST = u; break;
    case 22: PS_CHAR_VST = u; break;
    case 32:
        osd_set_req = (u >> 7) & 1;
        osd_full_update_req = (u >> 6) & 1;
        break;
    case 33: osd_layer_bottom = on; break;
    case 34: char_space = u; break;
    case 35: line_space = u; break;
    }
    // Callers are pages and remote commands: the scaler thread serves the request now, not
    // when its periodic work is next due.
    if (osd_set_req || osd_full_update_req)
        c331_wake();
    if (dbg) {
        if (type == 4)
            std::printf("\t OSD scroll mode %d\n", PM_OSD_SCROLL_MODE);
        else if (type == 16)
            std::printf("\t background color BBGGRR %08x\n", PS_BG_COLOR);
        else if (type == 17)
            std::printf("\t char color BBGGRR %08x\n", PS_CHAR_COLOR);
        else if (type >= 5 && type <= 8)
            std::printf("\t OSD output offset %d %d %d %d\n", PM_OSD_OUTPUT_OFFSET[0], PM_OSD_OUTPUT_OFFSET[1],
                        PM_OSD_OUTPUT_OFFSET[2], PM_OSD_OUTPUT_OFFSET[3]);
    }
    return 1;
}

int c331_manage::tlxApi_OsdSetUnicode(int lines, const int* counts, const uint32_t (*text)[kOsdLineUnits])
{
    const int n = lines % kOsdLines;
    if (n < 1) {
        g_unicode_line = 0;
        return 0;
    }
    std::memset(g_unicode_buf, 0, sizeof g_unicode_buf);
    for (int i = 0; i < n; ++i) {
        const int c = std::min(counts[i], kOsdLineUnits - 1);
        for (int k = 0; k < c; ++k) {
            const uint32_t unit = text[i][k] & 0xFFFF;
            g_unicode_buf[i][2 * k] = uint8_t(unit >> 8);
            g_unicode_buf[i][2 * k + 1] = uint8_t(unit);
        }
    }
    g_unicode_line = n;
    return 0;
}

void c331_manage::load_char()
{
    QMutexLocker lk(&osd_flash_mutex);   // update_font on the remote thread reads the font table
    PS_BG_HACT = PS_PANEL_HW;
    // Drawn in the drawing memory, which ends where the display memory begins: a canvas taller
    // than it holds at the canvas's pitch (a piece of nearly 4096 x 2560 pixels) is cut at the
    // lines it holds, so a redraw never overwrites the memory the OSD is shown from.
    PS_BG_VACT = std::min(PS_PANEL_VW, osd_memory_lines(PS_PANEL_HW));
    PS_BG_COLOR = osd_char_txt[2];
    PS_BG_TRANS = osd_char_txt[3];
    PS_CHAR_HST = osd_char_txt[4];
    PS_CHAR_VST = osd_char_txt[5];
    PS_CHAR_COLOR = osd_char_txt[6];
    PS_CHAR_ADDR_32ASCII = osd_char_txt[7];
    PS_CHAR_SIZE_32ASCII = osd_char_txt[8];
    PS_CHAR_ADDR_32CHN = osd_char_txt[9];
    PS_CHAR_SIZE_32CHN = osd_char_txt[10];
    PS_CHAR_ADDR_64ASCII = osd_char_txt[11];
    PS_CHAR_SIZE_64ASCII = osd_char_txt[12];
    PS_CHAR_ADDR_64CHN = osd_char_txt[13];
    PS_CHAR_SIZE_64CHN = osd_char_txt[14];
}

// The canvas of the text entry whose window types 5 to 8 have set (its zoom set too). The
// output channels' canvas that load_char gives is kept when it holds the entry's part on the
// wall. An entry wider than it (on walls of four channels), or taller than the lines it holds
// (on tall walls, where the drawing memory holds fewer lines of that width), gets a canvas of
// its own size, which fills no more lines of the drawing memory than the entry occupies; what
// that memory cannot hold even so is cut at the lines it holds, and logged. The window keeps
// its place and size: the margins of types 6 and 8 are taken from the canvas again.
void c331_manage::fit_osd_canvas()
{
    if (!PM_OSD_DATA_MODE)
        return;   // a bitmap is shown from its own source
    int32_t* out = PM_OSD_OUTPUT_OFFSET;
    const int64_t w = int64_t(PS_BG_HACT) - out[0] - out[1], h = int64_t(PS_BG_VACT) - out[2] - out[3];
    // Canvas pixels of the part on the wall (half of it each way at double size).
    int64_t cw = std::clamp<int64_t>(std::min<int64_t>(w, int64_t(pnl.w) - out[0]), 0, UINT16_MAX);
    int64_t ch = std::clamp<int64_t>(std::min<int64_t>(h, int64_t(pnl.h) - out[2]), 0, UINT16_MAX);
    if (PM_OSD_HZOOM_EN)
        cw = (cw + 1) / 2;
    if (PM_OSD_VZOOM_EN)
        ch = (ch + 1) / 2;
    if (cw > int64_t(PS_BG_HACT) || (cw > 0 && ch > int64_t(PS_BG_VACT))) {
        PS_BG_HACT = uint32_t(cw);
        PS_BG_VACT = uint32_t(std::min<int64_t>(ch, osd_memory_lines(PS_BG_HACT)));
    }
    if (ch > int64_t(PS_BG_VACT)) {
        using std::to_string;
        writeLogMsg(LOG_WARNING, "c331: OSD entry " + to_string(w) + "x" + to_string(h) + " at " + to_string(out[0]) +
                                     "," + to_string(out[2]) + ": the drawing memory holds " + to_string(PS_BG_VACT) +
                                     " of its " + to_string(ch) + " canvas lines at " + to_string(PS_BG_HACT) +
                                     " wide; the lines below are not shown");
    }
    out[1] = int32_t(int64_t(PS_BG_HACT) - w - out[0]);
    out[3] = int32_t(int64_t(PS_BG_VACT) - h - out[2]);
}

void c331_manage::load_bmp()
{
    PS_BMP_ADDR = osd_bmp_txt[0];
    PS_BMP_HACT = osd_bmp_txt[1];
    PS_BMP_VACT = osd_bmp_txt[2];
    PS_BMPCP_ADDR = osd_bmp_txt[3];
}

// m := 2 x ceil(width / 128), rounded up to a multiple of 4; above 64 it is kept in units of 4.
void c331_manage::osd_pitch(uint32_t width, uint32_t* mwi, uint32_t* shift)
{
    uint32_t m = 2 * ((width + 127) / 128);
    m = (m + 3) & ~3u;
    *shift = m > 64;
    *mwi = m > 64 ? m / 4 : m;
}

uint32_t c331_manage::osd_memory_lines(uint32_t width) const
{
    uint32_t mwi, shift;
    osd_pitch(width, &mwi, &shift);
    const uint64_t pitch = uint64_t(shift ? 4 * mwi : mwi) << 7;
    if (pitch == 0 || PS_MEM_OSD1 <= PS_MEM_OSD)
        return UINT32_MAX;
    return uint32_t(std::min<uint64_t>((PS_MEM_OSD1 - PS_MEM_OSD) / pitch, UINT32_MAX));
}

uint32_t c331_manage::osd_addr(uint32_t base, int32_t x, int32_t y) const
{
    return uint32_t(int64_t(base) + x + ((int64_t(osd_pitch_units()) * y) << 7));
}

void c331_manage::osd_source_size(int32_t* w, int32_t* h) const
{
    *w = int32_t(PM_OSD_DATA_MODE ? PS_BG_HACT : PS_BMP_HACT);
    *h = int32_t(PM_OSD_DATA_MODE ? PS_BG_VACT : PS_BMP_VACT);
}

void c331_manage::calc_osd()
{
    int32_t W, H;
    osd_source_size(&W, &H);
    const int32_t* in = PM_OSD_INPUT_OFFSET;
    const int32_t* out = PM_OSD_OUTPUT_OFFSET;
    int64_t cw = int64_t(W) - in[0] - in[1], ch = int64_t(H) - in[2] - in[3];
    cw = std::max<int64_t>(PM_OSD_HZOOM_EN ? 2 * cw : cw, 0);
    ch = std::max<int64_t>(PM_OSD_VZOOM_EN ? 2 * ch : ch, 0);
    // The right and bottom margins were taken from the canvas (types 6 and 8), which may be
    // shorter than the panel: the window is the canvas less its margins.
    const int64_t hw = std::min<int64_t>(int64_t(PS_BG_HACT) - out[0] - out[1], cw);
    const int64_t vw = std::min<int64_t>(int64_t(PS_BG_VACT) - out[2] - out[3], ch);
    OSD_WIN = {out[0], int32_t(std::max<int64_t>(hw, 0)), out[2], int32_t(std::max<int64_t>(vw, 0))};

    // The window on the output channels' canvas, where the LED picture lies at the layout's
    // offsets; nothing past the LED picture's right or bottom edge is shown.
    const int64_t x0 = int64_t(OSD_WIN.HST) + pnl.xoffs, y0 = int64_t(OSD_WIN.VST) + pnl.yoffs;
    const int64_t x1 = std::min<int64_t>(x0 + OSD_WIN.HW, int64_t(pnl.xoffs) + pnl.w);
    const int64_t y1 = std::min<int64_t>(y0 + OSD_WIN.VW, int64_t(pnl.yoffs) + pnl.h);
    const int64_t w = std::max<int64_t>(x1 - x0, 0), h = std::max<int64_t>(y1 - y0, 0);
    // Cut over the channels as the arrangement places them; the channels it does not use
    // show nothing.
    ST_RECT rects[kMaxOch];
    const int n = challoc::och_rects(pnl, rects);
    for (int c = 0; c < kOch; ++c) {
        OsdPiece& p = osd_piece[c];
        p = OsdPiece{};
        if (c >= n)
            continue;
        p.h = span_on_channel(x0 - rects[c].x, w, rects[c].w);
        p.v = span_on_channel(y0 - rects[c].y, h, rects[c].h);
        // How far into the window the piece starts (the OSD memory holds it at half size when
        // zoomed); a channel the window misses gets a start inside it all the same.
        const int64_t dx = std::clamp<int64_t>(rects[c].x + p.h.start - x0, 0, OSD_WIN.HW);
        const int64_t dy = std::clamp<int64_t>(rects[c].y + p.v.start - y0, 0, OSD_WIN.VW);
        p.src_x = piece_source(&p.h, dx, PM_OSD_HZOOM_EN);
        p.src_y = piece_source(&p.v, dy, PM_OSD_VZOOM_EN);
    }
}

void c331_manage::set_osd(int fd, int which, bool hidden)
{
    uint32_t ctrl = g_osd_mwi_shift ? c331::OSD_CTRL_WIDE : c331::OSD_CTRL_BASE;
    if (PM_OSD_VZOOM_EN)
        ctrl |= c331::OSD_CTRL_VZOOM;
    if (PM_OSD_HZOOM_EN)
        ctrl |= c331::OSD_CTRL_HZOOM;
    if (PM_OSD_EN && !hidden)
        ctrl |= PM_OSD_DATA_MODE ? c331::OSD_CTRL_TEXT : c331::OSD_CTRL_BITMAP;
    if (osd_layer_bottom)
        ctrl |= c331::OSD_CTRL_BOTTOM;
    const uint32_t base = which == 0 ? PS_MEM_OSD : PS_MEM_OSD1;
    const int32_t left = which == 0 ? PM_OSD_INPUT_OFFSET[0] : 0;
    const int32_t top = which == 0 ? PM_OSD_INPUT_OFFSET[2] : 0;
    calc_osd();
    if (pnl.och_HCnt == 0)
        return;   // no output channels laid out yet

    for (int c = 0; c < kOch; ++c) {
        const OsdPiece& p = osd_piece[c];
        const uint32_t ch = c331::kChannelStride * uint32_t(c);
        drv->write_C331(fd, c331::OSD_HST, PS_ACTHST + p.h.start - 4, ch);
        drv->write_C331(fd, c331::OSD_HW, p.h.size, ch);
        drv->write_C331(fd, c331::OSD_VST, PS_ACTVST + p.v.start + 1, ch);
        drv->write_C331(fd, c331::OSD_VW, p.v.size, ch);
        drv->write_C331(fd, c331::OSD_BASE, osd_addr(base, left + p.src_x, top + p.src_y), ch);
        drv->write_C331(fd, c331::OSD_MWI, g_osd_mwi, ch);
        drv->write_C331(fd, c331::OSD_CTRL, ctrl, ch);
    }
}

void c331_manage::set_scroll(int fd)
{
    int64_t w = OSD_WIN.HW, h = OSD_WIN.VW;
    if (!PM_OSD_DATA_MODE) {
        w = int64_t(PS_BMP_HACT) - PM_OSD_INPUT_OFFSET[0] - PM_OSD_INPUT_OFFSET[1];
        h = int64_t(PS_BMP_VACT) - PM_OSD_INPUT_OFFSET[2] - PM_OSD_INPUT_OFFSET[3];
    }
    w = std::max<int64_t>(w, 0);
    h = std::max<int64_t>(h, 0);
    const uint32_t run = PM_OSD_SCROLL_MODE == 0 ? 0x80 : 0x81 | ((PM_OSD_SCROLL_MODE - 1) << 4);
    // Every channel is stopped first, then all are started together.
    for (uint32_t ctrl : {0u, run}) {
        for (int c = 0; c < kOch; ++c) {
            const uint32_t ch = c331::kChannelStride * uint32_t(c);
            drv->write_C331(fd, c331::OSD_SCROLL_SPEED, PM_OSD_SCROLL_SPEED, ch);
            drv->write_C331(fd, c331::OSD_SCROLL_W, uint32_t(w), ch);
            drv->write_C331(fd, c331::OSD_SCROLL_H, uint32_t(h), ch);
            drv->write_C331(fd, c331::OSD_SCROLL_CTRL, ctrl, ch);
        }
    }
}

// The OSD requests of a pass. A redraw request is taken before the work: one raised during
// it (a font reload, a new menu) is served on a later pass. A redraw the drawing engine cannot
// take now (it is busy, or a step did not finish in time) stays requested, so what the user
// sent is drawn once the engine is free; the window requests, which need no engine, are
// served meanwhile with the OSD hidden: the display memory does not hold the entry they
// place (it holds an earlier one, or nothing yet), and the redraw shows it.
void c331_manage::serve_osd_requests(int fd)
{
    bool drawn = false;
    if (osd_full_update_req.exchange(0)) {
        drawn = osd_engine_free(fd) && update_osd(fd);
        if (!drawn) {
            osd_full_update_req = 1;
            if (!osd_redraw_deferred)
                writeLogMsg(LOG_WARNING, "c331: OSD drawing engine busy, the OSD is drawn once it is free");
        } else if (osd_redraw_deferred) {
            writeLogMsg(LOG_INFO, "c331: OSD drawing engine free again, the OSD is drawn");
        }
        osd_redraw_deferred = !drawn;
    }
    if (!drawn && osd_set_req.exchange(0)) {
        set_osd(fd, 1, osd_redraw_deferred);
        set_scroll(fd);
    }
}

// Renders the OSD into drawing memory, shows it from there, then tiles the visible crop
// twice in each direction into display memory (for scrolling) and shows that. A drawing step
// that times out ends the redraw (its warning is logged) and false is returned.
bool c331_manage::update_osd(int fd)
{
    QMutexLocker lk(&osd_flash_mutex);
    if (!PM_OSD_DATA_MODE)
        load_bmp();
    int32_t W, H;
    osd_source_size(&W, &H);
    if (W <= 0 || H <= 0)
        return true;   // no canvas yet: nothing to draw
    osd_pitch(uint32_t(W), &g_osd_mwi, &g_osd_mwi_shift);

    if (PM_OSD_DATA_MODE) {
        if (!osd_paint(fd, 0, W, 0, H, PS_BG_TRANS ? 255 : 1, PS_MEM_OSD) || !gen_char(fd))
            return false;
        wait1_povs(fd, 0);
        set_char_color(fd);
    } else {
        if (!osd_write_dma_sfl(fd, PS_BMP_ADDR, PS_SFL_ADDR, 0, uint32_t(W) * uint32_t(H)) ||
            !osd_copy(fd, PS_SFL_ADDR, PS_MEM_OSD, W, H, true))
            return false;
        wait1_povs(fd, 0);
        drv->write_C331(fd, c331::PAL_ACCESS, 1, 0);
        const bool ok = osd_write_dma_sfl(fd, PS_BMPCP_ADDR, 0, 4, 816);
        drv->write_C331(fd, c331::PAL_ACCESS, 0, 0);
        if (!ok)
            return false;
    }
    set_rtct(fd, 2);
    set_osd(fd, 0);
    set_rtct(fd, 1);
    wait1_povs(fd, 0);

    const int32_t L = PM_OSD_INPUT_OFFSET[0], R = PM_OSD_INPUT_OFFSET[1];
    const int32_t T = PM_OSD_INPUT_OFFSET[2], B = PM_OSD_INPUT_OFFSET[3];
    const int64_t cw = int64_t(W) - L - R, ch = int64_t(H) - T - B;
    if (cw <= 0 || ch <= 0 || W < L || H < T)
        return true;   // nothing left of the source after the crop: stay on drawing memory
    const uint32_t src = osd_addr(PS_MEM_OSD, L, T);
    const uint32_t below = osd_addr(PS_MEM_OSD1, 0, int32_t(ch));
    for (uint32_t dst : {PS_MEM_OSD1, PS_MEM_OSD1 + uint32_t(cw), below, below + uint32_t(cw)})
        if (!osd_copy(fd, src, dst, int(cw), int(ch), false))
            return false;
    set_rtct(fd, 2);
    set_osd(fd, 1);
    set_scroll(fd);
    set_rtct(fd, 1);
    return true;
}
