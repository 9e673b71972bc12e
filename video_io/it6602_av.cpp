// IT6602 output set-up (colour conversion), timing measurement and publication, and the
// audio state machine.
#include "video_io/zelta_it6602.h"

#include <QMutexLocker>
#include <cstdio>
#include <cstring>

#include "core/TlxRamPara.h"
#include "core/utils.h"
#include "platform/clock.h"
#include "video_io/it6602_regs.h"
#include "video_io/source_status.h"
#include "video_io/zeltasource.h"

using namespace it6602;

namespace {
constexpr uint8_t kCscYuv709[21] = {0x04, 0x00, 0xA7, 0x4F, 0x09, 0xBA, 0x3B, 0x4B, 0x3E, 0x4F, 0x09,
                                    0x57, 0x0E, 0x02, 0x00, 0x4F, 0x09, 0xFE, 0x3F, 0xE8, 0x10};
constexpr uint8_t kCscYuv601[21] = {0x04, 0x00, 0xA7, 0x4F, 0x09, 0x81, 0x39, 0xDD, 0x3C, 0x4F, 0x09,
                                    0xC4, 0x0C, 0x01, 0x00, 0x4F, 0x09, 0xFD, 0x3F, 0x1F, 0x10};
constexpr uint8_t kCscRgbLimited[21] = {0xED, 0xED, 0x00, 0x50, 0x09, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                        0x50, 0x09, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x50, 0x09};
}  // namespace

// ---- output and measurement ------------------------------------------------------------------

void zelta_it6602::configure_output(int r)
{
    IT6602_dev_data& d = dev[r];
    const bool hdmi = (hdmirxrd_it6602(REG_HDMI_MODE) & 0x01) != 0;
    d.flags = uint8_t(hdmi ? d.flags | FLAG_HDMI : d.flags & ~FLAG_HDMI);
    uint8_t colour = 0;  // 0 RGB, 1 YCbCr 4:2:2, 2 YCbCr 4:4:4
    bool bt709, full;
    if (hdmi) {
        chgbank_it6602(2);
        colour = (hdmirxrd_it6602(0x15) >> 5) & 0x03;
        const uint8_t colorimetry = hdmirxrd_it6602(0x16) >> 6;
        const uint8_t quant = (hdmirxrd_it6602(0x17) >> 2) & 0x03;
        const uint8_t vic = hdmirxrd_it6602(0x18) & 0x7F;
        chgbank_it6602(0);
        bt709 = colorimetry == 2;
        full = quant == 0 ? vic < 2 : quant == 2;
    } else {
        bt709 = hdmirxrd_it6602(REG_PCLK_DIV) < 52;
        full = true;
    }
    in_colour[r] = colour > 2 ? 0 : colour;
    out_colour[r] = 0;
    const uint8_t* matrix = nullptr;
    if (in_colour[r] != 0) {
        matrix = bt709 ? kCscYuv709 : kCscYuv601;
        hdmirxset_it6602(REG_CSC_CTRL, 0x78, 0x00);
        hdmirxwr_it6602(REG_CSC_OFFSET, 0x00);
    } else if (!full) {
        matrix = kCscRgbLimited;
        hdmirxset_it6602(REG_CSC_CTRL, 0x78, 0x78);
        hdmirxwr_it6602(REG_CSC_OFFSET, 0xED);
    }
    if (matrix) {
        chgbank_it6602(1);
        hdmirxbwr_it6602(B1_CSC, matrix, 21);
        chgbank_it6602(0);
    }
    const uint8_t depth = hdmirxrd_it6602(REG_VID_MODE) >> 4;
    colour_depth[r] = depth == 5 ? 1 : depth == 6 ? 2 : 0;
    hdmirxset_it6602(REG_OUT_MODE, 0x0C, uint8_t(colour_depth[r] << 2));
    hdmirxset_it6602(REG_OUT_MODE, 0x30, 0x00);  // RGB 4:4:4 out
}

