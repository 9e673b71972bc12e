// Picture settings (see picture.h).
#include "scaler/picture.h"

#include <algorithm>
#include <cstdio>

#include "core/globals.h"
#include "scaler/c331_drv.h"
#include "scaler/c331_manage.h"
#include "scaler/c331_regs.h"

namespace picture {

using namespace c331;

static int wrap101(int v)
{
    v %= 101;
    return v < 0 ? v + 101 : v;
}

uint32_t brightness_data(int value)
{
    const int b = wrap101(value);
    const int data = ((b - 50) * 1024) / 50;
    return b < 50 ? (static_cast<uint32_t>(data) & 0xFFF) : static_cast<uint32_t>(data);
}

uint32_t contrast_data(int value)
{
    return static_cast<uint32_t>(wrap101(value) * 1023 / 100);
}

uint32_t saturation_data(int value)
{
    return static_cast<uint32_t>(wrap101(value) * 1023 / 100) & 0x7FF;
}

void colour_gains(uint32_t packed, uint16_t gain[3])
{
    switch (packed & 3) {
    case 1: gain[0] = 8845; gain[1] = 8113; gain[2] = 7056; break;
    case 2: gain[0] = gain[1] = gain[2] = 8192; break;
    case 3: gain[0] = 6944; gain[1] = 8282; gain[2] = 10978; break;
    default: {
        const uint8_t rgb[3] = {uint8_t(packed >> 24), uint8_t(packed >> 16), uint8_t(packed >> 8)};
        for (int i = 0; i < 3; ++i)
            gain[i] = static_cast<uint16_t>(static_cast<int>(rgb[i] * 0.0078125f * 8192.0f + 0.5f));
        break;
    }
    }
}

int sharp_level(int value)
{
    return value <= 9 ? 0 : value - 10;
}

// The gain register is one byte: a stronger level keeps the strongest gain, never wraps.
int sharp_gain(int level)
{
    const int g = static_cast<int>(level * 12.8);
    return g > 255 ? 255 : g;
}

void sharp_h_coefs(int level, float r, uint8_t c[5])
{
    static const uint8_t sets[4][5] = {{36, 43, 58, 4, 5}, {30, 42, 0, 7, 0}, {28, 46, 5, 3, 60}, {44, 49, 56, 63, 2}};
    const int i = r > 2.5f ? 0 : r > 2.0f ? 1 : r > 1.25f ? 2 : 3;
    for (int k = 0; k < 5; ++k)
        c[k] = level > 0 ? sets[i][k] : 0;
}

void sharp_v_coefs(int level, float r, uint8_t d[5])
{
    static const uint8_t sets[4][5] = {{42, 48, 59, 0, 0}, {34, 47, 0, 0, 0}, {28, 45, 5, 0, 0}, {44, 50, 56, 0, 0}};
    const int i = r > 2.5f ? 0 : r > 2.0f ? 1 : r > 1.25f ? 2 : 3;
    for (int k = 0; k < 5; ++k)
        d[k] = level > 0 ? sets[i][k] : 0;
}

// Each register of the list with the same value in all eight output channels.
static void all_channels(std::vector<RegWrite>& w, std::initializer_list<uint32_t> regs, uint32_t value)
{
    for (int c = 0; c < kOutputChannels; ++c)
        for (uint32_t r : regs)
            w.push_back(reg_write(r, value, kChannelStride * c));
}

std::vector<RegWrite> brightness_writes(int value)
{
    std::vector<RegWrite> w;
    all_channels(w, {PIC_BRIGHT_R, PIC_BRIGHT_G, PIC_BRIGHT_B}, brightness_data(value));
    return w;
}

// In each output channel: set the enable bit of the block, then its three colour words.
static std::vector<RegWrite> enabled_triple(uint32_t enable, std::initializer_list<uint32_t> regs, uint32_t value)
{
    std::vector<RegWrite> w;
    for (int ch = 0; ch < kOutputChannels; ++ch) {
        const uint32_t off = kChannelStride * ch;
        w.push_back(reg_mask(enable, 1, 1, off));
        for (uint32_t r : regs)
            w.push_back(reg_write(r, value, off));
    }
    return w;
}

std::vector<RegWrite> contrast_writes(int value)
{
    return enabled_triple(PIC_CON_EN, {PIC_CON_R, PIC_CON_G, PIC_CON_B}, contrast_data(value));
}

std::vector<RegWrite> saturation_writes(int value)
{
    return enabled_triple(PIC_SAT_EN, {PIC_SAT_R, PIC_SAT_G, PIC_SAT_B}, saturation_data(value));
}

std::vector<RegWrite> colour_temp_writes(uint32_t packed)
{
    std::vector<RegWrite> w;
    uint16_t g[3];
    colour_gains(packed, g);
    for (int c = 0; c < kOutputChannels; ++c)
        w.push_back(reg_mask(SYS_CSC_EN_BASE + 0x100 * c, SYS_CSC_EN_BIT, SYS_CSC_EN_BIT));
    for (int ch = 0; ch < kOutputChannels; ++ch) {
        // Diagonal matrix: red, green, blue gains; everything else 0.
        for (int k = 0; k < 9; ++k) {
            const uint32_t v = (k % 4 == 0) ? g[k / 4] : 0;
            w.push_back(reg_write(PIC_CT_M00 + PIC_CT_STRIDE * k, v, kChannelStride * ch));
        }
    }
    return w;
}

std::vector<RegWrite> sharpness_channel_writes(int channel, int level, float rh, float rv)
{
    std::vector<RegWrite> w;
    const uint32_t off = kChannelStride * channel;
    const uint32_t en = level > 0 ? 6 : 0;
    const uint32_t g = static_cast<uint32_t>(sharp_gain(level));
    uint8_t c[5], d[5];
    sharp_h_coefs(level, rh, c);
    sharp_v_coefs(level, rv, d);

    w.push_back(reg_write(SHP_H_EN, en, off));
    for (int k = 0; k < 5; ++k)
        w.push_back(reg_write(SHP_H_COEF0 + 0x100 * k, c[k], off));
    w.push_back(reg_write(SHP_H_GAIN, g, off));
    w.push_back(reg_write(SHP_H_EN2, en, off));
    w.push_back(reg_write(SHP_V_EN, 1, off));
    for (int k = 0; k < 5; ++k)
        w.push_back(reg_write(SHP_V_COEF0 + 0x100 * k, d[k], off));
    w.push_back(reg_write(SHP_V_GAIN, g, off));
    return w;
}

}  // namespace picture

