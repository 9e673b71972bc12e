// Scaler filter coefficients: the horizontal shrink set by number, the vertical shrink row by
// ratio and the fixed vertical zoom row.
#include "scaler/c331_drv.h"
#include "scaler/c331_manage.h"
#include "scaler/c331_regs.h"
#include "scaler/pipeline_regs.h"

namespace {

// Vertical shrink rows (8-bit two's complement values); row 0 is never chosen.
constexpr uint8_t lut[10][24] = {
    {0, 0, 0, 0, 0, 0, 0, 0, 15, 15, 15, 15, 15, 15, 16, 21, 16, 16, 16, 17, 18, 18, 17, 22},
    {0, 0, 0, 0, 0, 0, 0, 0, 13, 14, 14, 14, 15, 15, 16, 20, 16, 16, 16, 18, 19, 19, 19, 24},
    {0, 0, 0, 0, 0, 0, 0, 0, 10, 11, 12, 13, 14, 15, 16, 20, 17, 17, 18, 19, 20, 21, 21, 24},
    {0, 0, 0, 0, 0, 0, 0, 0, 6, 8, 9, 11, 12, 14, 15, 19, 18, 19, 20, 21, 23, 23, 25, 26},
    {0, 0, 0, 0, 0, 0, 0, 0, 1, 3, 5, 8, 10, 12, 15, 17, 19, 21, 22, 24, 27, 28, 29, 30},
    {0, 0, 0, 0, 0, 0, 0, 0, 253, 255, 0, 3, 6, 10, 13, 16, 20, 23, 26, 29, 32, 32, 34, 32},
    {0, 0, 0, 0, 0, 0, 0, 0, 248, 249, 252, 255, 1, 5, 10, 13, 20, 25, 29, 33, 38, 41, 42, 38},
    {0, 0, 0, 0, 0, 0, 0, 0, 246, 245, 246, 248, 252, 0, 5, 10, 18, 26, 33, 40, 45, 49, 51, 44},
    {0, 0, 0, 0, 0, 0, 0, 0, 247, 244, 242, 243, 245, 250, 0, 5, 15, 25, 35, 45, 54, 57, 58, 54},
    {0, 0, 0, 0, 0, 0, 0, 0, 252, 247, 243, 241, 241, 244, 249, 0, 9, 21, 35, 47, 57, 64, 66, 64},
};

constexpr uint8_t lut_set_lut_vzoom_4sym[24] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 255, 254, 253,
                                                252, 252, 253, 0, 5, 13, 24, 35, 46, 56, 62, 64};

constexpr int kIch = 8;
constexpr uint32_t kHshrinkLoad = 131;
constexpr uint32_t kHshrinkLoadPair = 135;

}  // namespace

void c331_manage::set_lut_hshrnk(int fd, int ratio, int ich, int pair)
{
    if (ich < 0 || ich >= kIch)
        return;
    drv->write_C331(fd, c331::HSHRINK_SET, static_cast<uint32_t>(wingeom::hshrink_set(ratio)), 0);
    drv->write_C331(fd, c331::HSHRINK_LOAD, kHshrinkLoad + 4u * ich, 0);
    if (pair)
        drv->write_C331(fd, c331::HSHRINK_LOAD, kHshrinkLoadPair + 4u * ich, 0);
}

void c331_manage::set_lut_vshrnk_4sym(int fd, int ratio, int ich, int pair)
{
    if (ich < 0 || ich >= kIch)
        return;
    const uint8_t* row = lut[wingeom::vshrink_row(ratio)];
    const uint32_t o = c331::kChannelStride * static_cast<uint32_t>(ich);
    for (uint32_t i = 0; i < 24; ++i)
        drv->write_C331(fd, c331::VSHRINK_LUT + (i << 8), row[i], o);
    // The block 0x10 banks on is the next channel's (0x21 + 0x10 ich).
    if (pair && ich + 1 < kIch)
        for (uint32_t i = 0; i < 24; ++i)
            drv->write_C331(fd, c331::VSHRINK_LUT + 0x100000 + (i << 8), row[i], o);
}

// A channel that does not shrink: its shrink block off and its tables as the bring-up leaves
// them (the vertical rows clear, the horizontal table with the start set), so that a window
// leaving it or showing dot-by-dot keeps nothing of an earlier scaled set-up.
void c331_manage::reset_shrink(int fd, int ich)
{
    if (ich < 0 || ich >= kIch)
        return;
    const uint32_t o = c331::kChannelStride * static_cast<uint32_t>(ich);
    for (uint32_t r = c331::SHR_PHASE_EN >> 8 & 0xFF; r <= c331::SHR_BLOCK_LAST; ++r)
        drv->write_C331(fd, c331::reg_id(0x11, r, 1), 0, o);
    for (uint32_t i = 0; i < 24; ++i)
        drv->write_C331(fd, c331::VSHRINK_LUT + (i << 8), 0, o);
    drv->write_C331(fd, c331::HSHRINK_SET, c331::HSHRINK_SET_START, 0);
    drv->write_C331(fd, c331::HSHRINK_LOAD, kHshrinkLoad + 4u * ich, 0);
}

// A channel without a scaled window (none, or dot-by-dot): its shrink and input processing as
// the bring-up leaves them.
void c331_manage::reset_ich_stages(int fd, int ich)
{
    reset_shrink(fd, ich);
    reset_ip(fd, ich);
}

void c331_manage::set_lut_vzoom_4sym(int fd, int ratio, int och)
{
    if (och < 0 || och >= kOch)
        return;
    const uint32_t o = c331::kChannelStride * static_cast<uint32_t>(och);
    for (uint32_t i = 0; i < 24; ++i) {
        const uint32_t v = ratio < 1 ? (i == 0 ? 64u : 0u) : lut_set_lut_vzoom_4sym[i];
        drv->write_C331(fd, c331::VZOOM_LUT + (i << 8), v, o);
    }
}