bool zelta_it6602::timing_from_regs(const uint8_t g[0x19], IT6602_TIMING* t)
{
    auto R = [g](uint8_t reg) -> uint32_t { return g[reg - REG_TMDS_RANGE]; };
    const uint32_t div = R(REG_PCLK_DIV);
    if (div == 0)
        return false;
    IT6602_TIMING m;
    m.pclk_mhz = 31620 / div / 10;
    const int32_t hact = int32_t((R(REG_HACT_H) & 0x3F) << 8 | R(REG_HACT_L));
    const int32_t htotal = int32_t((R(REG_HTOTAL_H) & 0x3F) << 8 | R(REG_HTOTAL_L));
    const int32_t hfront = int32_t((R(REG_HFRONT_H) >> 4) << 8 | R(REG_HFRONT_L));
    const int32_t hsync = int32_t((R(REG_HFRONT_H) & 0x01) << 8 | R(REG_HSYNC_L));
    const int32_t vact = int32_t((R(REG_VTOTAL_VACT_H) >> 4) << 8 | R(REG_VACT_L));
    const int32_t vtotal = int32_t((R(REG_VTOTAL_VACT_H) & 0x0F) << 8 | R(REG_VTOTAL_L));
    const int32_t vfront = int32_t(R(REG_VFRONT) & 0x3F);
    const int32_t vsync = int32_t(R(REG_VSYNC) & 0x1F);
    const int32_t hback = htotal - hact - hfront - hsync;
    const int32_t vback = vtotal - vfront - vsync - vact;
    if (m.pclk_mhz == 0 || hact == 0 || vact == 0 || htotal == 0 || vtotal == 0 || hback < 0 || vback < 0)
        return false;
    m.Hact = uint16_t(hact), m.Htotal = uint16_t(htotal), m.Hfront = uint16_t(hfront), m.Hsync = uint16_t(hsync);
    m.Hback = uint16_t(hback);
    m.Vact = uint16_t(vact), m.Vtotal = uint16_t(vtotal), m.Vfront = uint16_t(vfront), m.Vsync = uint16_t(vsync);
    m.Vback = uint16_t(vback);
    m.flags = uint8_t((R(REG_VID_MODE) >> 1 & 1) | (R(REG_POLARITY) >> 3 & 1) << 1 | (R(REG_POLARITY) & 1) << 2);
    *t = m;
    return true;
}

uint32_t zelta_it6602::refresh_hz(const IT6602_TIMING& t)
{
    const uint64_t total = uint64_t(t.Htotal) * t.Vtotal;
    return total ? uint32_t(uint64_t(1000000) * t.pclk_mhz / total) : 0;
}

uint16_t zelta_it6602::recorded_refresh(uint32_t hz)
{
    return hz < 55 ? uint16_t(hz) : 60;
}