// ---- c331_manage: picture setters ----------------------------------------------------------

static bool debug_on() { return g_debugSwitch == 254; }

void c331_manage::tlxApi_WriteSeq(const std::vector<RegWrite>& seq)
{
    for (const RegWrite& r : seq) {
        if (r.masked)
            drv->write_c331_mask(c331_fd, r.id, r.value, r.mask, r.choffs);
        else
            drv->write_C331(c331_fd, r.id, r.value, r.choffs);
    }
}

void c331_manage::write_held(const std::vector<RegWrite>& seq)
{
    set_rtct(c331_fd, 2);
    tlxApi_WriteSeq(seq);
    set_rtct(c331_fd, 1);
}

void c331_manage::c331_SetBrightness(int value)
{
    if (debug_on())
        printf("\r\n[c331_SetBrightness] %d\n\t data:%04x\r\n", value, picture::brightness_data(value));
    write_held(picture::brightness_writes(value));
}

void c331_manage::c331_SetContrast(int value)
{
    if (debug_on())
        printf("\r\n[c331_SetContrast] val:%d, data:%d\r\n", value, picture::contrast_data(value));
    write_held(picture::contrast_writes(value));
}

void c331_manage::c331_SetSaturation(int value)
{
    if (debug_on())
        printf("[c331_SetSaturation] %d:%04x\r\n", value, picture::saturation_data(value));
    write_held(picture::saturation_writes(value));
}

