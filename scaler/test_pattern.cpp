// Test patterns (see test_pattern.h).
#include "scaler/test_pattern.h"

#include <cstdio>

#include "core/TlxRamPara.h"
#include "core/globals.h"
#include "core/ram_map.h"
#include "scaler/c331_manage.h"
#include "scaler/c331_regs.h"

namespace pattern {

using namespace c331;

namespace {

// One row of the pattern table. ctrl_narrow is the control word of a window up to 2048 wide;
// a wider window always takes ctrl.
struct Row {
    uint8_t mode, p58, p59, p5a;
    uint16_t ctrl, ctrl_narrow, p5d, p5f, p61;
    uint8_t rgb[3], rgb2[3];
};

constexpr uint16_t kWide = 0x8000;

const Row kRows[kPatterns] = {
    {4, 0, 0, 0, kWide, 0, 0, 0, 0, {255, 0, 0}, {3, 3, 3}},            // red
    {4, 0, 0, 0, kWide, 0, 0, 0, 0, {0, 255, 0}, {3, 3, 3}},            // green
    {4, 0, 0, 0, kWide, 0, 0, 0, 0, {0, 0, 255}, {3, 3, 3}},            // blue
    {4, 0, 0, 0, kWide, 0, 0, 0, 0, {255, 255, 255}, {3, 3, 3}},        // white
    {4, 0, 0, 0, kWide, 0, 0, 0, 0, {0, 0, 0}, {3, 3, 3}},              // black
    {1, 0, 0, 0, kWide, kWide, 0, 480, 0, {255, 255, 255}, {3, 3, 3}},  // colour bar
    {14, 0, 0, 0, kWide, 14, 0, 1, 0, {255, 255, 255}, {3, 3, 3}},      // vertical line
    {15, 0, 0, 0, kWide, 15, 0, 0, 1, {255, 255, 255}, {3, 3, 3}},      // horizontal line
    {0, 0, 0, 0, 0, 0, 0, 0, 0, {0, 0, 0}, {0, 0, 0}},
    {0, 0, 0, 0, 0, 0, 0, 0, 0, {0, 0, 0}, {0, 0, 0}},
    {8, 48, 0, 0, kWide, kWide, 0, 32, 32, {255, 255, 255}, {3, 3, 3}},
    {5, 0, 0, 0, kWide, kWide, 0, 240, 270, {255, 255, 255}, {3, 3, 3}},
    {14, 0, 0, 0, kWide, kWide, 0, 1, 0, {255, 255, 255}, {3, 3, 3}},
    {1, 0, 0, 0, kWide, kWide, 0, 480, 0, {255, 255, 255}, {3, 3, 3}},
    {3, 0, 1, 0, kWide, kWide, 0, 0x8FFF, 0, {0, 120, 0}, {0, 0, 0}},
    {3, 2, 1, 1, kWide, kWide, 0, 0x8FFF, 0x8FFF, {0, 120, 0}, {0, 0, 0}},
    {6, 0, 0, 0, kWide, kWide, 0, 960, 0, {255, 255, 255}, {3, 3, 3}},
    {9, 0, 0, 0, 0x8095, 0x8095, 0, 4, 3840, {255, 255, 255}, {3, 3, 3}},
    {2, 0, 0, 0, kWide, kWide, 0, 0, 270, {255, 255, 255}, {3, 3, 3}},
    {3, 1, 1, 1, kWide, kWide, 0, 0, 0x4FFF, {255, 255, 255}, {3, 3, 3}},
};

const uint32_t kAllRegs[] = {PG_MODE, PG_P58, PG_P59, PG_P5A, PG_CTRL, PG_P5D, PG_P5F, PG_P61,
                             PG_RED, PG_GREEN, PG_BLUE, PG_RED2, PG_GREEN2, PG_BLUE2};

void colours(std::vector<RegWrite>& w, const Row& r, uint32_t off)
{
    w.push_back(reg_write(PG_RED, r.rgb[0], off));
    w.push_back(reg_write(PG_GREEN, r.rgb[1], off));
    w.push_back(reg_write(PG_BLUE, r.rgb[2], off));
    w.push_back(reg_write(PG_RED2, r.rgb2[0], off));
    w.push_back(reg_write(PG_GREEN2, r.rgb2[1], off));
    w.push_back(reg_write(PG_BLUE2, r.rgb2[2], off));
}

}  // namespace

int index_of(int number)
{
    int i = (number - 1) % kPatterns;
    return i < 0 ? i + kPatterns : i;
}

std::vector<RegWrite> clear_writes(const std::vector<uint8_t>& channels)
{
    std::vector<RegWrite> w;
    for (uint8_t c : channels)
        for (uint32_t r : kAllRegs)
            w.push_back(reg_write(r, 0, kChannelStride * c));
    return w;
}

std::vector<RegWrite> pattern_writes(int index, bool wide, const std::vector<uint8_t>& channels)
{
    std::vector<RegWrite> w;
    if (index < 0 || index >= kPatterns || index == 8 || index == 9)
        return w;  // nothing after the clear
    const Row& r = kRows[index];
    const uint32_t ctrl = wide ? r.ctrl : r.ctrl_narrow;
    for (uint8_t c : channels) {
        const uint32_t off = kChannelStride * c;
        if (index <= 4) {
            w.push_back(reg_write(PG_CTRL, ctrl, off));
            w.push_back(reg_write(PG_MODE, r.mode, off));
        } else if (index == 6 || index == 7) {
            w.push_back(reg_write(PG_MODE, r.mode, off));
            if (index == 6)
                w.push_back(reg_write(PG_P5F, r.p5f, off));
            else
                w.push_back(reg_write(PG_P61, r.p61, off));
            w.push_back(reg_write(PG_CTRL, ctrl, off));
        } else {
            const uint32_t seq[][2] = {{PG_MODE, r.mode}, {PG_P58, r.p58}, {PG_P59, r.p59}, {PG_P5A, r.p5a},
                                       {PG_CTRL, ctrl},   {PG_P5D, r.p5d}, {PG_P5F, r.p5f}, {PG_P61, r.p61}};
            for (const auto& s : seq)
                w.push_back(reg_write(s[0], s[1], off));
        }
        colours(w, r, off);
    }
    return w;
}

}  // namespace pattern

