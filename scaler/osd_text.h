#pragma once
// Text and colours of the OSD menu file as the OSD takes them.
#include <cstdint>
#include <string>
#include <vector>

namespace osd_text {

constexpr size_t kMaxLines = 63;   // the OSD's text buffer counts its lines modulo 64
constexpr size_t kMaxChars = 128;

// Splits UTF-8 text at each line feed (empty parts kept, at most kMaxLines lines of at most
// kMaxChars code points). A CR before a line feed is dropped; every other code the fonts do not
// hold (outside 0x20..0x7F and U+4E00..U+9FFF), and each byte of invalid UTF-8, becomes a space.
std::vector<std::vector<uint32_t>> lines(const std::string& utf8);

// A colour as red, green and blue in hexadecimal, "#RRGGBB", "RRGGBB" or "0xRRGGBB" (the
// last also with fewer digits, as a number), to 0xBBGGRR; false for any other form.
bool colour_bgr(const std::string& text, uint32_t* bgr);

}  // namespace osd_text
