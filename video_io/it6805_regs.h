#pragma once
// IT6805 HDMI 2.0 receiver: bus addresses, registers and bit fields used by the driver.
// Registers are of the receiver at 0x90, bank 0 unless the name says otherwise; register 0x0F
// (bank select, bits 0-2) is common to all eight banks. Port 1 repeats port 0's status and
// interrupt registers at other numbers and its PHY in bank 7 instead of bank 3.
#include <cstdint>

namespace it6805 {

// ---- bus (8-bit addresses) ------------------------------------------------------------------
constexpr uint8_t ADDR_RX = 0x90;       // receiver registers (banked)
constexpr uint8_t ADDR_CEC = 0xC8;      // CEC controller
constexpr uint8_t ADDR_RX_SWITCH = 0xEE;  // the receivers' I2C switch
constexpr uint8_t CHANNEL[2] = {0x20, 0x10};  // switch channel of device 0 and 1

// ---- identification -------------------------------------------------------------------------
constexpr uint8_t REG_VENDOR0 = 0x00;   // 0x54
constexpr uint8_t REG_VENDOR1 = 0x01;   // 0x49
constexpr uint8_t REG_DEVICE0 = 0x02;   // 0x05 (bit 1 ignored)
constexpr uint8_t REG_DEVICE1 = 0x03;   // 0x68
constexpr uint8_t REG_REVISION = 0x04;  // ChipID

// Older silicon (revision 0x10 or 0xE0 and above) takes other register layouts and steps.
constexpr bool older_silicon(uint8_t chip_id) { return chip_id == 0x10 || chip_id >= 0xE0; }

// ---- interrupt status (write 1 to clear) ----------------------------------------------------
constexpr uint8_t REG_P0_INT1 = 0x05;   // S1 of port 0
constexpr uint8_t REG_P0_INT2 = 0x06;
constexpr uint8_t REG_P0_EQ_INT = 0x07;
constexpr uint8_t REG_P0_INT3 = 0x08;
constexpr uint8_t REG_P0_INT4 = 0x09;
constexpr uint8_t REG_P1_INT1 = 0x0A;
constexpr uint8_t REG_P1_INT2 = 0x0B;
constexpr uint8_t REG_P1_EQ_INT = 0x0C;
constexpr uint8_t REG_P1_INT3 = 0x0D;
constexpr uint8_t REG_P1_INT4 = 0x0E;
constexpr uint8_t REG_BANK = 0x0F;
constexpr uint8_t REG_SYS_INT0 = 0x10;  // bit 1 SCDT change, 4/5 AV mute, 7 audio
constexpr uint8_t REG_SYS_INT1 = 0x11;
constexpr uint8_t REG_SYS_INT2 = 0x12;  // bit 0 new AVI infoframe, 7 video parameter change
constexpr uint8_t REG_SYS_INT_HDCP = 0x1D;
constexpr uint8_t REG_SYS_INT_D4 = 0xD4;
constexpr uint8_t REG_SYS_INT_D5 = 0xD5;

constexpr uint8_t S1_5V_CHANGE = 0x01, S1_CLK_ON = 0x02, S1_CLK_CHANGE = 0x04, S1_MODE_CHANGE = 0x10;
constexpr uint8_t S1_ECC_ERROR = 0x20, S1_DESKEW_ERROR = 0x40, S1_H2V_SKEW = 0x80;
constexpr uint8_t S2_SYMLOCK_CHANGE = 0x01, S2_CH0_RESET = 0x10, S2_CH1_RESET = 0x20, S2_CH2_RESET = 0x40;
constexpr uint8_t S3_CLK_RATIO_CHANGE = 0x01, S3_4C = 0x80;
constexpr uint8_t S4_HDCP_AUTH_START = 0x01, S4_HDCP_ENC_OFF = 0x08, S4_HDCP_ENC_CHANGE = 0x04;
constexpr uint8_t EQ_INT_AUTO_DONE = 0x10, EQ_INT_H2_ERR = 0x20, EQ_INT_DONE = 0x40, EQ_INT_H1_ERR = 0x80;
constexpr uint8_t SYS0_SCDT_CHANGE = 0x02, SYS0_AVMUTE_ON = 0x10, SYS0_AVMUTE_OFF = 0x20, SYS0_AUDIO = 0x80;
constexpr uint8_t SYS2_NEW_AVI = 0x01, SYS2_VID_PARAM_CHANGE = 0x80;

// ---- port status ----------------------------------------------------------------------------
constexpr uint8_t REG_P0_STATUS = 0x13;  // port 1: 0x16
constexpr uint8_t REG_P0_STATUS2 = 0x14; // port 1: 0x17
constexpr uint8_t REG_P1_STATUS = 0x16;
constexpr uint8_t REG_P1_STATUS2 = 0x17;
constexpr uint8_t ST_5V = 0x01, ST_HDMI_MODE = 0x02, ST_CLK_VALID = 0x08, ST_CLK_STABLE = 0x10, ST_MHL = 0x40;
constexpr uint8_t ST2_TMDS_1G = 0x01, ST2_IPLL_LOCK = 0x02, ST2_SYMLOCK = 0x38, ST2_HDMI2 = 0x40;
constexpr uint8_t REG_VID_STATUS = 0x19;
constexpr uint8_t VID_SCDT = 0x80, VID_OUT_STABLE = 0x02;
constexpr uint8_t REG_PCLK_DIV = 0x1B;   // bits 4-5
constexpr uint8_t REG_HDCP_1C = 0x1C;

// ---- resets, port controls ------------------------------------------------------------------
constexpr uint8_t REG_RESET = 0x22;      // bit 0 video, bit 1 audio
constexpr uint8_t REG_P0_RESET = 0x23;
constexpr uint8_t REG_P1_RESET = 0x2B;
constexpr uint8_t REG_PORT_SEL = 0x35;
constexpr uint8_t REG_LVPCLK = 0x36;
constexpr uint8_t REG_TMDS_MULT = 0x43;  // bits 5-7: sample multiplier
constexpr uint8_t REG_TMDS_REF_IPLL = 0x47;
constexpr uint8_t REG_TMDS_SUM = 0x48;
constexpr uint8_t REG_AVMUTE_CTRL = 0x4F;
constexpr uint8_t REG_CSC_CTRL = 0x6B;
constexpr uint8_t REG_CSC_SEL = 0x6C;
constexpr uint8_t REG_CLK_ECC = 0xD9;

// ---- audio ----------------------------------------------------------------------------------
constexpr uint8_t REG_FORCE_FS = 0x81;   // bit 6 forced sampling frequency
constexpr uint8_t REG_AUD_RESET = 0x86;
constexpr uint8_t REG_FORCE_FS_CODE = 0x8A;
constexpr uint8_t REG_AUD_CTRL = 0x8C;
constexpr uint8_t REG_AUD_INFO0 = 0xB0;
constexpr uint8_t REG_AUD_STATUS = 0xB1;  // bit 7 audio present, bits 0-5 channels
constexpr uint8_t REG_AUD_INFO2 = 0xB2;
constexpr uint8_t REG_AUD_CH_STATUS = 0xB5;
constexpr uint8_t REG_AUD_ERR = 0xB9;
constexpr uint8_t REG_AUD_ERR2 = 0xBE;
constexpr uint8_t B2_N0 = 0xBE;          // bank 2: N and CTS, 0xBE..0xC2

// ---- timing ---------------------------------------------------------------------------------
constexpr uint8_t REG_INPUT_MODE = 0x98;  // bit 1 interlace, bits 4-7 input mode
constexpr uint8_t REG_PCLK_LO = 0x99;
constexpr uint8_t REG_PCLK_HI = 0x9A;     // bits 0-1 high bits, bit 7 latch (0 latches)
constexpr uint8_t REG_TIMING = 0x9B;      // 0x9B..0xA8 (0xAB on older silicon)
constexpr uint8_t REG_SYNC_POL = 0xAA;    // bit 5 H, bit 6 V; bit 3 AV mute
constexpr uint8_t POL_H = 0x20, POL_V = 0x40, AVMUTE = 0x08;

// ---- bank 1 ---------------------------------------------------------------------------------
constexpr uint8_t B1_FACTORY_CTRL = 0x5F;
constexpr uint8_t B1_FACTORY_58 = 0x58;
constexpr uint8_t B1_FACTORY_READY = 0x60;  // 0x19 when ready
constexpr uint8_t B1_EFUSE_57 = 0x57;
constexpr uint8_t B1_EFUSE_ADDR0 = 0x50, B1_EFUSE_ADDR1 = 0x51, B1_EFUSE_READ = 0x54;
constexpr uint8_t B1_EFUSE_DATA0 = 0x61, B1_EFUSE_DATA1 = 0x62;
constexpr uint8_t B1_CSC_MATRIX = 0x70;   // 22 bytes 0x70..0x85
constexpr uint8_t B1_CSC_86 = 0x86;
constexpr uint8_t B1_PCLK_B0 = 0xB0;
constexpr uint8_t B1_LANE_BD = 0xBD;
constexpr uint8_t B1_DUAL_PIXEL = 0xC0;
constexpr uint8_t B1_OUT_C5 = 0xC5, B1_OUT_C6 = 0xC6, B1_AUD_OUT = 0xC7;

// ---- bank 3 / 7: port PHY -------------------------------------------------------------------
constexpr uint8_t PHY_EQ_CTRL20 = 0x20, PHY_EQ_CTRL21 = 0x21, PHY_EQ_TRIGGER = 0x22;
constexpr uint8_t PHY_EQ_VALUE = 0x27;    // 0x27..0x29 by channel
constexpr uint8_t PHY_CH_SEL = 0x37;      // bits 6-7 channel
constexpr uint8_t PHY_CAOF = 0x3A;        // bit 7 starts the offset calibration
constexpr uint8_t PHY_BITERR_SEL = 0xE9, PHY_BITERR_LO = 0xEA, PHY_BITERR_HI = 0xEB;
constexpr uint8_t PHY_HPD = 0xAB;         // bank 3: bits 6-7 hot-plug
constexpr uint8_t PHY_SCDC_E5 = 0xE5;
constexpr uint8_t B3_TIMER_E1 = 0xE1;
constexpr uint8_t B3_OSC_AA = 0xAA;

// ---- bank 5: V-by-One transmitter -----------------------------------------------------------
constexpr uint8_t B5_VBO_MODE = 0xC0;     // bits 4-7 byte mode x 4 + lane count
constexpr uint8_t B5_VBO_SWITCH = 0xC9;   // 0x78 on, 0x79 off
constexpr uint8_t VBO_ON = 0x78, VBO_OFF = 0x79;
constexpr uint8_t B5_VBO_CLK_PULSE = 0xD2;
constexpr uint8_t B5_VBO_STATUS = 0xDB;   // bit 4 transmitter clock stable
constexpr uint8_t B5_D3 = 0xD3, B5_D4 = 0xD4;

// ---- AVI infoframe values ------------------------------------------------------------------
constexpr uint8_t kColorimetry709 = 2, kColorimetryExtended = 3;  // data byte 2 bits 6-7
constexpr uint8_t kColorYuv420 = 3;                                // data byte 1 bits 5-6

// Port 1's copies of the clock, timing and audio registers are in bank 4.
constexpr uint8_t port_bank(uint8_t port) { return port ? 4 : 0; }

// ---- CEC controller (0xC8) ------------------------------------------------------------------
constexpr uint8_t CEC_CTRL = 0x08;        // bits 7 and 3 fire a transmission
constexpr uint8_t CEC_TIME_UNIT = 0x0C;
constexpr uint8_t CEC_TX_FRAME = 0x10;    // 0x10.. the frame to send
constexpr uint8_t CEC_TX_SIZE = 0x23;
constexpr uint8_t CEC_INT = 0x4C;         // bit 2/4 received, 3 done, 5 failed, 6/7 FIFO errors
constexpr uint8_t CEC_RX_HEADER = 0x4D;   // 3 bytes: header, opcode, size | status
constexpr uint8_t CEC_RX_FIFO = 0x50;
constexpr uint8_t CEC_RX_STATUS = 0x51;
constexpr uint8_t CEC_RX_COUNT = 0x52;    // bits 0-3 messages; 0x60, 0xE0, 0x80 resets
constexpr uint8_t CEC_TX_STATUS = 0x54;

}  // namespace it6805
