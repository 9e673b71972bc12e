#pragma once
// Picture settings of the output channels: brightness, contrast, saturation, colour
// temperature (all eight channels) and sharpness (per window, in the window's channels).
// The value arithmetic and the register sequences are plain functions; the c331_manage
// members in picture.cpp bracket them with the update-timing hold and play them.
#include <cstdint>
#include <vector>

#include "scaler/panel_layout.h"

namespace picture {

// Register values from the 0..100 settings of the image (values above 100 wrap modulo 101).
uint32_t brightness_data(int value);   // 12-bit two's complement, -1024..+1024, 50 -> 0
uint32_t contrast_data(int value);     // 0..1023, 50 -> 511
uint32_t saturation_data(int value);   // 0..1023 within 11 bits

// Gains in 1/8192 from the packed word: type in bits 0..7 (0 custom, 1 warm, 2 nature,
// 3 cool), blue 8..15, green 16..23, red 24..31.
void colour_gains(uint32_t packed, uint16_t gain[3]);

// Sharpness level (0 = off) and its gain.
int sharp_level(int value);
int sharp_gain(int level);
// Five filter coefficients for a scaling ratio, horizontal and vertical.
void sharp_h_coefs(int level, float ratio, uint8_t c[5]);
void sharp_v_coefs(int level, float ratio, uint8_t d[5]);

// The writes of one setting in all eight output channels.
std::vector<RegWrite> brightness_writes(int value);
std::vector<RegWrite> contrast_writes(int value);
std::vector<RegWrite> saturation_writes(int value);
std::vector<RegWrite> colour_temp_writes(uint32_t packed);
// The sharpness writes of one output channel for the given ratios.
std::vector<RegWrite> sharpness_channel_writes(int channel, int level, float rh, float rv);

}  // namespace picture
