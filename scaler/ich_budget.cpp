// Input channel budget: which input channels (ICH 0..7, in pairs) each window uses, the
// source selectors of those channels, pair joining and the dot-by-dot frame memory.
// A channel number outside 0..7 is never addressed: a window without channels shows its
// background.
#include <cstdio>
#include <cstring>
#include <string>

#include "core/log.h"
#include "scaler/c331_drv.h"
#include "scaler/c331_manage.h"
#include "scaler/c331_regs.h"
#include "scaler/dbg_print.h"
#include "scaler/pipeline_regs.h"

namespace {

constexpr int kIch = 8;
constexpr int kDbdBlocks = 6;

bool valid_ich(int c) { return c >= 0 && c < kIch; }

}  // namespace

// The deinterlacer exists only on channels 0..3: an interlaced port must sit there.
bool c331_manage::port_needs_low(uint32_t port) const
{
    return port < static_cast<uint32_t>(kPorts) && PI_SCAN_MODE[port] == 1;
}

int c331_manage::first_ich(int win) const
{
    if (win < 0 || win >= kWindows)
        return -1;
    const int c = win_ich[win][0];
    return valid_ich(c) ? c : -1;
}

void c331_manage::rebuild_win_ich()
{
    for (int w = 0; w < kWindows; ++w) {
        int n = 0;
        for (int c = 0; c < kIch; ++c)
            if (ich_owner[c] == w)
                win_ich[w][n++] = c;
        while (n < kIch)
            win_ich[w][n++] = -1;
    }
}

static bool window_on(const uint32_t shape[2]) { return shape[0] != 0 && shape[1] != 0; }

// Channels held by listed windows other than `win`, plus what `win` needs; -1 above the eight.
// Counting what is held (not what every window would need) lets the windows handed their
// channels first keep them when a later one does not fit.
int c331_manage::check_ich_all(int win)
{
    int total = win >= 0 && win < kWindows && window_on(PM_WIN_SHAPE[win])
                    ? wingeom::ich_cost(PM_WIN_DBD_MODE[win], PM_INPUT[win])
                    : 0;
    for (int c = 0; c < kIch; ++c) {
        const int o = ich_owner[c];
        total += o >= 0 && o < kWindows && o != win && window_on(PM_WIN_SHAPE[o]);
    }
    if (total > kIch) {
        std::printf("check_ich_all ret=%d\n", -1);
        return -1;
    }
    for (int c = 0; c < kIch; ++c) {
        const int o = ich_owner[c];
        if (o > 5 || o == win || (o >= 0 && !window_on(PM_WIN_SHAPE[o])))
            ich_owner[c] = -1;
    }
    rebuild_win_ich();
    SCALER_DBG("check_ich_all ret=%d\n", total);
    return total;
}

int c331_manage::check_ich(int need_low, int dual)
{
    auto F = [&](int c) { return ich_owner[c] < 0; };
    if (dual) {
        // An interlaced V-by-One port takes a pair of deinterlacing channels while one is free.
        static constexpr int kPairs[4] = {4, 6, 2, 0}, kLowFirst[4] = {0, 2, 4, 6};
        for (int c : need_low ? kLowFirst : kPairs)
            if (F(c) && F(c + 1))
                return c;
        return -1;
    }
    if (F(0))
        return (!F(2) && F(3)) ? 3 : 0;
    if (need_low) {
        if (F(1))
            return 1;
        if (!F(2))
            return F(3) ? 3 : -1;
        return 2;
    }
    if (F(2))
        return F(1) ? 1 : 2;
    if (F(1))
        return 1;
    if (F(3))
        return 3;
    if (F(4) && F(6))
        return 4;
    if (F(4))
        return F(7) ? 7 : 4;
    if (F(6))
        return F(5) ? 5 : 6;
    return F(5) ? 5 : F(7) ? 7 : -1;
}

