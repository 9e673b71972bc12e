#pragma once
// C331 register ids: bank << 16 | register << 8 | byte count (1 to 4).
// Registers repeated per output channel lie 0x10 banks apart; the transport adds the channel
// offset (16 x channel) to the bank. Register 0 of every bank selects the bank.
// Kept sorted by area; each area's constants are named after the chip's own function.
#include <cstdint>

namespace c331 {

// ---- register id helpers -------------------------------------------------------------------
constexpr uint32_t reg_id(uint32_t bank, uint32_t reg, uint32_t count)
{
    return (bank & 0xFF) << 16 | (reg & 0x7F) << 8 | (count & 0xFF);
}
constexpr uint32_t id_bank(uint32_t id) { return (id >> 16) & 0xFF; }
constexpr uint32_t id_reg(uint32_t id) { return (id >> 8) & 0xFF; }
constexpr uint32_t id_count(uint32_t id) { return id & 0xFF; }

constexpr uint32_t kBankSelectReg = 0x00;   // register 0 of every bank
constexpr uint32_t kChannelStride = 0x10;   // bank distance between two output channels
constexpr int kOutputChannels = 8;
constexpr int kIpChannels = 4;              // input-processing channels

// ---- SPI frame bytes -----------------------------------------------------------------------
constexpr uint8_t kFrameWrite = 0x80;       // OR'ed with the register (bank select: 0x80, bank)
constexpr uint8_t kFrameReadMask = 0x7F;    // register AND 0x7F, then a dummy 0xFF
constexpr uint8_t kFrameDummy = 0xFF;

// ---- identification ------------------------------------------------------------------------
constexpr uint32_t CHIP_ID = 0xB20801;
constexpr uint32_t CHIP_ID_VALUE = 0x24;

// ---- bank 0: system, update timing ---------------------------------------------------------
constexpr uint32_t RTCT_FIRST = 0x002201;   // update-timing registers 0x22 .. 0x28
constexpr uint32_t RTCT_LAST_REG = 0x28;
constexpr uint32_t RTCT_PULSE = 0x002901;   // bit 0 pulsed around a timing change
constexpr uint32_t OUT_TIMING_CTRL = 0x005502;
constexpr uint32_t ICHSEL_BASE = 0x001001;  // 0x10 + channel
constexpr uint32_t OSCWCT_BASE = 0x006901;  // 0x69 + channel
constexpr uint32_t ISCWCT_BASE = 0x007101;  // 0x71 + channel

// ---- V-by-One receivers / transmitter (bank 2) ---------------------------------------------
constexpr uint32_t VBO_RESET = 0x027F01;     // bits 0..3 low: receivers 0, 1, transmitter halves 1, 2
constexpr uint32_t VBO_RESET_IDLE = 0x0F;
constexpr uint32_t VBO_RX_CFG = 0x024001;    // receiver r at 0x40 + 0x1C r: mode, then ...
constexpr uint32_t VBO_RX_STRIDE = 0x1C00;   // ... lane width at +0x0F, control at +0x0C
constexpr uint32_t VBO_RX_WIDTH_OFS = 0x0F00;
constexpr uint32_t VBO_RX_CTRL_OFS = 0x0C00;

// ---- output channel banks (0x08 + 0x10 c) --------------------------------------------------
constexpr uint32_t OCH_SYNC_CTRL = 0x080802;
constexpr uint32_t OCH_ACT_HST = 0x084002;
constexpr uint32_t OCH_ACT_HW = 0x084202;
constexpr uint32_t OCH_ACT_VST = 0x084402;
constexpr uint32_t OCH_ACT_VW = 0x084602;
constexpr uint32_t OCH_FORCE_COLOR_EN = 0x084801;
constexpr uint32_t OCH_FORCE_COLOR = 0x084903;
constexpr uint32_t OCH_BAR_EN = 0x085701;   // test bars / pattern generator, 0x57 .. 0x68

// ---- picture (bank 0x0C + 0x10 c) ----------------------------------------------------------
constexpr uint32_t PIC_BRIGHT_R = 0x0C3A02;
constexpr uint32_t PIC_BRIGHT_G = 0x0C3C02;
constexpr uint32_t PIC_BRIGHT_B = 0x0C3E02;

// ---- input channel side --------------------------------------------------------------------
constexpr uint32_t ICH_SYNC_CTRL = 0x100901;
constexpr uint32_t ICH_ACT_HST = 0x101702;
constexpr uint32_t ICH_ACT_HW = 0x101902;
constexpr uint32_t ICH_ACT_VST = 0x101B02;
constexpr uint32_t ICH_ACT_VW = 0x101D02;
constexpr uint32_t FS_OUT_FIELD0 = 0x160804; // five output field stores 0x08 .. 0x18
constexpr uint32_t FS_IN_FIELD0 = 0x161C04;  // five input field stores 0x1C .. 0x2C
constexpr uint32_t FS_OMWI = 0x163001;
constexpr uint32_t FS_IMWI = 0x163101;

// ---- V-by-One receiver 0 measurement (bank 0xAE) -------------------------------------------
constexpr uint32_t VBO_RX0_FHM = 0xAE4002;   // four 2-byte counts at 0x40 .. 0x46
constexpr uint32_t VBO_RX0_FVM = 0xAE5C03;   // four 3-byte counts at 0x5C .. 0x65

}  // namespace c331

