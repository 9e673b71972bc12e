// EDID images: the custom descriptor bytes and the default images read back through a
// parser written here from the EDID layout, independent of the builder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "video_io/edid_images.h"

namespace {

struct Dtd {
    unsigned clk10k, hact, hblank, vact, vblank, hfp, hsync, vfp, vsync;
};

Dtd parse_dtd(const uint8_t* d)
{
    return {unsigned(d[0] | d[1] << 8), unsigned(d[2] | (d[4] >> 4) << 8), unsigned(d[3] | (d[4] & 0x0F) << 8),
            unsigned(d[5] | (d[7] >> 4) << 8), unsigned(d[6] | (d[7] & 0x0F) << 8),
            unsigned(d[8] | ((d[11] >> 6) & 3) << 8), unsigned(d[9] | ((d[11] >> 4) & 3) << 8),
            unsigned((d[10] >> 4) | ((d[11] >> 2) & 3) << 4), unsigned((d[10] & 0x0F) | (d[11] & 3) << 4)};
}

std::string text_descriptor(const uint8_t* block, uint8_t tag)
{
    for (int off = 54; off <= 108; off += 18) {
        const uint8_t* d = block + off;
        if (d[0] == 0 && d[1] == 0 && d[3] == tag) {
            std::string s;
            for (int i = 5; i < 18 && d[i] != 0x0A; ++i)
                s += char(d[i]);
            return s;
        }
    }
    return "";
}

std::string manufacturer(const uint8_t* b)
{
    const unsigned v = unsigned(b[8] << 8 | b[9]);
    return {char('@' + (v >> 10 & 31)), char('@' + (v >> 5 & 31)), char('@' + (v & 31))};
}

int sum(const uint8_t* p, int n)
{
    int s = 0;
    for (int i = 0; i < n; ++i)
        s += p[i];
    return s & 0xFF;
}

TEST(EdidImages, CustomDescriptorsAndRefusals)
{
    uint8_t d[12];
    ASSERT_TRUE(edid::custom_descriptor(0, 1920, 1080, 60, d));
    EXPECT_EQ(std::vector<uint8_t>(d, d + 12),
              (std::vector<uint8_t>{0xAC, 0x37, 0x80, 0xA0, 0x70, 0x38, 0x3E, 0x40, 0x30, 0x20, 0x3A, 0x00}));
    ASSERT_TRUE(edid::custom_descriptor(4, 3840, 2160, 60, d));
    EXPECT_EQ(std::vector<uint8_t>(d, d + 12),
              (std::vector<uint8_t>{0x08, 0xE8, 0x00, 0x30, 0xF2, 0x70, 0x5A, 0x80, 0xB0, 0x58, 0x8A, 0x00}));
    // A clock beyond the descriptor's 16 bits, or a zero field, is refused.
    EXPECT_FALSE(edid::custom_descriptor(4, 4095, 4095, 120, d));
    EXPECT_FALSE(edid::custom_descriptor(0, 0, 1080, 60, d));
    EXPECT_FALSE(edid::custom_descriptor(0, 1920, 1080, 0, d));
}

TEST(EdidImages, DefaultImagesParseAsTheirInputs)
{
    const char* const names[6] = {"TLX-EXT", "TLX-DVI", "TLX-HD1", "TLX-HD2", "TLX_K57HD3", "TLX_K57HD4"};
    for (int r = 0; r < 6; ++r) {
        SCOPED_TRACE(r);
        uint8_t e[256];
        edid::default_image(r, e);
        const std::vector<uint8_t> header(e, e + 8);
        EXPECT_EQ(header, (std::vector<uint8_t>{0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0}));
        EXPECT_EQ(sum(e, 128), 0);
        EXPECT_EQ(sum(e + 128, 128), 0);
        EXPECT_EQ(e[126], 1);
        EXPECT_EQ(e[128], 0x02);
        EXPECT_EQ(text_descriptor(e, 0xFC), names[r]);
        const Dtd first = parse_dtd(e + 54);
        const uint8_t* ext_dtd = e + 128 + e[130];
        if (r < 4) {
            EXPECT_EQ(manufacturer(e), "ZLT");
            EXPECT_EQ(e[18] * 10 + e[19], 14);
            EXPECT_EQ(first.clk10k, 14850u);
            EXPECT_EQ(first.hact + first.hblank, 2200u);
            EXPECT_EQ(first.vact + first.vblank, 1125u);
            EXPECT_EQ(first.hfp, 88u);
            EXPECT_EQ(e[130], 28);
            const Dtd second = parse_dtd(ext_dtd + 18);
            EXPECT_EQ(second.hact + second.hblank, 2640u);  // the 50 Hz timing
        } else {
            EXPECT_EQ(manufacturer(e), "TLX");
            EXPECT_EQ(e[18] * 10 + e[19], 13);
            EXPECT_EQ(text_descriptor(e, 0xFF), "TLX_K57HDMI20");
            EXPECT_EQ(first.clk10k, 59400u);
            EXPECT_EQ(first.hact, 3840u);
            EXPECT_EQ(first.vact + first.vblank, 2250u);
            EXPECT_EQ(first.vfp, 8u);
            EXPECT_EQ(first.vsync, 10u);
            EXPECT_EQ(e[130], 60);
            EXPECT_EQ(parse_dtd(ext_dtd + 36).hact, 1280u);
        }
        EXPECT_EQ(parse_dtd(ext_dtd).hact, r < 4 ? 1920u : 3840u);
    }
}

}  // namespace