int c331_manage::adjust_ich(int need_low, int dual, int win)
{
    auto F = [&](int c) { return ich_owner[c] < 0; };
    auto first_free = [&](std::initializer_list<int> order) {
        for (int c : order)
            if (F(c))
                return c;
        return -1;
    };
    auto fail = [] {
        std::printf("adjust_ich NG!!!\n");
        return -1;
    };
    if (!dual) {
        if (!need_low) {
            const int c = first_free({0, 1, 2, 3, 4, 5, 6, 7});
            if (c < 0)
                return fail();
            ich_owner[c] = win;
            return 0;
        }
        int c = first_free({0, 1, 2, 3});
        if (c >= 0) {
            ich_owner[c] = win;
            return 0;
        }
        const int high = first_free({4, 5, 6, 7});
        if (high < 0)
            return fail();
        for (c = 0; c < 4; ++c) {
            const int o = ich_owner[c];
            if (o >= 0 && o < kWindows && !port_needs_low(PM_INPUT[o])) {
                ich_owner[high] = o;
                g_chg_input[o] = 2;
                ich_owner[c] = win;
                return 0;
            }
        }
        std::printf("ICH1-4 is not available!!!\n");
        ich_owner[high] = win;
        return 0;
    }
    // A pair: move the window that blocks the first half-free pair.
    struct Case {
        int free_ch, moved_from, pair;
        int targets[6];
        int ntargets;
    };
    static constexpr Case kCases[] = {
        {4, 5, 4, {6, 7, 0, 1, 2, 3}, 6}, {5, 4, 4, {6, 7, 0, 1, 2, 3}, 6}, {6, 7, 6, {0, 1, 2, 3}, 4},
        {7, 6, 6, {0, 1, 2, 3}, 4},       {0, 1, 0, {2, 3}, 2},             {1, 0, 0, {2, 3}, 2},
    };
    for (const Case& k : kCases) {
        if (!F(k.free_ch))
            continue;
        int target = -1;
        for (int i = 0; i < k.ntargets && target < 0; ++i)
            if (F(k.targets[i]))
                target = k.targets[i];
        if (target < 0)
            return fail();
        const int moved = ich_owner[k.moved_from];
        ich_owner[target] = moved;
        if (moved >= 0 && moved < kWindows)
            g_chg_input[moved] = 2;
        ich_owner[k.pair] = ich_owner[k.pair + 1] = win;
        return 0;
    }
    return fail();
}

int c331_manage::set_input(int win, int port)
{
    if (win < 0 || win >= kWindows)
        return 2;
    if (PM_WIN_DBD_MODE[win] > 1 && g_chg_dbd[win] == 0)
        return 0;
    return take_ichs(win, port);
}

// The channels of one window beside those the others hold: 0 from free channels, 1 after
// moving another window, 2 none.
int c331_manage::take_ichs(int win, int port)
{
    const uint32_t code = PM_WIN_DBD_MODE[win];
    if (!window_on(PM_WIN_SHAPE[win])) {
        SCALER_DBG("[set_input] win_%d, port_%d, window is unavailable\n", win, port);
        return 2;
    }
    if (check_ich_all(win) < 0) {
        SCALER_DBG("[set_input] win_%d, check_ich_all(win) fail\n", win);
        return 2;
    }
    int result = 0;
    if (code <= 1) {
        if (port < 0 || port > 5)
            return 2;
        const int low = port_needs_low(static_cast<uint32_t>(port)) ? 1 : 0;
        const int dual = port >= 4 ? 1 : 0;
        const int c = check_ich(low, dual);
        if (c >= 0) {
            ich_owner[c] = win;
            if (dual)
                ich_owner[c + 1] = win;
        } else if (adjust_ich(low, dual, win) == 0) {
            result = 1;
        } else {
            result = 2;
        }
    } else if (code <= 51) {
        const int need = wingeom::ich_cost(code, 0);
        for (int i = 0; i < need; ++i) {
            const int c = check_ich(0, 0);
            if (c >= 0) {
                ich_owner[c] = win;
                continue;
            }
            result = adjust_ich(0, 0, win) == 0 ? 1 : 2;
            if (code < 40 || result == 2)
                break;
        }
    } else {
        result = 2;
    }
    if (result == 2 && code > 1)
        std::printf("set_input Dot-By-Dot Rare Case!!!   win=%d  port=%d\n", win, port);
    rebuild_win_ich();
    return result;
}

