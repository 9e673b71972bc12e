#pragma once
// Receiving-card frames the FPGA component builds itself, and the small edits it makes on
// frames passing through (the card's place in its group of four, the checksum). All frames
// are decoded frames of the remote protocol's layout: the last byte is the XOR of the others.
#include <QString>
#include <cstdint>

namespace fpga_frames {

constexpr uint32_t kSearchLen = 15;
constexpr uint32_t kRelayLen = 15;
constexpr uint32_t kVmfReadLen = 19;
constexpr uint8_t kCmdSearch = 0x10;
constexpr uint8_t kCmdVmfRead = 0x61;
constexpr uint8_t kCmdRelay = 0xA0;
constexpr uint8_t kByte5Brightness = 0x66;
// Shortest answers that carry what is read from them.
constexpr uint32_t kMinAnswer = 11;
constexpr uint32_t kMinSearchAnswer = 15;
constexpr uint32_t kMinVmfDataAnswer = 140;
constexpr uint32_t kMinVmfRam0Answer = 268;

uint8_t xor_of(const uint8_t* p, uint32_t n);
// Checksum (last byte) matches the bytes before it.
bool bcc_ok(const uint8_t* frame, uint32_t len);
// Rewrites the last byte.
void set_bcc(uint8_t* frame, uint32_t len);

// Puts v (0..3) into bits 4-5 of the high byte of the 16-bit field at `at` (FRAME_DST or
// FRAME_SRC) and corrects the checksum for the change.
void set_group_bits(uint8_t* frame, uint32_t len, uint32_t at, uint8_t v);
// Sets one byte and corrects the checksum for the change.
void set_byte(uint8_t* frame, uint32_t len, uint32_t at, uint8_t v);

// The search frame for output port `port` (0..15).
void search_frame(uint8_t port, uint8_t out[kSearchLen]);
// The VMF module's relay frame: relay 1..8 on (s = 3) or off (s = 1).
void relay_frame(uint16_t vmf_addr, uint8_t relay, bool on, uint8_t out[kRelayLen]);
// The VMF module's RAM-0 read and data read.
void vmf_ram0_frame(uint16_t vmf_addr, uint8_t out[kVmfReadLen]);
void vmf_data_frame(uint16_t vmf_addr, uint8_t out[kVmfReadLen]);

// The shell command of the command page's clock command from its BCD bytes
// (year, century, month, day, hour, minute, second).
QString clock_command(const uint8_t bcd[7]);
// Whether the seven BCD bytes are a real date and time: every nibble a digit, the day one of
// its month, hour 0-23, minute and second 0-59.
bool clock_fields_ok(const uint8_t bcd[7]);

}  // namespace fpga_frames