// ==== panel layout, channel allocation, picture, test patterns ==============================
namespace c331 {

// ---- bank 0: output channel enables, system output configuration ---------------------------
constexpr uint32_t OCH_ENABLE_BASE = 0x000801;    // 0x08 + channel, bit 0 = channel in use
constexpr uint32_t SYS_CSC_EN_BASE = 0x005901;    // 0x59 + channel, bit 5 = colour matrix on
constexpr uint32_t SYS_CSC_EN_BIT = 0x20;
constexpr uint32_t SYS_OUT_CFG_A0 = 0x004701;     // two groups of three output settings
constexpr uint32_t SYS_OUT_CFG_A1 = 0x004B01;
constexpr uint32_t SYS_OUT_CFG_A2 = 0x004801;
constexpr uint32_t SYS_OUT_CFG_B0 = 0x004C01;
constexpr uint32_t SYS_OUT_CFG_B1 = 0x005001;
constexpr uint32_t SYS_OUT_CFG_B2 = 0x004D01;

// ---- V-by-One transmitter (banks 2, 3) -----------------------------------------------------
constexpr uint32_t VBOTX1_MODE = 0x020801;
constexpr uint32_t VBOTX2_MODE = 0x027801;
constexpr uint32_t VBOTX1_OFS = 0x032C02;
constexpr uint32_t VBOTX1_CTL = 0x032E01;
constexpr uint32_t VBOTX1_WID = 0x032F02;
constexpr uint32_t VBOTX2_OFS = 0x033602;
constexpr uint32_t VBOTX2_CTL = 0x033801;
constexpr uint32_t VBOTX2_WID = 0x033902;
constexpr uint32_t OTG_HSW_A = 0x034401;          // sync widths of the two output timing halves
constexpr uint32_t OTG_VSW_A = 0x034501;
constexpr uint32_t OTG_HSW_B = 0x034C01;
constexpr uint32_t OTG_VSW_B = 0x034D01;
constexpr uint32_t VBOTX_OCH_MAP = 0x035504;      // output channels onto transmitter lanes
constexpr uint32_t VBOTX_LANE_MAP_A = 0x035E04;
constexpr uint32_t VBOTX_LANE_MAP_B = 0x036204;

// ---- output channel timing (bank 0x08 + 0x10 c) --------------------------------------------
constexpr uint32_t OCH_HTOTAL = 0x080A02;         // total - 2
constexpr uint32_t OCH_VTOTAL = 0x080C02;
constexpr uint32_t OCH_TIMING_CTRL = 0x081D02;
constexpr uint32_t OCH_OAOI1_HST = 0x082802;      // output area of interest, two copies
constexpr uint32_t OCH_OAOI1_HED = 0x082A02;
constexpr uint32_t OCH_OAOI1_VST = 0x082C02;
constexpr uint32_t OCH_OAOI1_VED = 0x082E02;
constexpr uint32_t OCH_OAOI2_HST = 0x083002;
constexpr uint32_t OCH_OAOI2_HED = 0x083202;
constexpr uint32_t OCH_OAOI2_VST = 0x083402;
constexpr uint32_t OCH_OAOI2_VED = 0x083602;

// ---- output channel pattern generator (bank 0x08 + 0x10 c) ---------------------------------
constexpr uint32_t PG_MODE = 0x085701;
constexpr uint32_t PG_P58 = 0x085801;
constexpr uint32_t PG_P59 = 0x085901;
constexpr uint32_t PG_P5A = 0x085A01;
constexpr uint32_t PG_CTRL = 0x085B02;            // bit 15 = wide (two-lane) generator
constexpr uint32_t PG_P5D = 0x085D02;
constexpr uint32_t PG_P5F = 0x085F02;
constexpr uint32_t PG_P61 = 0x086102;
constexpr uint32_t PG_RED = 0x086301;
constexpr uint32_t PG_GREEN = 0x086401;
constexpr uint32_t PG_BLUE = 0x086501;
constexpr uint32_t PG_RED2 = 0x086601;
constexpr uint32_t PG_GREEN2 = 0x086701;
constexpr uint32_t PG_BLUE2 = 0x086801;

// ---- sharpness (bank 0x0B + 0x10 c) --------------------------------------------------------
constexpr uint32_t SHP_H_EN = 0x0B0801;
constexpr uint32_t SHP_H_GAIN = 0x0B0901;
constexpr uint32_t SHP_H_COEF0 = 0x0B0C01;        // five coefficients 0x0C .. 0x10
constexpr uint32_t SHP_H_EN2 = 0x0B1101;
constexpr uint32_t SHP_V_GAIN = 0x0B1201;
constexpr uint32_t SHP_V_COEF0 = 0x0B1501;        // five coefficients 0x15 .. 0x19
constexpr uint32_t SHP_V_EN = 0x0B5E01;

// ---- picture (bank 0x0C + 0x10 c) ----------------------------------------------------------
constexpr uint32_t PIC_SAT_EN = 0x0C1401;         // bit 0
constexpr uint32_t PIC_SAT_R = 0x0C1B02;
constexpr uint32_t PIC_SAT_G = 0x0C1D02;
constexpr uint32_t PIC_SAT_B = 0x0C1F02;
constexpr uint32_t PIC_CON_EN = 0x0C2101;         // bit 0 (also enables the sharpness path)
constexpr uint32_t PIC_CON_R = 0x0C2802;
constexpr uint32_t PIC_CON_G = 0x0C2A02;
constexpr uint32_t PIC_CON_B = 0x0C2C02;
constexpr uint32_t PIC_CT_M00 = 0x0C5B02;         // 3 x 3 colour-temperature matrix, row by row
constexpr uint32_t PIC_CT_STRIDE = 0x200;         // two registers per coefficient

}  // namespace c331
