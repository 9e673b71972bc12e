#pragma once
// The FPGA that drives the LED output ports, as the application sees it: the command word of
// every register and RAM access, the register numbers and bit fields, the RAM blocks, and the
// records the application keeps in the FPGA's configuration flash.
#include <cstdint>

namespace fpga {

constexpr int kChips = 2;          // chip 1 is provided for but never opened
constexpr int kRegCount = 171;     // mirror registers 0..170
constexpr int kPorts = 16;         // output ports per chip, in 8 pairs
constexpr int kPairs = 8;

// ---- command word (4 bytes, little-endian on the wire) --------------------------------------
constexpr uint8_t kTypeRam = 1;
constexpr uint8_t kTypeReg = 2;
constexpr uint8_t kDirWrite = 0;
constexpr uint8_t kDirRead = 1;
constexpr uint32_t kRamAddrMask = 0x0FFF;  // RAM address: the low 12 bits

// ---- registers --------------------------------------------------------------------------------
constexpr uint8_t REG_OUTPUT_CTRL = 0;    // bit 1 hand-shake, bit 2 blanked, bit 3 not ready
constexpr uint8_t REG_COMMAND = 2;        // bit 0 page written, 1 consumed, 2 run command page, 3 init done
constexpr uint8_t REG_CONTROL3 = 3;       // bit 2 manual brightness, 5 output started, 6 step 1, 7 step 3
constexpr uint8_t REG_BRIGHTNESS = 6;
constexpr uint8_t REG_START_INFO = 7;
constexpr uint8_t REG_INIT_READ = 21;
constexpr uint8_t REG_STATUS = 22;        // bit 2 busy, 3 stage 1, 4 stage 2 done, 5 irq ack, 6 restart, 7 ready
constexpr uint8_t REG_CONTROL23 = 23;     // bit 0 link start, 1 hand-shake, 3 status2, 5 hand-over, 6 init pulse
constexpr uint8_t REG_RX_LEN_LOW0 = 24;   // answer length of pair 0/1 (low byte)
constexpr uint8_t REG_RX_LEN_HIGH_A = 25; // high bits of the answer lengths, pairs 0..3
constexpr uint8_t REG_TX_LEN_HIGH_A = 27; // high bits of the send lengths, pairs 0..3
constexpr uint8_t REG_VERSION0 = 28;      // 28..31: version; 31 gates the bring-up
constexpr uint8_t REG_VERSION3 = 31;
constexpr uint8_t REG_UID0 = 32;          // 32..39: flash unique identifier
constexpr uint8_t REG_LINK_IN = 40;       // bits 2-4 all set: input link from the scaler locked
constexpr uint8_t REG_OUTPUT_START = 41;  // bit 0 output start request
constexpr uint8_t REG_AGE_42 = 42;
constexpr uint8_t REG_AGE_43 = 43;
// Local registers: only in the mirror.
constexpr uint8_t REG_LOCAL_FIRST = 64;
constexpr uint8_t REG_LOCAL_WRITABLE_LAST = 96;
constexpr uint8_t REG_LOCAL_LAST = 127;
constexpr uint8_t REG_BRIGHT_VALUE = 64;  // brightness value in use
constexpr uint8_t REG_ONOFF_STORED = 66;  // 1 while an on/off time record is stored
constexpr uint8_t REG_POWER_FILTER = 67;  // the VMF module allows switching power
constexpr uint8_t REG_RUN_STATE = 80;     // 3 running; 2 or 3 lets the interrupt path run
constexpr uint8_t REG_BAD_BCC = 85;       // answers with a bad checksum
constexpr uint8_t REG_LAST = 170;
// Frame exchange, ports 0..7 (group A) and 8..15 (group B).
constexpr uint8_t REG_LINK_A = 128;
constexpr uint8_t REG_WAIT_A = 129;       // bits 0,2,4,6 answer waiting; 1,3,5,7 transmitter busy
constexpr uint8_t REG_TRIG_A = 130;       // bits 0-3 answer acknowledge, 4-7 send trigger
constexpr uint8_t REG_ACK_REL_A = 131;
constexpr uint8_t REG_PORT_SEL_A = 132;
constexpr uint8_t REG_LINK_B = 144;
constexpr uint8_t REG_WAIT_B = 145;
constexpr uint8_t REG_TRIG_B = 146;
constexpr uint8_t REG_ACK_REL_B = 147;
constexpr uint8_t REG_PORT_SEL_B = 148;
constexpr uint8_t REG_RX_LEN_HIGH_B = 153;
constexpr uint8_t REG_TX_LEN_HIGH_B = 158;
constexpr uint8_t kAnswersWaiting = 0x55;

constexpr uint8_t BIT(int n) { return static_cast<uint8_t>(1u << n); }

// Low byte of the answer length of pair k, and of the send length.
constexpr uint8_t kRxLenLow[kPairs] = {24, 133, 135, 137, 149, 150, 151, 152};
constexpr uint8_t kTxLenLow[kPairs] = {26, 134, 136, 138, 154, 155, 156, 157};

// ---- RAM blocks -----------------------------------------------------------------------------
constexpr uint8_t BLOCK_PARA = 1;
constexpr uint8_t block_rx(int pair) { return static_cast<uint8_t>(2 + 2 * pair); }
constexpr uint8_t block_tx(int pair) { return static_cast<uint8_t>(3 + 2 * pair); }
constexpr uint8_t BLOCK_FIRST_DATA = 33;
constexpr uint8_t BLOCK_FLASH_DATA = 50;
constexpr uint32_t kPageSize = 1024;
constexpr uint32_t kEthPageSize = 132;

// ---- parameter page fields ----------------------------------------------------------------
constexpr uint32_t PARA_LINK0 = 96;       // bits 0,1,3,4 = ports 0..3
constexpr uint32_t PARA_STATE_FIRST = 96; // 96..127 link and search state
constexpr uint32_t PARA_STATE_LAST = 127;
constexpr uint32_t PARA_FPGA_INPUT = 116; // u16 width, u16 height, u32 clock (from the FPGA)
constexpr uint32_t kFpgaInputLen = 8;
constexpr uint32_t PARA_BRIGHT_DONE = 256;
constexpr uint32_t PARA_LINK4 = 512;      // bits 0-3 = ports 4..7
constexpr uint32_t PARA_LINK8 = 513;      // ports 8..15
// Each output port's search result: a 16-bit word and a byte (not 0: a VMF module answered).
constexpr uint16_t PARA_RESULT_WORD[kPorts] = {100, 102, 108, 110, 560, 564, 568, 572,
                                               640, 644, 648, 652, 656, 660, 664, 668};
constexpr uint16_t PARA_RESULT_BYTE[kPorts] = {104, 106, 112, 114, 562, 566, 570, 574,
                                               642, 646, 650, 654, 658, 662, 666, 670};
constexpr uint8_t PARA_LINK4_PORTS = 0x0F;  // byte 512: the link bits; bits 4-7 belong to the page
constexpr uint32_t PARA_START_X = 60;
constexpr uint32_t PARA_START_Y = 62;

// ---- configuration flash ------------------------------------------------------------------
constexpr uint8_t kFlashChip0 = 2;
constexpr uint32_t kFlashSize = 0x800000;
constexpr uint32_t kFlashPage = 256;
constexpr uint32_t kFlashSector = 4096;
constexpr uint32_t FLASH_DATA_BLOCK = 0x6C0001;  // 256 bytes for RAM block 50
constexpr uint32_t FLASH_PARA_SECTOR = 0x6C7;    // the saved parameter page (video_io/fpga_page_record.h)
constexpr uint32_t FLASH_PARA_COPY_SECTOR = 0x6C8;  // ... and its second copy
constexpr uint32_t FLASH_ONOFF_SECTOR = 0x6CD;     // the on/off time record
constexpr uint32_t FLASH_BRIGHT_SECTOR = 0x6CE;    // the brightness record
constexpr uint32_t FLASH_ONOFF_COPY_SECTOR = 0x6C9;   // their second copies
constexpr uint32_t FLASH_BRIGHT_COPY_SECTOR = 0x6CA;
constexpr uint8_t kRecordValid = 0xAA;
constexpr uint8_t kRecordErase = 0x55;

// ---- command page (MCU_RAM_CMD) -------------------------------------------------------------
constexpr uint32_t CMD_PRESENT = 0;
constexpr uint32_t CMD_CODE = 1;
constexpr uint32_t CMD_STORE = 2;
constexpr uint32_t CMD_LENGTH = 6;
constexpr uint32_t CMD_DATA = 8;
constexpr uint32_t CMD_VERSION = 12;
constexpr uint8_t CMD_SET_CLOCK = 1;
constexpr uint8_t CMD_ONOFF = 2;
constexpr uint8_t CMD_BRIGHTNESS = 3;
constexpr uint32_t kCmdDataMax = 1024;           // command data length accepted
constexpr uint32_t EXTEND_SCREEN_STATE = 29;

}  // namespace fpga