// Every window's input channels, handed out afresh in list order, so that they follow from
// the layout and the ports alone, never from the order of earlier changes (a fresh start
// hands them out the same way). Not by layer: a change of layer re-lays no window out.
// Where the windows do not all get theirs, the lowest layers go without, whole windows (as
// with output channels): they are left out and the rest handed out again, with one log line
// for a new set left out. A window whose channels moved is reprogrammed; one that gets none
// is left unprogrammed (its output channels read nothing, see set_output).
void c331_manage::assign_ichs()
{
    int32_t before[kWindows][kIch];
    std::memcpy(before, win_ich, sizeof before);
    bool left_out[kWindows] = {};
    for (;;) {
        for (int c = 0; c < kIch; ++c)
            ich_owner[c] = -1;
        rebuild_win_ich();
        bool all = true;
        for (int w = 0; w < kWindows && all; ++w)
            if (window_on(PM_WIN_SHAPE[w]) && !left_out[w])
                all = take_ichs(w, static_cast<int>(PM_INPUT[w])) != 2;
        if (all)
            break;
        // The window drawn below all others still handed channels (layer 0 is the top; of two
        // on one layer the later in the list).
        int low = -1;
        for (int w = 0; w < kWindows; ++w)
            if (window_on(PM_WIN_SHAPE[w]) && !left_out[w] && (low < 0 || pwinfo[w].priority >= pwinfo[low].priority))
                low = w;
        if (low < 0)
            break;
        left_out[low] = true;
    }
    for (int c = 0; c < kIch; ++c)
        if (ich_owner[c] >= 0 && ich_owner[c] < kWindows && left_out[ich_owner[c]])
            ich_owner[c] = -1;
    rebuild_win_ich();
    std::string listed;
    uint32_t mask = 0;
    for (int w = 0; w < kWindows; ++w) {
        if (left_out[w]) {
            g_chg_input[w] = g_chg_dbd[w] = 0;
            mask |= 1u << w;
            for (int s = 0; s < kWindows; ++s)
                if (slot_pos[s] == w)
                    listed += (listed.empty() ? "" : ", ") + std::to_string(s);
            continue;
        }
        if (window_on(PM_WIN_SHAPE[w]) && g_chg_input[w] == 0 &&
            std::memcmp(before[w], win_ich[w], sizeof before[w]) != 0)
            g_chg_input[w] = 2;
    }
    if (mask != ichs_left_out && !listed.empty())
        writeLogMsg(LOG_WARNING, "c331: windows need more than 8 input channels; not shown (lowest layers): window " + listed);
    ichs_left_out = mask;
}

void c331_manage::reset_ich(int win)
{
    if (win < 0 || win >= kWindows || window_on(PM_WIN_SHAPE[win]))
        return;
    for (int c = 0; c < kIch; ++c)
        if (ich_owner[c] == win)
            ich_owner[c] = -1;
    rebuild_win_ich();
}

void c331_manage::set_ichsel(int fd, int win)
{
    if (win < 0 || win >= kWindows)
        return;
    const int* ch = win_ich[win];
    const uint32_t code = PM_WIN_DBD_MODE[win];
    SCALER_DBG("[set_ichsel] PM_WIN_DBD_MODE[win_%d]:%d\n", win, code);
    auto sel = [&](int c, uint32_t v) {
        if (valid_ich(c))
            drv->write_C331(fd, c331::ICHSEL_BASE + (static_cast<uint32_t>(c) << 8), v, 0);
    };
    auto lanes_step = [&](int p) {
        const bool eight = PI_HDMI_INFO[p].lanes > 4;
        SCALER_DBG(eight ? "\t port_%d 8 lane\n" : "\t port_%d 4 lane\n", p);
        return eight ? 2u : 1u;
    };
    if (code <= 1) {
        const uint32_t p = PM_INPUT[win];
        if (!valid_ich(ch[0]) || p > 5)
            return;
        if (p < 4) {
            sel(ch[0], 2 * p);
        } else {
            const uint32_t base = 4 * (p - 2);
            sel(ch[0], base);
            if (ch[1] == ch[0] + 1)
                sel(ch[1], base + lanes_step(static_cast<int>(p)));
        }
        return;
    }
    uint32_t vals[4];
    int n = 0;
    switch (code) {
    case 20: case 21: vals[0] = 0, vals[1] = 2, n = 2; break;
    case 22: case 23: vals[0] = 4, vals[1] = 6, n = 2; break;
    case 30: vals[0] = 0, vals[1] = 2, vals[2] = 4, n = 3; break;
    case 40: case 41: vals[0] = 0, vals[1] = 2, vals[2] = 4, vals[3] = 6, n = 4; break;
    case 50: case 51:
        vals[0] = 8, vals[1] = 8 + lanes_step(4), vals[2] = 12, vals[3] = 12 + lanes_step(5), n = 4;
        break;
    default: return;
    }
    for (int i = 0; i < n && i < kIch; ++i)
        sel(ch[i], vals[i]);
}

void c331_manage::set_idual(int fd, int ich, int on, int port)
{
    if (!valid_ich(ich))
        return;
    const uint32_t at = static_cast<uint32_t>(9 * (ich / 2)) << 8;
    if (!on || port < 0 || port >= kPorts) {
        park_idual(fd, ich);
        return;
    }
    drv->write_C331(fd, c331::IDUAL_CTRL + at, 3, 0);
    drv->write_C331(fd, c331::IDUAL_HST + at, PI_ACT[port][0], 0);
    drv->write_C331(fd, c331::IDUAL_HW + at, 2 * PI_ACT[port][1], 0);
}

