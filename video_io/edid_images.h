#pragma once
// The inputs' EDID images: the default 256-byte image of each receiver (an EDID base block
// and one CEA-861 extension) and the custom preferred-timing descriptor written into it.
#include <cstdint>

namespace edid {

constexpr int kImageSize = 256;
constexpr int kBlock = 128;
constexpr uint8_t kHeader[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};

// Receiver r's default image (r 0..3 the IT6602 inputs, 4..5 the IT6805 inputs).
void default_image(int r, uint8_t out[kImageSize]);

// The first 12 bytes of a detailed timing descriptor for receiver r's custom timing. The
// blanking is fixed per receiver group; the clock is computed in 64 bits. false when a
// field is 0 or the clock does not fit the descriptor's 16-bit 10 kHz field.
bool custom_descriptor(int r, uint32_t width, uint32_t height, uint32_t refresh, uint8_t out[12]);

// Why custom_descriptor refuses a timing: an active size of 0 or above the descriptor's 12
// bits (4095), or a refresh of 0 or a clock that does not fit its 16-bit field.
enum class TimingFault { None, Size, Clock };
TimingFault timing_fault(int r, uint32_t width, uint32_t height, uint32_t refresh);
// "the width or height is not 1 to 4095" / "no valid pixel clock", for the log.
const char* timing_fault_text(TimingFault f);

// The timing of an image's first detailed descriptor (byte 54): width, height and refresh
// (rounded to whole hertz). false when it holds no timing (a clock or size of 0).
bool descriptor_timing(const uint8_t* image, uint16_t out[3]);

// The 8-bit sum of length bytes added to seed.
uint8_t sum8(uint8_t seed, const uint8_t* data, int length);
// Header and base-block checksum (the extension is not checked).
bool base_block_valid(const uint8_t* image);

}  // namespace edid
