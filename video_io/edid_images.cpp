// Default EDID images, built field by field, and the custom preferred timing.
#include "video_io/edid_images.h"

#include <cstring>

namespace edid {
namespace {

// One detailed timing: active, front porch, sync, back porch per axis; clock in 10 kHz.
struct Timing {
    uint32_t clk10k;
    uint16_t hact, hfp, hsync, hbp;
    uint16_t vact, vfp, vsync, vbp;
    uint16_t hmm, vmm;
};

constexpr uint8_t kFlags = 0x1E;  // digital separate sync, both polarities positive

void put_dtd(uint8_t* d, const Timing& t)
{
    const uint16_t hbl = t.hfp + t.hsync + t.hbp, vbl = t.vfp + t.vsync + t.vbp;
    d[0] = uint8_t(t.clk10k);
    d[1] = uint8_t(t.clk10k >> 8);
    d[2] = uint8_t(t.hact);
    d[3] = uint8_t(hbl);
    d[4] = uint8_t((t.hact >> 8) << 4 | (hbl >> 8 & 0x0F));
    d[5] = uint8_t(t.vact);
    d[6] = uint8_t(vbl);
    d[7] = uint8_t((t.vact >> 8) << 4 | (vbl >> 8 & 0x0F));
    d[8] = uint8_t(t.hfp);
    d[9] = uint8_t(t.hsync);
    d[10] = uint8_t((t.vfp & 0x0F) << 4 | (t.vsync & 0x0F));
    d[11] = uint8_t((t.hfp >> 8 & 3) << 6 | (t.hsync >> 8 & 3) << 4 | (t.vfp >> 4 & 3) << 2 | (t.vsync >> 4 & 3));
    d[12] = uint8_t(t.hmm);
    d[13] = uint8_t(t.vmm);
    d[14] = uint8_t((t.hmm >> 8) << 4 | (t.vmm >> 8 & 0x0F));
    d[15] = 0;
    d[16] = 0;
    d[17] = kFlags;
}

// A text descriptor (0xFC monitor name, 0xFF serial): up to 13 characters, then 0x0A and spaces.
void put_text(uint8_t* d, uint8_t tag, const char* text)
{
    std::memset(d, 0, 18);
    d[3] = tag;
    const size_t n = std::strlen(text);
    for (size_t i = 0; i < 13; ++i)
        d[5 + i] = i < n ? uint8_t(text[i]) : i == n ? 0x0A : 0x20;
}

// Range limits: vertical Hz, horizontal kHz, pixel clock up to clk_mhz.
void put_range(uint8_t* d, uint8_t vmin, uint8_t vmax, uint8_t hmin, uint8_t hmax, uint16_t clk_mhz)
{
    put_text(d, 0xFD, "");
    d[5] = vmin;
    d[6] = vmax;
    d[7] = hmin;
    d[8] = hmax;
    d[9] = uint8_t(clk_mhz / 10);
    d[10] = 0x00;
    d[11] = 0x0A;
    std::memset(d + 12, 0x20, 6);
}

void put_vendor(uint8_t* b, const char id[3], uint16_t product, uint32_t serial, uint8_t week, uint16_t year)
{
    const uint16_t v = uint16_t((id[0] - '@') << 10 | (id[1] - '@') << 5 | (id[2] - '@'));
    b[8] = uint8_t(v >> 8);
    b[9] = uint8_t(v);
    b[10] = uint8_t(product);
    b[11] = uint8_t(product >> 8);
    for (int i = 0; i < 4; ++i)
        b[12 + i] = uint8_t(serial >> (8 * i));
    b[16] = week;
    b[17] = uint8_t(year - 1990);
}

void seal(uint8_t* block) { block[127] = uint8_t(0x100 - sum8(0, block, 127)); }

// Data blocks shared by both groups: LPCM 2 channels 32/44.1/48 kHz 16/20/24 bits; front
// left and right speakers.
constexpr uint8_t kAudio[] = {0x23, 0x09, 0x07, 0x07};
constexpr uint8_t kSpeakers[] = {0x83, 0x01, 0x00, 0x00};

uint8_t* append(uint8_t* p, const uint8_t* data, size_t n)
{
    std::memcpy(p, data, n);
    return p + n;
}

// The extension block's header (tag 2, revision 3, underscan, basic audio, YCbCr 4:4:4 and
// 4:2:2, one native format) and its first data blocks: the group's video block, the shared
// audio and speaker blocks, then the group's HDMI vendor block. Returns where the next data
// block goes; the caller sets the detailed-timing offset x[2] once all its blocks are in.
template <size_t V, size_t H>
uint8_t* start_extension(uint8_t* x, const uint8_t (&video)[V], const uint8_t (&hdmi)[H])
{
    x[0] = 0x02, x[1] = 3, x[3] = 0xF1;
    uint8_t* p = x + 4;
    p = append(p, video, V);
    p = append(p, kAudio, sizeof kAudio);
    p = append(p, kSpeakers, sizeof kSpeakers);
    return append(p, hdmi, H);
}

void image_6602(int r, uint8_t* e)
{
    static const char* const kNames[4] = {"TLX-EXT", "TLX-DVI", "TLX-HD1", "TLX-HD2"};
    static constexpr uint8_t kChroma[10] = {0x5F, 0xB1, 0xA2, 0x57, 0x4F, 0xA2, 0x28, 0x0F, 0x50, 0x54};
    static constexpr uint8_t kStd[16] = {0x81, 0xC0, 0x81, 0x00, 0x81, 0x40, 0x81, 0x80,
                                         0x95, 0x00, 0xA9, 0x40, 0x01, 0x01, 0x01, 0x01};
    put_vendor(e, "ZLT", 0x0001, 0x01010101, 4, 2018);
    e[18] = 1, e[19] = 4, e[20] = 0x80, e[21] = 61, e[22] = 35, e[23] = 120, e[24] = 0x2A;
    std::memcpy(e + 25, kChroma, 10);
    e[35] = 0x21, e[36] = 0x08, e[37] = 0x00;
    std::memcpy(e + 38, kStd, 16);
    put_dtd(e + 54, {14850, 1920, 88, 44, 148, 1080, 4, 5, 36, 544, 320});
    put_range(e + 72, 23, 120, 15, 133, 300);
    put_dtd(e + 90, {26850, 2560, 48, 32, 80, 1600, 3, 6, 37, 544, 320});
    put_text(e + 108, 0xFC, kNames[r]);
    e[126] = 1;

    uint8_t* x = e + kBlock;
    static constexpr uint8_t kVideo[] = {0x41, 0x01};
    static constexpr uint8_t kHdmi[] = {0x6D, 0x03, 0x0C, 0x00, 0x10, 0x00, 0x80, 0x3C, 0x20, 0x10, 0x60, 1, 2, 3};
    uint8_t* p = start_extension(x, kVideo, kHdmi);
    x[2] = uint8_t(p - x);  // 28
    put_dtd(p, {14850, 1920, 88, 44, 148, 1080, 4, 5, 36, 608, 345});
    put_dtd(p + 18, {14850, 1920, 528, 44, 148, 1080, 4, 5, 36, 613, 345});
}

void image_6805(int r, uint8_t* e)
{
    static constexpr uint8_t kChroma[10] = {0x08, 0xA5, 0xA2, 0x57, 0x4F, 0xA2, 0x28, 0x0F, 0x50, 0x54};
    static constexpr uint8_t kStd[16] = {0xD1, 0xC0, 0xA9, 0x40, 0x81, 0x80, 0x81, 0x00,
                                         0x71, 0x4F, 0xE1, 0x00, 0x01, 0x01, 0x01, 0x01};
    put_vendor(e, "TLX", 0x6805, 0x87654321, 46, 2015);
    e[18] = 1, e[19] = 3, e[20] = 0x80, e[21] = 62, e[22] = 34, e[23] = 120, e[24] = 0xEA;
    std::memcpy(e + 25, kChroma, 10);
    e[35] = 0xA5, e[36] = 0x4B, e[37] = 0x00;
    std::memcpy(e + 38, kStd, 16);
    put_dtd(e + 54, {59400, 3840, 176, 88, 296, 2160, 8, 10, 72, 621, 341});
    put_text(e + 72, 0xFF, "TLX_K57HDMI20");
    put_text(e + 90, 0xFC, r == 4 ? "TLX_K57HD3" : "TLX_K57HD4");
    put_range(e + 108, 29, 75, 31, 140, 600);
    e[126] = 1;

    uint8_t* x = e + kBlock;
    static constexpr uint8_t kVideo[] = {0x56, 101, 102, 97, 96, 95, 94, 93, 98, 99, 100, 16, 31,
                                         32,   5,   20,  4,  19, 18, 17, 3,  2,  1};
    static constexpr uint8_t kHdmi[] = {0x6D, 0x03, 0x0C, 0x00, 0x10, 0x00, 0x00, 0x3C, 0x20, 0x00, 0x60, 1, 2, 3};
    static constexpr uint8_t kForum[] = {0x67, 0xD8, 0x5D, 0xC4, 0x01, 0x78, 0x80, 0x03};
    static constexpr uint8_t kY420Map[] = {0xE2, 0x0F, 0x0F};
    uint8_t* p = start_extension(x, kVideo, kHdmi);
    p = append(p, kForum, sizeof kForum);
    p = append(p, kY420Map, sizeof kY420Map);
    x[2] = uint8_t(p - x);  // 60
    put_dtd(p, {29700, 3840, 176, 88, 296, 2160, 8, 10, 72, 621, 341});
    put_dtd(p + 18, {14850, 1920, 88, 44, 148, 1080, 4, 5, 36, 480, 270});
    put_dtd(p + 36, {7425, 1280, 110, 40, 220, 720, 5, 5, 20, 320, 180});
}

}  // namespace

uint8_t sum8(uint8_t seed, const uint8_t* data, int length)
{
    for (int i = 0; i < length; ++i)
        seed = uint8_t(seed + data[i]);
    return seed;
}

bool base_block_valid(const uint8_t* image)
{
    return std::memcmp(image, kHeader, sizeof kHeader) == 0 && sum8(0, image, kBlock) == 0;
}

void default_image(int r, uint8_t out[kImageSize])
{
    std::memset(out, 0, kImageSize);
    if (r < 0 || r > 5)
        return;
    std::memcpy(out, kHeader, sizeof kHeader);
    if (r < 4)
        image_6602(r, out);
    else
        image_6805(r, out);
    seal(out);
    seal(out + kBlock);
}

namespace {
struct Blank {
    uint32_t hfp, hsync, hbp, vfp, vsync, vbp;
};
constexpr Blank kSmall{48, 32, 80, 3, 10, 49}, kLarge{176, 88, 296, 8, 10, 72};
const Blank& blank_of(int r) { return r >= 4 ? kLarge : kSmall; }

// The descriptor's pixel clock in 10 kHz units, computed in 64 bits.
uint64_t clock_10khz(const Blank& b, uint32_t width, uint32_t height, uint32_t refresh)
{
    return uint64_t(refresh) * (width + b.hfp + b.hsync + b.hbp) * (height + b.vfp + b.vsync + b.vbp) / 10000;
}
}  // namespace

TimingFault timing_fault(int r, uint32_t width, uint32_t height, uint32_t refresh)
{
    // Active sizes are 12-bit fields of the descriptor: a larger one would be stored wrapped.
    if (width == 0 || height == 0 || width > 0xFFF || height > 0xFFF)
        return TimingFault::Size;
    const uint64_t clk = clock_10khz(blank_of(r), width, height, refresh);
    if (refresh == 0 || clk == 0 || clk > 0xFFFF)
        return TimingFault::Clock;
    return TimingFault::None;
}

const char* timing_fault_text(TimingFault f)
{
    switch (f) {
    case TimingFault::Size: return "the width or height is not 1 to 4095";
    case TimingFault::Clock: return "no valid pixel clock";
    default: return "valid";
    }
}

bool descriptor_timing(const uint8_t* image, uint16_t out[3])
{
    const uint8_t* d = image + 54;
    const uint32_t clk = d[0] | uint32_t(d[1]) << 8;
    const uint32_t w = d[2] | uint32_t(d[4] >> 4) << 8, hbl = d[3] | uint32_t(d[4] & 0x0F) << 8;
    const uint32_t h = d[5] | uint32_t(d[7] >> 4) << 8, vbl = d[6] | uint32_t(d[7] & 0x0F) << 8;
    const uint64_t total = uint64_t(w + hbl) * (h + vbl);
    if (clk == 0 || w == 0 || h == 0)
        return false;
    out[0] = uint16_t(w);
    out[1] = uint16_t(h);
    out[2] = uint16_t((uint64_t(clk) * 10000 + total / 2) / total);
    return true;
}

bool custom_descriptor(int r, uint32_t width, uint32_t height, uint32_t refresh, uint8_t out[12])
{
    if (timing_fault(r, width, height, refresh) != TimingFault::None)
        return false;
    const Blank& b = blank_of(r);
    const uint32_t hbl = b.hfp + b.hsync + b.hbp, vbl = b.vfp + b.vsync + b.vbp;
    const uint64_t clk = clock_10khz(b, width, height, refresh);
    out[0] = uint8_t(clk);
    out[1] = uint8_t(clk >> 8);
    out[2] = uint8_t(width);
    out[3] = uint8_t(hbl);
    out[4] = uint8_t((width >> 8 & 0x0F) << 4 | (hbl >> 8 & 0x0F));
    out[5] = uint8_t(height);
    out[6] = uint8_t(vbl);
    out[7] = uint8_t((height >> 8 & 0x0F) << 4);
    out[8] = uint8_t(b.hfp);
    out[9] = uint8_t(b.hsync);
    out[10] = uint8_t(b.vfp << 4 | b.vsync);
    out[11] = 0x00;
    return true;
}

}  // namespace edid
