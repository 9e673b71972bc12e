// Layers of the output channels, their blend coefficients, the fade of a source switch, the
// freeze that hides a reprogramming, and the window priorities.
#include <cstdio>
#include <utility>

#include "core/log.h"
#include "scaler/c331_drv.h"
#include "scaler/c331_manage.h"
#include "scaler/c331_regs.h"
#include "scaler/dbg_print.h"
#include "scaler/pipeline_regs.h"

namespace {

constexpr int kIch = 8;
constexpr int kCombinations = 16;
constexpr int kFreezePasses = 251;
// A fade step waits one output frame under c331_lock: longer fades than this are cut.
constexpr int kMaxFadeFrames = 255;
constexpr uint32_t kOpaque = 128;

uint32_t choffs(int ch) { return c331::kChannelStride * static_cast<uint32_t>(ch); }

}  // namespace

// Priority of the window an OCH shows; a channel that shows no window sorts lowest.
static int32_t och_priority(const c331_manage& m, int32_t k)
{
    const uint32_t w = k >= 0 && k < c331_manage::kOch ? m.PM_WIN_NUM[k] : 6;
    return w < static_cast<uint32_t>(c331_manage::kWindows) ? static_cast<int32_t>(m.PM_OVERLAY_PRI[w]) : -1;
}

void c331_manage::update_overlay_info()
{
    for (int w = 0; w < kWindows; ++w) {
        int n = 0;
        for (int k = 0; k < kOch; ++k)
            if (PM_WIN_NUM[k] == static_cast<uint32_t>(w))
                win_och[w][n++] = k;
        while (n < kOch)
            win_och[w][n++] = -1;
    }
    for (int c = 0; c < kOch; ++c) {
        int n = 0;
        for (int k = 0; k < kOch && n < 8; ++k)
            if (PM_OVERLAY[k] == static_cast<uint32_t>(c + 1))
                g_och_layer[c][n++] = k;
        g_och_layer_cnt[c] = n;
        for (int i = n; i < 8; ++i)
            g_och_layer[c][i] = -1;
        for (int i = 0; i < n; ++i)
            for (int j = i + 1; j < n; ++j)
                if (och_priority(*this, g_och_layer[c][i]) > och_priority(*this, g_och_layer[c][j]))
                    std::swap(g_och_layer[c][i], g_och_layer[c][j]);
    }
}

void c331_manage::set_overlay(int fd)
{
    for (int c = 0; c < kOch; ++c) {
        uint32_t v = 0;
        for (int i = 0; i < g_och_layer_cnt[c] && i < 8; ++i)
            v |= static_cast<uint32_t>(g_och_layer[c][i] + 8) << (4 * i);
        drv->write_C331(fd, c331::OVERLAY, v, choffs(c));
    }
}

// The four slot coefficients of each combination of present layers: the top present layer
// gets `top`; with win_slot set and that slot on top, the next present layer below gets `below`.
static void layer_slots(int n, int k, int win_slot, uint32_t top, uint32_t below, uint32_t out[4])
{
    int L[4];
    for (int j = 0; j < 4; ++j)
        L[j] = n - 1 - j >= 0 ? n - 1 - j : 9;
    out[0] = out[1] = out[2] = out[3] = 0;
    for (int j = 0; j < 4; ++j) {
        if (L[j] >= n || L[j] > 3 || !(k & (1 << L[j])))
            continue;
        if (win_slot < 0 || L[j] != win_slot) {
            out[L[j]] = kOpaque;
            return;
        }
        out[L[j]] = top;
        for (int b = j + 1; b < 4; ++b) {
            if (L[b] < n && L[b] <= 3 && (k & (1 << L[b]))) {
                out[L[b]] = below;
                break;
            }
        }
        return;
    }
}

static void write_coefs(c331_drv* drv, int fd, int c, int n, int win_slot, uint32_t top, uint32_t below)
{
    for (int k = 0; k < kCombinations; ++k) {
        uint32_t s[4];
        layer_slots(n, k, win_slot, top, below, s);
        for (uint32_t i = 0; i < 4; ++i)
            drv->write_C331(fd, c331::LAYER_COEF + ((5u * k + i) << 8), s[i], choffs(c));
    }
}

void c331_manage::reset_layer_coef(int fd)
{
    for (int c = 0; c < kOch; ++c)
        write_coefs(drv, fd, c, g_och_layer_cnt[c], -1, kOpaque, 0);
}

void c331_manage::set_layer_coef(int fd, int win, int cnt, int dir)
{
    std::printf("set_layer_coef  win=%d  cnt=%d  dir=%d\n", win, cnt, dir);
    if (cnt < 0 || win < 0 || win >= kWindows)
        return;
    if (cnt > kMaxFadeFrames)
        cnt = kMaxFadeFrames;
    auto write_step = [&](int s) {
        const uint32_t a = cnt ? static_cast<uint32_t>(s * 128 / cnt) : 128;
        const uint32_t mine = dir ? a : 128 - a, below = dir ? 128 - a : a;
        drv->write_C331(fd, c331::LAYER_TIMING_A, 0xFF, 0);
        drv->write_C331(fd, c331::LAYER_TIMING_B, 0xFF, 0);
        for (int c = 0; c < kOch; ++c) {
            const int n = g_och_layer_cnt[c];
            int slot = -1;
            for (int i = 0; i < n && i < 8; ++i)
                if (g_och_layer[c][i] >= 0 && PM_WIN_NUM[g_och_layer[c][i]] == static_cast<uint32_t>(win))
                    slot = i;
            if (slot >= 0)
                write_coefs(drv, fd, c, n, slot, mine, below);
        }
        drv->write_C331(fd, c331::LAYER_TIMING_A, 0xA9, 0);
        drv->write_C331(fd, c331::LAYER_TIMING_B, 0xCB, 0);
    };
    for (int s = 0; s <= cnt; ++s) {
        write_step(s);
        if (wait1_povs(fd, 0))
            continue;
        // No output sync: land on the end coefficients instead of waiting out every step.
        if (s < cnt)
            write_step(cnt);
        if (!fade_timeout_logged) {
            writeLogMsg(LOG_WARNING, "c331: no output vertical sync, fade cut short");
            fade_timeout_logged = true;
        }
        return;
    }
}