// The join of the pair of ich as the bring-up leaves it: off, the V-by-One pairs (channels 4
// to 7) set for a 3840-wide picture, the others 0; so that a pair no longer joined keeps
// nothing of the picture it joined.
void c331_manage::park_idual(int fd, int ich)
{
    if (!valid_ich(ich))
        return;
    const uint32_t at = static_cast<uint32_t>(9 * (ich / 2)) << 8;
    const bool vbo_pair = ich >= 4;
    drv->write_C331(fd, c331::IDUAL_CTRL + at, 0, 0);
    drv->write_C331(fd, c331::IDUAL_HST + at, vbo_pair ? c331::IDUAL_VBO_HST_START : 0, 0);
    drv->write_C331(fd, c331::IDUAL_HW + at, vbo_pair ? c331::IDUAL_VBO_HW_START : 0, 0);
}

// ---- dot-by-dot memory ----------------------------------------------------------------------

int c331_manage::check_dbd_input(int, int port)
{
    if (port < 0 || port >= kPorts)
        return 0;
    const uint32_t limit = port < 4 ? 2560 : 5120;
    return (port_iact[port][1] > limit || port_iact[port][3] > 2176) ? 1 : 0;
}

void c331_manage::reset_dbd_mem(int win)
{
    if (win < 0 || win >= kWindows)
        return;
    for (int& b : win_dbd_blk[win]) {
        if (b >= 0 && b < kDbdBlocks)
            dbd_mem_owner[b] = -1;
        b = -1;
    }
}

// The ports a joined window shows, in the order set_ichsel gives them to its channels.
int c331_manage::tlxApi_GetWinDbdMultiPort(int win, int* ports)
{
    for (int i = 0; i < 6; ++i)
        ports[i] = 6;
    if (win < 0 || win >= kWindows)
        return 0;
    switch (PM_WIN_DBD_MODE[win]) {
    case 20: case 21: ports[0] = 0, ports[1] = 1; return 1;
    case 22: case 23: ports[0] = 2, ports[1] = 3; return 1;
    case 30: ports[0] = 0, ports[1] = 1, ports[2] = 2; return 1;
    case 40: case 41: ports[0] = 0, ports[1] = 1, ports[2] = 2, ports[3] = 3; return 1;
    case 50: case 51: ports[0] = 4, ports[1] = 5; return 1;
    default: return 0;
    }
}

int c331_manage::set_dbd_mem(int fd, int win)
{
    if (win < 0 || win >= kWindows)
        return -1;
    const int c0 = first_ich(win);
    reset_dbd_mem(win);
    const uint32_t code = PM_WIN_DBD_MODE[win];
    if (code == 0 || c0 < 0)
        return -1;
    const uint32_t p = PM_INPUT[win];
    auto hw = [&](int q) { return port_iact[q][1]; };
    auto ceil320 = [](uint32_t w) { return (w + 319) / 320; };
    int need = 0;
    bool stacked = false;
    uint32_t width = 0;
    uint32_t mark = 1;
    if (code == 1) {
        if (p > 5)
            return -1;
        if (!check_dbd_input(fd, static_cast<int>(p))) {
            for (int k = 0; k < 5; ++k)
                win_fld_addr[win][k] = PS_MEM_SC[c0][k];
            win_dbd_mwi[win] = PS_MEM_LINE;
            return 0;
        }
        need = p < 4 ? 1 : 2;
        width = hw(static_cast<int>(p));
        mark = code;
    } else {
        need = code < 30 ? 2 : code < 40 ? 3 : 4;
        switch (code) {
        case 20: width = hw(0) + hw(1); break;
        case 22: width = hw(2) + hw(3); break;
        case 30: width = hw(0) + hw(1) + hw(2); break;
        case 40: width = hw(0) + hw(1) + hw(2) + hw(3); break;
        case 50: width = hw(4) + hw(5); break;
        case 21: width = hw(0), stacked = true; break;
        case 23: width = hw(2), stacked = true; break;
        case 41: width = hw(0) + hw(1), stacked = true; break;
        case 51: width = hw(4), stacked = true; break;
        default: return -1;
        }
    }
    int taken = 0, lowest = kDbdBlocks;
    for (int i = 0; i < kDbdBlocks && taken < need; ++i) {
        const int b = stacked ? kDbdBlocks - 1 - i : i;
        if (dbd_mem_owner[b] >= 0)
            continue;
        dbd_mem_owner[b] = static_cast<int32_t>(mark);
        win_dbd_blk[win][taken++] = b;
        lowest = b < lowest ? b : lowest;
    }
    if (taken < need) {
        reset_dbd_mem(win);
        std::printf("Dot-By-Dot memory assignment error!!!   win=%d  mode=%d  mem_cnt=%d  blk_cnt=%d\n", win, code,
                    need, taken);
        return -1;
    }
    for (int k = 0; k < 5; ++k)
        win_fld_addr[win][k] = PS_MEM_DBD[k] + static_cast<uint32_t>(lowest) * PS_MEM_DBD_STRIDE();
    win_dbd_mwi[win] = ceil320(width);
    return 0;
}
