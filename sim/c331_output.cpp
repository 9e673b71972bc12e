#include "sim/c331_output.h"

namespace sim {

namespace {

constexpr int kChannels = 8;
constexpr uint8_t kOchBank = 0x08, kZoomBank = 0x0A, kStoreBank = 0x16, kStep = 0x10;
constexpr uint8_t kSyncReg = 0x08, kMirrorReg = 0x22, kActHw = 0x42, kActVw = 0x46;
constexpr uint8_t kZoomH = 0x49, kZoomV = 0x4E;
constexpr uint8_t kOutField0 = 0x08, kInField0 = 0x1C, kOutMwi = 0x30, kOscwct = 0x69;
constexpr uint32_t kFollowFirst = 0x1000;
constexpr uint8_t kOsdBank = 0x09, kOsdCtrl = 0x08, kOsdHst = 0x12, kOsdHw = 0x14, kOsdVst = 0x16, kOsdVw = 0x18;
constexpr uint8_t kOsdBase = 0x1A, kOsdMwi = 0x1E, kAoiHst = 0x28, kAoiVst = 0x2C;
constexpr uint32_t kOsdShown = 0x03, kOsdWide = 0x2000, kOsdHzoom = 0x1000, kOsdVzoom = 0x0800;

uint32_t value(const uint8_t (*regs)[128], uint8_t bank, uint8_t reg, int bytes)
{
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= uint32_t(regs[bank][(reg + i) & 0x7F]) << (8 * i);
    return v;
}

uint8_t bank_of(uint8_t base, int ch) { return uint8_t(base + kStep * ch); }

// Pixels in the first `bytes` bytes of a line, by the read control value.
int64_t pixels(int64_t bytes, uint32_t ctrl)
{
    switch (ctrl) {
    case 128: return (bytes / 16) * 5 + (bytes % 16) / 3;
    case 1: return (bytes / 8) * 3 + ((bytes % 8) * 3) / 8;
    case 17: return bytes / 2;
    default: return bytes / 4;
    }
}

int64_t floor_div(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0); }

}  // namespace

OchRead och_read(const uint8_t (*regs)[128], int k)
{
    OchRead r;
    if (k < 0 || k >= kChannels)
        return r;
    uint32_t sync = value(regs, bank_of(kOchBank, k), kSyncReg, 2);
    if (sync & kFollowFirst) {
        const int first = int((sync >> 8) & 0x07);
        sync = value(regs, bank_of(kOchBank, first), kSyncReg, 2);
    }
    const int c = int((sync >> 8) & 0x07);
    const int8_t mwi = int8_t(value(regs, bank_of(kStoreBank, k), kOutMwi, 1));
    if (mwi == 0)
        return r;
    const int64_t step = int64_t(mwi) * 1024, pitch = step < 0 ? -step : step;
    // Addresses are 32 bits and wrap: the step before a store at address 0 lies at the top.
    const uint32_t first = value(regs, bank_of(kStoreBank, k), kOutField0, 4) + uint32_t(step);
    const int64_t off = int32_t(first - value(regs, bank_of(kStoreBank, c), kInField0, 4));
    r.ich = c;
    r.line = floor_div(off, pitch);
    r.x = pixels(off - r.line * pitch, value(regs, 0, uint8_t(kOscwct + k), 1));
    r.hdir = (value(regs, bank_of(kOchBank, k), kMirrorReg, 1) & 1) ? -1 : 1;
    r.vdir = step < 0 ? -1 : 1;
    r.hw = value(regs, bank_of(kOchBank, k), kActHw, 2);
    r.vw = value(regs, bank_of(kOchBank, k), kActVw, 2);
    r.hzoom = value(regs, bank_of(kZoomBank, k), kZoomH, 2);
    r.vzoom = value(regs, bank_of(kZoomBank, k), kZoomV, 2);
    return r;
}

OsdRead osd_read(const uint8_t (*regs)[128], int k)
{
    OsdRead r;
    if (k < 0 || k >= kChannels)
        return r;
    const uint8_t osd = bank_of(kOsdBank, k), och = bank_of(kOchBank, k);
    const uint32_t ctrl = value(regs, osd, kOsdCtrl, 2);
    r.on = (ctrl & kOsdShown) != 0;
    r.x = int64_t(value(regs, osd, kOsdHst, 2)) + 4 - value(regs, och, kAoiHst, 2);
    r.y = int64_t(value(regs, osd, kOsdVst, 2)) - 1 - value(regs, och, kAoiVst, 2);
    r.w = value(regs, osd, kOsdHw, 2);
    r.h = value(regs, osd, kOsdVw, 2);
    r.addr = value(regs, osd, kOsdBase, 4);
    r.pitch = value(regs, osd, kOsdMwi, 1) * 128 * ((ctrl & kOsdWide) ? 4 : 1);
    r.hzoom = (ctrl & kOsdHzoom) != 0;
    r.vzoom = (ctrl & kOsdVzoom) != 0;
    return r;
}

}  // namespace sim
