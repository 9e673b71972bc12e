#pragma once
// Test patterns: the pattern generator of the output channels replaces the picture of the
// single window by a solid colour, a colour bar, line or grid patterns.
#include <cstdint>
#include <vector>

#include "scaler/panel_layout.h"

namespace pattern {

constexpr int kPatterns = 20;     // numbers wrap: 21 shows the same as 1
constexpr int32_t kWideWindow = 2048;

// Index 0..19 of a pattern number (number 0 is "off" and has no index).
int index_of(int number);

// Clears every generator register of the given channels.
std::vector<RegWrite> clear_writes(const std::vector<uint8_t>& channels);
// The generator row of a pattern in each channel. wide: window 0 is wider than 2048.
std::vector<RegWrite> pattern_writes(int index, bool wide, const std::vector<uint8_t>& channels);

}  // namespace pattern