// ---- c331_manage: pattern generator ----------------------------------------------------------

// Turning the pattern off always succeeds; only a pattern for more than one listed window is
// refused. Every channel's generator is cleared first, not only window 0's: a channel that
// left window 0 since the pattern was drawn would keep it over whatever it shows next.
int c331_manage::c331_SetPattern(int number)
{
    const int wincnt = gMwin.wincnt;
    if (g_debugSwitch == 254)
        printf("\r\n[c331_SetPattern] pattern:%d,chcnt=%d\r\n", number, pwinfo[0].totalh * pwinfo[0].totalv);
    if (number != 0 && wincnt > 1) {
        if (g_debugSwitch == 254)
            printf("\t wincnt:%d OOR, return fail\r\n", wincnt);
        return -1;
    }

    std::vector<uint8_t> all(kOch);
    for (int c = 0; c < kOch; ++c)
        all[c] = static_cast<uint8_t>(c);
    set_rtct(c331_fd, 2);
    tlxApi_WriteSeq(pattern::clear_writes(all));
    if (number == 0) {
        pattern_active = 0;
        if (g_debugSwitch == 254)
            printf("    turn off pattern\r");
        set_rtct(c331_fd, 1);
        return 0;
    }
    const int idx = pattern::index_of(number);
    pattern_active = 1;
    if (g_debugSwitch == 254)
        printf("    tlx pattern Idx:%d \r\n", idx);
    pattern_drawn = pattern_for_window0(number);
    tlxApi_WriteSeq(pattern::pattern_writes(idx, pattern_drawn.wide, pattern_drawn.channels));
    set_rtct(c331_fd, 1);
    return 0;
}

c331_manage::PatternDrawn c331_manage::pattern_for_window0(int number) const
{
    PatternDrawn d;
    d.number = number;
    d.wide = int16_t(pwinfo[0].w) > pattern::kWideWindow;
    d.channels.assign(pwinfo[0].ochLst, pwinfo[0].ochLst + challoc::used_channels(pwinfo[0]));
    return d;
}

// A re-layout (LED size, splice, window 0's size or place, the windows listed) moves window 0
// to other channels or changes its width: the pattern the image holds is drawn again for the
// window as it is now, so that it never stays on channels the window left nor keeps the control
// word of its old width. Refused for more than one listed window, it goes while they are listed
// and comes back when one is left, as a start on that image shows it.
void c331_manage::follow_pattern()
{
    const int number = TlxRamPara::p_tlxrampara_config->ram_image[ram_test_pattern];
    if (number == 0)
        return;   // turned off by the apply pass
    if (gMwin.wincnt > 1) {
        if (pattern_active)
            c331_SetPattern(0);
        return;
    }
    if (!pattern_active) {
        c331_SetPattern(number);
        return;
    }
    const PatternDrawn now = pattern_for_window0(number);
    if (now.wide != pattern_drawn.wide || now.channels != pattern_drawn.channels)
        c331_SetPattern(number);
}

bool c331_manage::tlxApi_IsPatternGen() const
{
    return pattern_active != 0;
}