bool zelta_it6602::measure_and_publish(int r)
{
    const int port = dev[r].port == 1 ? 1 : 0;
    uint8_t g[0x19] = {};
    if (!bus_.i2c_read(fd, address, REG_TMDS_RANGE, g, sizeof g)) {
        ++read_failures;
        return false;
    }
    const uint8_t range = uint8_t(g[0] >> (port ? 2 : 0));
    const uint8_t div = g[port ? 2 : 1];
    const uint32_t base = (range & 1) ? 6144 : (range & 2) ? 12288 : 3072;
    tmds_clock[r] = div ? base / div : 0;

    IT6602_TIMING t;
    if (!timing_from_regs(g, &t))
        return false;  // nothing usable measured: the record stays zero, no-signal stays set
    timing[r] = t;
    const uint32_t hz = refresh_hz(t);
    source_status::publish_timing(r, t.Hact, t.Vact, recorded_refresh(hz));

    // Pixel clock for the scaler: from the oscillator estimate, or the chip's own count.
    const uint32_t n = (oclk_count[r] / 100 > 24348 && oclk_count[r] / 100 < 73044) ? oclk_count[r] / 100 : 48696;
    float pclk = float(n) * 255.0f / 400.0f / float(g[REG_PCLK_DIV - REG_TMDS_RANGE]) / 10.0f;
    hdmirxset_it6602(REG_PCLK_SEL, 0x01, 0x01);
    chgbank_it6602(2);
    const uint32_t c0 = hdmirxrd_it6602(B2_CLK_L), c1 = hdmirxrd_it6602(B2_CLK_M), c2 = hdmirxrd_it6602(B2_CLK_H);
    chgbank_it6602(0);
    const uint32_t khz = c1 * 4096 + c2 * 16 + c0 / 16;
    if (khz)
        pclk = float(khz) / 1000.0f;
    {
        QMutexLocker lk(&Utils::_source_hdminfo_mutex);
        if (HDMI_INFO* i = info_of(r)) {
            *i = HDMI_INFO{};
            i->Hact = t.Hact, i->Hsync = t.Hsync, i->Hback = t.Hback, i->Hpol = 1, i->Htotal = t.Htotal;
            i->Vact = t.Vact, i->Vsync = t.Vsync, i->Vback = t.Vback, i->Vpol = 1, i->Vtotal = t.Vtotal;
            i->PCLK = pclk;
            i->interlaced = t.flags & 1;
            i->stable = 1;
            i->no_signal = 0;
        }
    }
    std::printf("IT6602 input %d: %ux%u%s total %ux%u, %u Hz, %.2f MHz\n", r, t.Hact, t.Vact,
                (t.flags & 1) ? "i" : "p", t.Htotal, t.Vtotal, hz, double(pclk));
    return true;
}

// ---- audio -----------------------------------------------------------------------------------

void zelta_it6602::IT6602SwitchAudioState(int r, uint32_t state)
{
    IT6602_dev_data& d = dev[r];
    if (d.audio_state == state)
        return;
    d.audio_state = state;
    if (state == ASTATE_AudioOff)
        hdmirxset_it6602(REG_AUDIO_RESET, 0x02, 0x02);
    if (state == ASTATE_AudioOff || state == ASTATE_RequestAudio)
        hdmirxset_it6602(REG_VIDEO_MUTE_CTRL, 0x1F, 0x1F);
    else if (state == ASTATE_AudioOn)
        hdmirxset_it6602(REG_VIDEO_MUTE_CTRL, 0x1F, 0x00);
}

void zelta_it6602::IT6602_AudioHandler(int r)
{
    IT6602_dev_data& d = dev[r];
    d.audio_countdown = d.audio_countdown >= 100 ? uint16_t(d.audio_countdown - 100) : 0;
    uint8_t caps[3] = {};
    switch (d.audio_state) {
    case ASTATE_RequestAudio:
        if (!bus_.i2c_read(fd, address, REG_AUDIO_CAPS, caps, 3) || !(caps[0] & 0x80))
            break;
        std::memcpy(d.audio_caps, caps, 3);
        hdmirxset_it6602(REG_AUDIO_CTRL, 0x70, (caps[0] & 0x40) ? 0x00 : 0x10);
        if (!(caps[0] & 0x20))
            hdmirxset_it6602(REG_AUDIO_MODE, 0x10, 0x00);
        hdmirxset_it6602(REG_AUDIO_RESET, 0x02, 0x02);
        hdmirxset_it6602(REG_AUDIO_RESET, 0x02, 0x00);
        IT6602SwitchAudioState(r, ASTATE_WaitForReady);
        d.audio_countdown = 201;
        break;
    case ASTATE_WaitForReady:
        if (d.audio_countdown == 0)
            IT6602SwitchAudioState(r, ASTATE_AudioOn);
        break;
    case ASTATE_AudioOn:
        if (d.audio_countdown)
            break;
        d.audio_countdown = 151;
        if (bus_.i2c_read(fd, address, REG_AUDIO_CAPS, caps, 3) && std::memcmp(caps, d.audio_caps, 3) != 0)
            IT6602SwitchAudioState(r, ASTATE_RequestAudio);
        break;
    default:
        break;
    }
}
