// Picture-setting values and sequences, and the test-pattern generator rows.
#include <gtest/gtest.h>

#include "scaler/c331_regs.h"
#include "scaler/picture.h"
#include "scaler/test_pattern.h"
#include "reg_writes.h"

namespace {

TEST(PictureValues, BrightnessContrastSaturation)
{
    EXPECT_EQ(picture::brightness_data(50), 0x0000u);
    EXPECT_EQ(picture::brightness_data(100), 0x0400u);
    EXPECT_EQ(picture::brightness_data(0), 0x0C00u);
    EXPECT_EQ(picture::brightness_data(49), 0x0FECu);
    EXPECT_EQ(picture::brightness_data(151), picture::brightness_data(50));  // wraps modulo 101
    EXPECT_EQ(picture::contrast_data(50), 511u);
    EXPECT_EQ(picture::contrast_data(100), 1023u);
    EXPECT_EQ(picture::saturation_data(50), 511u);
    EXPECT_EQ(picture::saturation_data(101), 0u);
}

TEST(PictureValues, ColourTemperatureGains)
{
    uint16_t g[3];
    picture::colour_gains(0x40404000, g);  // custom 64, 64, 64
    EXPECT_EQ(g[0], 4096); EXPECT_EQ(g[1], 4096); EXPECT_EQ(g[2], 4096);
    picture::colour_gains(0x64321000, g);  // custom red 100, green 50, blue 16
    EXPECT_EQ(g[0], 6400); EXPECT_EQ(g[1], 3200); EXPECT_EQ(g[2], 1024);
    picture::colour_gains(0x11223302, g);  // nature ignores the bytes
    EXPECT_EQ(g[0], 8192); EXPECT_EQ(g[2], 8192);
    picture::colour_gains(1, g);
    EXPECT_EQ(g[0], 8845); EXPECT_EQ(g[1], 8113); EXPECT_EQ(g[2], 7056);
    picture::colour_gains(3, g);
    EXPECT_EQ(g[2], 10978);
}

TEST(PictureSequences, EveryChannelBankAndTheMatrixDiagonal)
{
    const auto b = picture::brightness_writes(100);
    ASSERT_EQ(b.size(), 24u);
    for (int c = 0; c < 8; ++c)
        for (uint32_t id : {c331::PIC_BRIGHT_R, c331::PIC_BRIGHT_G, c331::PIC_BRIGHT_B})
            EXPECT_EQ(written(b, id, 16 * c), 0x0400);

    const auto con = picture::contrast_writes(50);
    EXPECT_TRUE(con[0].masked);
    EXPECT_EQ(con[0].id, c331::PIC_CON_EN);
    EXPECT_EQ(written(con, c331::PIC_CON_B, 0x70), 511);

    const auto ct = picture::colour_temp_writes(0x40404000);
    for (int c = 0; c < 8; ++c) {
        EXPECT_EQ(written(ct, c331::SYS_CSC_EN_BASE + 0x100 * c), 0x20);
        EXPECT_EQ(written(ct, 0x0C5B02, 16 * c), 4096);
        EXPECT_EQ(written(ct, 0x0C5D02, 16 * c), 0);
        EXPECT_EQ(written(ct, 0x0C6302, 16 * c), 4096);
        EXPECT_EQ(written(ct, 0x0C6B02, 16 * c), 4096);
    }
}

TEST(PictureSharpness, LevelsGainsAndCoefficientSets)
{
    EXPECT_EQ(picture::sharp_level(10), 0);
    EXPECT_EQ(picture::sharp_level(3), 0);
    EXPECT_EQ(picture::sharp_level(60), 50);
    // The one-byte gain saturates: sharpness 29, 30, 31, 50, 100 give 243, 255, 255, 255, 255.
    for (auto [value, gain] : {std::pair{29, 243}, {30, 255}, {31, 255}, {50, 255}, {100, 255}})
        EXPECT_EQ(picture::sharp_gain(picture::sharp_level(value)), gain) << value;

    // Level 50 on a window enlarged three times horizontally.
    auto w = picture::sharpness_channel_writes(2, 50, 3.0f, 1.0f);
    EXPECT_EQ(written(w, c331::SHP_H_EN, 0x20), 6);
    const uint32_t h[5] = {36, 43, 58, 4, 5};
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(written(w, c331::SHP_H_COEF0 + 0x100 * k, 0x20), h[k]);
    EXPECT_EQ(written(w, c331::SHP_V_COEF0, 0x20), 44);
    EXPECT_EQ(written(w, c331::SHP_H_GAIN, 0x20), 255);

    uint8_t c[5];
    picture::sharp_h_coefs(5, 2.0f, c);
    EXPECT_EQ(c[4], 60);  // 1.25 < r <= 2.0
    picture::sharp_v_coefs(5, 2.5f, c);
    EXPECT_EQ(c[0], 34);

    // Level 0: every sharpness register written 0 (the vertical enable stays 1).
    w = picture::sharpness_channel_writes(0, 0, 3.0f, 3.0f);
    for (const RegWrite& r : w)
        EXPECT_EQ(r.value, r.id == c331::SHP_V_EN ? 1u : 0u) << std::hex << r.id;
}

TEST(TestPatterns, SolidColoursFollowTheWindowWidth)
{
    const std::vector<uint8_t> ch = {0};
    auto narrow = pattern::pattern_writes(pattern::index_of(1), false, ch);
    ASSERT_GE(narrow.size(), 2u);
    EXPECT_EQ(narrow[0].id, c331::PG_CTRL);    // control word first for solid colours
    EXPECT_EQ(narrow[0].value, 0u);
    EXPECT_EQ(written(narrow, c331::PG_MODE), 4);
    EXPECT_EQ(written(narrow, c331::PG_RED), 255);
    EXPECT_EQ(written(narrow, c331::PG_GREEN), 0);
    EXPECT_EQ(written(narrow, c331::PG_BLUE2), 3);

    auto wide = pattern::pattern_writes(pattern::index_of(1), true, {0, 1});
    EXPECT_EQ(written(wide, c331::PG_CTRL, 0x00), 0x8000);
    EXPECT_EQ(written(wide, c331::PG_CTRL, 0x10), 0x8000);

    EXPECT_EQ(pattern::index_of(21), pattern::index_of(1));
}

TEST(TestPatterns, LinePatternsAndEmptyRows)
{
    auto v = pattern::pattern_writes(pattern::index_of(7), false, {0});
    EXPECT_EQ(v[0].id, c331::PG_MODE);
    EXPECT_EQ(v[1].id, c331::PG_P5F);
    EXPECT_EQ(v[2].id, c331::PG_CTRL);
    EXPECT_EQ(v[2].value, 14u);
    auto h = pattern::pattern_writes(pattern::index_of(8), false, {0});
    EXPECT_EQ(h[1].id, c331::PG_P61);
    EXPECT_EQ(h[2].value, 15u);
    auto g = pattern::pattern_writes(pattern::index_of(13), false, {0});
    EXPECT_EQ(written(g, c331::PG_MODE), 14);
    EXPECT_EQ(written(g, c331::PG_CTRL), 0x8000);

    EXPECT_TRUE(pattern::pattern_writes(pattern::index_of(9), false, {0}).empty());
    EXPECT_TRUE(pattern::pattern_writes(pattern::index_of(10), true, {0}).empty());

    const auto clear = pattern::clear_writes({0, 3});
    EXPECT_EQ(clear.size(), 28u);
    for (const RegWrite& r : clear)
        EXPECT_EQ(r.value, 0u);
    EXPECT_EQ(written(clear, c331::PG_BLUE2, 0x30), 0);
}

}  // namespace