void c331_manage::c331_SetColorTemp(uint32_t packed)
{
    if (debug_on())
        printf("[c331_SetColorTemp] %8x\r\n", packed);
    write_held(picture::colour_temp_writes(packed));
}

static bool same_writes(const std::vector<RegWrite>& a, const std::vector<RegWrite>& b)
{
    auto same = [](const RegWrite& x, const RegWrite& y) {
        return x.id == y.id && x.value == y.value && x.choffs == y.choffs && x.masked == y.masked && x.mask == y.mask;
    };
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), same);
}

// Scaling ratio for the sharpness filters; a window without input measures as unscaled.
static float ratio(int32_t out, int32_t in)
{
    return in > 0 ? static_cast<float>(out) / static_cast<float>(in) : 1.0f;
}

void c331_manage::c331_SetSharpness(int value)
{
    sharp_value = value;
    drv->write_c331_mask(c331_fd, c331::PIC_CON_EN, 1, 1, 0);
    if (debug_on())
        printf("[c331_SetSharpness] :%04x\r\n", picture::sharp_gain(picture::sharp_level(value)));
    sharp_written.clear();   // a new value reaches every window
    follow_sharpness();
}

// The sharpness writes of every listed window whose port carries a classified signal, in
// list order, for the ratios and channels the windows have now. Off (level 0) is written
// to every window too: each one may have been sharpened before.
std::vector<RegWrite> c331_manage::sharpness_walk()
{
    std::vector<RegWrite> walk;
    const int level = picture::sharp_level(sharp_value);
    const int wincnt = gMwin.wincnt < kWindows ? gMwin.wincnt : kWindows;
    for (int n = 0; n < wincnt; ++n) {
        const uint8_t p = tlxApi_inputCvtC331(pwinfo[n].input);
        if (p >= kPorts || PI_STATE[p] == 0)
            continue;  // no port or no signal: written once the port is classified
        // The window's own input and output windows (both are kept per window).
        const float rh = ratio(OWIN[n].hw, IWIN[n].hw);
        // Vertically against the source's frame lines: the input window holds frames where an
        // interlaced port is deinterlaced (channels 0 to 3), fields elsewhere.
        const int c = first_ich(n);
        const bool fields = PI_SCAN_MODE[p] && !(c >= 0 && c < 4);
        const float rv = ratio(OWIN[n].vw, IWIN[n].vw * (fields ? 2 : 1));
        const int used = challoc::used_channels(pwinfo[n]);
        for (int m = 0; m < used; ++m) {
            const auto ch = picture::sharpness_channel_writes(pwinfo[n].ochLst[m], level, rh, rv);
            walk.insert(walk.end(), ch.begin(), ch.end());
        }
    }
    return walk;
}

// Called after everything that moves a window's ratio or channels (a re-layout, a source or
// crop change, a port classified anew): the chip gets the walk again when it differs from
// what was last written, so the result never depends on the order of the changes.
void c331_manage::follow_sharpness()
{
    std::vector<RegWrite> walk = sharpness_walk();
    if (same_writes(walk, sharp_written))
        return;
    if (!walk.empty())
        write_held(walk);
    sharp_written = std::move(walk);
}

void c331_manage::tlxApi_forceColorDisable(int fd)
{
    g_force_bkcolor = 2;
    if (debug_on())
        printf("[tlxApi_forceColorDisable]");
    for (int c = 0; c < kOch; ++c)
        drv->write_C331(fd, c331::OCH_FORCE_COLOR, 0, c331::kChannelStride * c);

    // Each window's channels get the background the window programming gives them: its
    // port's state and its own black flag. The port's measurement record cannot decide it:
    // a re-layout marks it unknown until the next input check, which a test pattern holds off.
    const int wincnt = gMwin.wincnt < kWindows ? gMwin.wincnt : kWindows;
    for (int n = 0; n < wincnt; ++n)
        set_input_bkg2(fd, n, 0);
}
