// Window geometry (see window_geometry.h).
#include "scaler/window_geometry.h"

namespace wingeom {

static void axis_scaling(int64_t i, int64_t o, int32_t* mode, int32_t* shrink, int32_t* zoom)
{
    *mode = *shrink = *zoom = 0;
    if (i <= 0 || o <= 0 || i == o)
        return;
    if (o < i) {
        *mode = 1;
        *shrink = static_cast<int32_t>(i > 1 ? ((o - 1) * kUnity) / (i - 1) + 1 : kUnity);
    } else {
        *mode = 2;
        *zoom = static_cast<int32_t>(((i - 1) * kUnity) / (o - 1) + 1);
    }
}

void calc_scaling(_ImageWindowDef_st iwin, _ImageWindowDef_st owin, _ScalingSt* out)
{
    axis_scaling(iwin.hw, owin.hw, &out->h_mode, &out->h_shrink, &out->h_zoom);
    axis_scaling(iwin.vw, owin.vw, &out->v_mode, &out->v_shrink, &out->v_zoom);
}

int32_t shrink_ratio(int32_t i, int32_t o)
{
    if (o < 1 || i <= o)
        return kUnity;
    return static_cast<int32_t>((int64_t(o - 1) * kUnity) / (int64_t(i) - 1) + 1);
}

int32_t shrink_phase(int32_t start, int32_t ratio)
{
    if (start < 1 || ratio >= kUnity)
        return 0;
    const int32_t ph = 256 - static_cast<int32_t>(((int64_t(start) * ratio) & 0xFFFF) >> 8);
    return ph == 256 ? 0 : ph;
}

void split_axis(int32_t st, int32_t w, int32_t cw, int n, int32_t* s, int32_t* sz, int32_t* first, int32_t* last)
{
    const int64_t end = int64_t(st) + w;
    int firstcol = -1, lastcol = -1;
    for (int i = 0; i < n; ++i) {
        const int64_t base = int64_t(i) * cw;
        const int64_t local = st - base;
        const bool spans = end > base + cw - 1;
        int64_t start = 0, size = 0;
        if (local >= cw) {
            start = size = 0;
        } else if (local >= 0) {
            start = local;
            size = spans ? cw - local : w;
        } else {
            start = 0;
            size = spans ? cw : end - base;
            if (size < 0)
                size = 0;
        }
        s[i] = static_cast<int32_t>(start);
        sz[i] = static_cast<int32_t>(size);
        first[i] = last[i] = 0;
        if (size > 0) {
            if (firstcol < 0)
                firstcol = i;
            lastcol = i;
        }
    }
    if (firstcol >= 0) {
        first[firstcol] = 1;
        last[lastcol] = 1;
    }
}

void calc_oact(_ImageWindowDef_st owin, _ImageWindowDef2_St* oact, int cols, int rows, int32_t cw, int32_t ch)
{
    int32_t s[kMaxOch], z[kMaxOch], f[kMaxOch], l[kMaxOch];
    for (int i = 0; i < kMaxOch; ++i)
        oact[i] = _ImageWindowDef2_St{0, 0, 0, 0, 0, 0, 0, 0};
    cols = cols < 0 ? 0 : cols > kMaxOch ? kMaxOch : cols;
    rows = rows < 0 ? 0 : rows > kMaxOch ? kMaxOch : rows;
    split_axis(owin.hst, owin.hw, cw, cols, s, z, f, l);
    for (int i = 0; i < cols; ++i) {
        oact[i].hst = s[i];
        oact[i].hw = z[i];
        oact[i].h_first = f[i];
        oact[i].h_last = l[i];
    }
    split_axis(owin.vst, owin.vw, ch, rows, s, z, f, l);
    for (int i = 0; i < rows; ++i) {
        oact[i].vst = s[i];
        oact[i].vw = z[i];
        oact[i].v_first = f[i];
        oact[i].v_last = l[i];
    }
}

int64_t pixel_bytes(int64_t n, uint32_t mode)
{
    switch (mode) {
    case 1: return (n / 5) * 16 + (n % 5) * 3;
    case 2: return ((n + (3 - n % 3) % 3) * 8) / 3;
    case 3: return 2 * n;
    default: return 4 * n;
    }
}

int64_t pixel_offset(int64_t x, uint32_t mode)
{
    if (mode != 2 || x < 0)
        return pixel_bytes(x, mode);
    return (x / 3) * 8 + ((x % 3) * 8 + 2) / 3;
}

uint32_t wmode_ctrl(uint32_t mode)
{
    switch (mode) {
    case 1: return 128;
    case 2: return 1;
    case 3: return 17;
    default: return 0;
    }
}

uint32_t pack_fields(const uint32_t f[5])
{
    return ((f[1] * 16) & 0x70) + (f[0] & 7) + ((f[2] << 8) & 0x700) + ((f[3] << 12) & 0x7000) +
           ((f[4] << 16) & 0x70000);
}

int hshrink_set(int32_t r)
{
    struct Step {
        int32_t upto;
        int set;
    };
    static constexpr Step kSteps[] = {{0, 44},      {13107, 1},  {26214, 2},  {32768, 4},  {39321, 6},
                                      {45875, 8},   {49152, 12}, {52428, 17}, {55705, 22}, {58982, 27},
                                      {62259, 32},  {65000, 38}};
    for (const Step& s : kSteps)
        if (r <= s.upto)
            return s.set;
    return 44;
}

int vshrink_row(int32_t r)
{
    static constexpr int32_t kUpto[] = {13107, 26214, 32768, 39321, 45875, 52428, 58982, 62259};
    for (int i = 0; i < 8; ++i)
        if (r <= kUpto[i])
            return i + 1;
    return 9;
}

int ich_cost(uint32_t code, uint32_t port)
{
    if (code <= 1)
        return port < 4 ? 1 : port < 6 ? 2 : 0;
    if (code < 30)
        return 2;
    if (code < 40)
        return 3;
    if (code <= 51)
        return 4;
    return 0;
}

}  // namespace wingeom
