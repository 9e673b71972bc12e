#pragma once
// IT6602 HDMI receiver registers as the driver uses them. Register 0x0F bits 0..1 select the
// bank of registers 0x10..0xFF; everything below is bank 0 unless marked.
#include <cstdint>

namespace it6602 {

constexpr uint8_t ADDR_A = 0x90;  // 8-bit chip addresses (strapping)
constexpr uint8_t ADDR_B = 0x94;
constexpr uint8_t kChipId[4] = {0x54, 0x49, 0x02, 0x68};  // registers 0x00..0x03

constexpr uint8_t REG_BANK = 0x0F;
constexpr uint8_t MASK_BANK = 0x03;

// Interrupt status (write 1 to clear).
constexpr uint8_t REG_INT0 = 0x05;     // port 0 events
constexpr uint8_t REG_INT1 = 0x06;     // port 1 events
constexpr uint8_t REG_INT2 = 0x07;     // sync, AV mute, audio FIFO
constexpr uint8_t REG_INT3 = 0x08;     // 3D frame
constexpr uint8_t REG_INT4 = 0x09;     // infoframes, deskew
constexpr uint8_t REG_INT_EQ = 0xD0;   // equaliser events (bits 4..7), written back low nibble
constexpr uint8_t INT_5V = 0x01, INT_CLOCK = 0x02, INT_PORT = 0x04, INT_EQ_A = 0x08, INT_EQ_B = 0x10;
constexpr uint8_t INT_HDMI_MODE = 0x20, INT_ECC = 0x40;
constexpr uint8_t INT2_0 = 0x01, INT2_SYNC = 0x02, INT2_AVMUTE_SET = 0x10, INT2_AVMUTE_CLR = 0x20, INT2_AUDIO_FIFO = 0x80;
constexpr uint8_t INT3_3D = 0x04;
constexpr uint8_t INT4_AVI = 0x01, INT4_DESKEW = 0x60;

// Port status.
constexpr uint8_t REG_STATUS0 = 0x0A;  // port 0 (port 1: 0x0B)
constexpr uint8_t REG_STATUS1 = 0x0B;
constexpr uint8_t ST_5V = 0x01, ST_CLOCK = 0x08, ST_HDMI = 0x40, ST_SYNC = 0x80;
constexpr uint8_t REG_PLL_STATUS = 0x0C;  // bit 6 port 0, bit 7 port 1
constexpr uint8_t REG_PORT_RESET0 = 0x11; // port 0 analogue front end (port 1: 0x18)
constexpr uint8_t REG_PORT_RESET1 = 0x18;
constexpr uint8_t REG_AUDIO_RESET = 0x10;  // bit 1
constexpr uint8_t REG_EQ_FORCE0 = 0x20;   // port 0 (port 1: 0x38)
constexpr uint8_t REG_EQ_FORCE1 = 0x38;
constexpr uint8_t REG_RS_CTRL0 = 0x22;     // port 1: 0x3A
constexpr uint8_t REG_EQ_CTRL0 = 0x26;     // bit 5 overwrite (port 1: 0x3E)
constexpr uint8_t REG_EQ_VAL0 = 0x27;      // 0x27..0x29 (port 1: 0x3F..0x41)
constexpr uint8_t REG_DESKEW = 0x4E;
constexpr uint8_t REG_PORT_SEL = 0x51;     // bit 0
constexpr uint8_t REG_VIDEO_MUTE_CTRL = 0x52;
constexpr uint8_t REG_VIDEO_CTRL = 0x53;   // bits 0..3 output off, bit 7 muted
constexpr uint8_t REG_AUDIO_CTRL = 0x54;
constexpr uint8_t REG_OUT_MODE = 0x65;
constexpr uint8_t REG_CSC_CTRL = 0x67;
constexpr uint8_t REG_CSC_OFFSET = 0x68;
constexpr uint8_t REG_VIDEO_STATE = 0x6A;
constexpr uint8_t REG_OCLK = 0x73;
constexpr uint8_t REG_AUDIO_FIFO = 0x74;
constexpr uint8_t REG_AUDIO_MODE = 0x7D;
constexpr uint8_t REG_AUDIO_FIFO_RST = 0x7B;
constexpr uint8_t REG_PCLK_SEL = 0x77;
constexpr uint8_t REG_OUT_ENABLE = 0x84;
constexpr uint8_t REG_TMDS_RANGE = 0x90;   // bits 0/1 port 0, 2/3 port 1
constexpr uint8_t REG_TMDS_DIV0 = 0x91;
constexpr uint8_t REG_TMDS_DIV1 = 0x92;
constexpr uint8_t REG_VID_MODE = 0x99;     // bit 1 interlaced, bits 4..7 colour depth
constexpr uint8_t REG_PCLK_DIV = 0x9A;
// Timing measurement 0x9C..0xA8.
constexpr uint8_t REG_HTOTAL_L = 0x9C, REG_HTOTAL_H = 0x9D, REG_HACT_L = 0x9E, REG_HACT_H = 0x9F;
constexpr uint8_t REG_HSYNC_L = 0xA0, REG_HFRONT_H = 0xA1, REG_HFRONT_L = 0xA2;
constexpr uint8_t REG_VTOTAL_L = 0xA3, REG_VTOTAL_VACT_H = 0xA4, REG_VACT_L = 0xA5;
constexpr uint8_t REG_VSYNC = 0xA6, REG_VFRONT = 0xA7, REG_POLARITY = 0xA8;
constexpr uint8_t REG_ECC0 = 0xB2;         // port 0 error counters 0xB2..0xB6 (port 1: 0xB7..0xBB)

// Bank 1.
constexpr uint8_t B1_HPD = 0xB0;           // bits 0..1: 3 high, 1 low, 0 no 5 V
constexpr uint8_t B1_PLL0 = 0xB1;          // port 1: 0xC1
constexpr uint8_t B1_PLL1 = 0xC1;
constexpr uint8_t B1_CSC = 0x70;           // 21 bytes 0x70..0x84
constexpr uint8_t B1_AMP_VALID0 = 0xD0;    // port 1: 0xD8
constexpr uint8_t B1_AMP0 = 0xD5;          // 0xD5..0xD7 (port 1: 0xDD..0xDF)
constexpr uint8_t B1_OSC_CTRL = 0x57;
constexpr uint8_t B1_OSC_COUNT = 0x61;

// Bank 2.
constexpr uint8_t B2_AVI0 = 0x14;          // AVI infoframe bytes (0x14..0x18)
constexpr uint8_t B2_VSIF = 0x24;          // vendor infoframe type byte
constexpr uint8_t B2_CLK_L = 0xC0, B2_CLK_M = 0xC1, B2_CLK_H = 0xC2;  // measured pixel clock, kHz

}  // namespace it6602

namespace it6602 {
// Registers whose meaning is this board's choice (documented with the simulated chip).
constexpr uint8_t REG_HDMI_MODE = 0x0D;    // bit 0: the source sends HDMI (not DVI)
constexpr uint8_t REG_AUDIO_CAPS = 0xAA;   // 0xAA..0xAC: byte 0 bit 7 valid, 6 HBR, 5 DSD
constexpr uint8_t REG_AVMUTE = 0x0C;       // bit 0: the source asks for AV mute
constexpr uint8_t REG_PORT_CFG = 0xC0;     // bits 0..1 set by the second init step
}  // namespace it6602