// ---- freeze ---------------------------------------------------------------------------------

void c331_manage::set_freeze(int fd, int on)
{
    if (!on) {
        for (int i = 0; i < kWindows; ++i) {
            const uint32_t g = PM_WIN_STITCHING[i] < static_cast<uint32_t>(kWindows) ? PM_WIN_STITCHING[i] : i;
            const uint32_t* f = win_fld_idx[g];
            const uint32_t v = ((f[0] * 16) & 0x70) + (f[3] & 7) + ((f[1] << 8) & 0x700) + ((f[2] << 12) & 0x7000);
            for (int k = 0; k < kOch; ++k)
                if (PM_WIN_NUM[k] == static_cast<uint32_t>(i))
                    drv->write_C331(fd, c331::FS_OUT_FIELD_SEL, v, choffs(k));
            win_frozen[i] = 0;
        }
        return;
    }
    int wins[kWindows], ch[kWindows];
    int n = 0;
    for (int w = 0; w < kWindows; ++w) {
        if (!(g_chg_input[w] || g_chg_dbd[w] || g_chg_win[w]))
            continue;
        const int prev = win_ich_prev[w][0];
        wins[n] = w;
        ch[n] = prev >= 0 && prev < kIch ? prev : first_ich(w);
        ++n;
    }
    set_rtct(fd, 0);
    if (n == 0 || ch[0] < 0)
        return;
    auto field = [&](int c) { return (drv->read_C331(fd, c331::ICH_FIELD + (static_cast<uint32_t>(c) << 8), 0) >> 2) & 3; };
    drv->write_C331(fd, c331::ICH_SYNC_CTRL, 2, choffs(ch[0]));
    const uint32_t F = field(ch[0]);
    bool frozen[kWindows] = {true};
    int left = 0;
    for (int i = 1; i < n; ++i)
        left += ch[i] >= 0 ? 1 : 0;
    for (int pass = 0; pass < kFreezePasses && left > 0; ++pass) {
        for (int i = 1; i < n; ++i) {
            if (frozen[i] || ch[i] < 0 || field(ch[i]) != F)
                continue;
            drv->write_C331(fd, c331::ICH_SYNC_CTRL, 2, choffs(ch[i]));
            frozen[i] = true;
            --left;
        }
    }
    for (int i = 0; i < n; ++i)
        for (int c : win_ich_prev[wins[i]])
            if (c >= 0 && c < kIch)
                drv->write_C331(fd, c331::CH_HOLD_BASE + (static_cast<uint32_t>(c) << 8), 1, 0);
    wait1_povs(fd, 0);
    uint32_t* f0 = win_fld_idx[wins[0]];
    std::swap(f0[(F + 3) % 4], f0[4]);
    const uint32_t packed = wingeom::pack_fields(f0);
    for (int i = 0; i < n; ++i) {
        const int w = wins[i];
        for (int c : win_ich[w])
            if (c >= 0 && c < kIch)
                drv->write_C331(fd, c331::FS_IN_FIELD_SEL, packed, choffs(c));
        for (int k = 0; k < 5; ++k)
            win_fld_idx[w][k] = f0[k];
        win_frozen[w] = 1;
    }
    const uint32_t still = (f0[4] & 7) * 0x1111;
    for (int k = 0; k < kOch; ++k)
        for (int i = 0; i < n; ++i)
            if (och_win_prev[k] == static_cast<uint32_t>(wins[i]))
                drv->write_C331(fd, c331::FS_OUT_FIELD_SEL, still, choffs(k));
}

void c331_manage::win_freeze_sel(int fd, int win, int on)
{
    const int c = first_ich(win);
    if (c < 0)
        return;
    // Released: the channel syncs as its set-up has it (to fields for a deinterlaced input).
    drv->write_C331(fd, c331::ICH_SYNC_CTRL, (on & 2) ? 2 : ich_sync_mode(win), choffs(c));
}

// ---- priorities -----------------------------------------------------------------------------

void c331_manage::c331_SetWinPriority(int w, int pri)
{
    if (w < 0 || w >= kWindows)
        return;
    // The image word is 16 bits; layers are 0..5 (folded as the window list does).
    pwinfo[w].priority = static_cast<uint8_t>((pri < 0 ? 0 : pri) % 6);
}

void c331_manage::c331_SetWinPriority1(int fd)
{
    const int listed = gMwin.wincnt < kWindows ? gMwin.wincnt : kWindows;
    for (int w = 0; w < kWindows; ++w)
        PM_OVERLAY_PRI[w] = w < listed ? 5u - (pwinfo[w].priority % 6u) : 0u;
    update_overlay_info();
    set_overlay(fd);
    reset_layer_coef(fd);
}
