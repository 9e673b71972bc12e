#pragma once
// General-purpose pads of the SoC register window (16-bit registers, byte offsets into the
// window that platform::board().soc_window() maps). The pads take 0 and 16 (0x0010) unless
// noted. One table for the FPGA transport, the input side and the simulated board models.
#include <cstdint>

namespace pads {

constexpr uint16_t kLow = 0;
constexpr uint16_t kHigh = 0x0010;

constexpr uint32_t PAD_SPI_MUX_A = 0x207900;   // SPI bus multiplexer line A
constexpr uint32_t PAD_SPI_MUX_B = 0x207810;   // SPI bus multiplexer line B
constexpr uint32_t PAD_FPGA0_SEL = 0x207838;   // FPGA 0 word/data select: 16 command word, 0 data
constexpr uint32_t PAD_FPGA0_CFG = 0x207858;   // FPGA 0 reset/configuration: 0 reset, 16 run
constexpr uint32_t PAD_FLASH0_CS = 0x207860;   // FPGA 0 configuration flash select (0 selected)
constexpr uint32_t PAD_FPGA1_CFG = 0x207864;   // FPGA 1 reset/configuration line
constexpr uint32_t PAD_FPGA0_IRQ = 0x207908;   // read: bit 0 = FPGA 0 has something to report
constexpr uint32_t PAD_FLASH1_CS = 0x20790C;   // FPGA 1 configuration flash select
constexpr uint32_t PAD_FPGA1_IRQ = 0x207910;   // read: bit 0 = FPGA 1 interrupt request
constexpr uint32_t PAD_RX6602_RST = 0x207940;  // the four IT6602 receivers: 0 reset, 16 run
constexpr uint32_t PAD_RX6805_RST = 0x207944;  // the two IT6805 receivers: 0 reset, 16 run
constexpr uint32_t PAD_EDID_WP = 0x207948;     // EDID EEPROM write protect: 0 writable, 16 protected
constexpr uint32_t PAD_FPGA1_SEL = 0x20794C;   // FPGA 1 word/data select
constexpr uint32_t PAD_SDI_RST = 0x002848;     // SDI receiver reset, values 0 and 1
constexpr uint32_t PAD_AUX_7800 = 0x207800;    // written 0x10 by the SDI transmitter set-up

// Bus routing by (MUX_A, MUX_B): (16, 0) FPGA 0 or its flash, (0, 16) FPGA 1 or its flash,
// (16, 16) idle: the bus reaches the C331. Every access ends with both at 16.

}  // namespace pads
