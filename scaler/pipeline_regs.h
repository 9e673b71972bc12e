#pragma once
// C331 registers of the window pipeline: input ports and their measurement, input channels
// (ICH), output channels (OCH), layers, waits and the input-processing block.
// Ids as in c331_regs.h: bank << 16 | register << 8 | byte count. Per-channel banks repeat
// 0x10 banks apart (channel offset 16 x channel).
#include <cstdint>

namespace c331 {

constexpr int kInputChannels = 8;

// ---- bank 0: global -------------------------------------------------------------------------
constexpr uint32_t CH_HOLD_BASE = 0x000801;      // 0x08 + channel: motion mode / hold of channel c
constexpr uint32_t CH_HOLD_START = 0x10;         // its hold bits at bring-up (bit 0: output channel c's enable)
constexpr uint32_t PICT_EN = 0x001802;           // bit 4i: picture enable of parallel port i
constexpr uint32_t VBO_LANE_SETUP = 0x001E02;    // + 0x200 r: lane set-up of V-by-One receiver r
constexpr uint32_t LAYER_TIMING_A = 0x002201;    // coefficient timing: 0xFF while rewriting, ...
constexpr uint32_t LAYER_TIMING_B = 0x002301;    // ... then 0xA9 and 0xCB
constexpr uint32_t STATUS_LATCH = 0x002901;      // 0x80 before a set of status reads, 0 after
constexpr uint32_t STATUS_LATCH_ON = 0x80;
constexpr uint32_t VBO_LANE_SELECT = 0x003902;   // byte r: lane select of receiver r
constexpr uint32_t HSHRINK_SET = 0x007901;       // horizontal shrink coefficient set number
constexpr uint32_t HSHRINK_LOAD = 0x007A01;      // load target: 131 + 4c (135 + 4c: partner)
constexpr uint32_t HSHRINK_SET_START = 0x2E;     // the set the bring-up loads into every channel

// ---- V-by-One receivers (bank 2) ------------------------------------------------------------
constexpr uint32_t VBO_RX_FRANGE0 = 0x024C01;    // receiver 0 clock range, bit 3 = below 50 MHz
constexpr uint32_t VBO_RX_FRANGE1 = 0x026801;
constexpr uint32_t VBO_RX_FRANGE_LOW = 0x08;
constexpr uint32_t VBO_RX_LANES = 0x024F01;      // + 0x1C00 q: lane mask

// ---- pair joining (bank 3) ------------------------------------------------------------------
constexpr uint32_t IDUAL_CTRL = 0x030801;        // + 9k (register): 3 joined
constexpr uint32_t IDUAL_HST = 0x030902;
constexpr uint32_t IDUAL_HW = 0x030B02;
constexpr uint32_t IDUAL_VBO_HST_START = 0xC0;   // pairs 2, 3 at bring-up: a 3840-wide picture
constexpr uint32_t IDUAL_VBO_HW_START = 0xF00;

// ---- vertical sync waits (bank 5) -----------------------------------------------------------
constexpr uint32_t WAIT_IN_EN = 0x050801;
constexpr uint32_t WAIT_OUT_EN = 0x050901;
constexpr uint32_t WAIT_IN_SEEN = 0x052201;
constexpr uint32_t WAIT_OUT_SEEN = 0x052301;

// ---- sync polarity (bank 6) -----------------------------------------------------------------
constexpr uint32_t SYPOL_CMOS = 0x063804;
constexpr uint32_t SYPOL_VBO = 0x063C04;

// ---- OCH (bank 0x08 + 0x10 k) ---------------------------------------------------------------
constexpr uint32_t OCH_MIRROR = 0x082201;
constexpr uint32_t OCH_LINE_END = 0x083202;
constexpr uint32_t OCH_BKG_EN = 0x084801;
constexpr uint32_t OCH_BKG_COLOR = 0x084903;

// ---- OCH zoom (bank 0x0A + 0x10 k) ----------------------------------------------------------
constexpr uint32_t ZOOM_VCTRL = 0x0A4401;
constexpr uint32_t ZOOM_HCTRL = 0x0A4601;
constexpr uint32_t ZOOM_HPHASE = 0x0A4702;
constexpr uint32_t ZOOM_HRATIO = 0x0A4902;
constexpr uint32_t ZOOM_VVALUE = 0x0A4B01;
constexpr uint32_t ZOOM_VPHASE = 0x0A4C02;
constexpr uint32_t ZOOM_VRATIO = 0x0A4E02;
constexpr uint32_t VZOOM_LUT = 0x0A6801;         // 24 coefficients 0x68 .. 0x7F

// ---- layers (bank 0x0E + 0x10 k) ------------------------------------------------------------
constexpr uint32_t OVERLAY = 0x0E0904;
constexpr uint32_t LAYER_COEF = 0x0E1201;        // + 5 x combination + slot

// ---- ICH shrink (bank 0x11 + 0x10 c) --------------------------------------------------------
constexpr uint32_t SHR_PHASE_EN = 0x114201;     // first register of the shrink block 0x42 .. 0x4D
constexpr uint32_t SHR_BLOCK_LAST = 0x4D;
constexpr uint32_t SHR_CTRL2 = 0x114301;
constexpr uint32_t SHR_HCTRL = 0x114401;
constexpr uint32_t SHR_HPHASE_A = 0x114501;
constexpr uint32_t SHR_HPHASE_B = 0x114601;
constexpr uint32_t SHR_HRATIO = 0x114702;
constexpr uint32_t SHR_VCTRL = 0x114901;
constexpr uint32_t SHR_VPHASE_A = 0x114A01;
constexpr uint32_t SHR_VPHASE_B = 0x114B01;
constexpr uint32_t SHR_VRATIO = 0x114C02;
constexpr uint32_t VSHRINK_LUT = 0x116801;       // 24 coefficients 0x68 .. 0x7F

// ---- frame stores (bank 0x16 + 0x10 c) ------------------------------------------------------
constexpr uint32_t FS_IN_FIELD_SEL = 0x166603;
constexpr uint32_t FS_OUT_FIELD_SEL = 0x166C02;

// ---- measurement (banks 0xA8, 0xAB, 0xAE, 0xAF, 0xB2) ----------------------------------------
constexpr uint32_t ICH_MEAS_A = 0xA80802;        // + 6c (register): horizontal count
constexpr uint32_t ICH_MEAS_B = 0xA80A02;
constexpr uint32_t ICH_NOSIG = 0xA83F01;         // + 5c: 0xFF without input
constexpr uint32_t ICH_FIELD = 0xAB4701;         // + c: bits 2..3 the field written now
constexpr uint32_t PORT_HTT = 0xAE0802;          // ports 0..3: + 0x200 p
constexpr uint32_t PORT_VTT = 0xAE2002;
constexpr uint32_t PORT_VCNT = 0xAE3802;
constexpr uint32_t PORT_PERIOD = 0xAE5003;       // + 0x300 p
constexpr uint32_t PORT_HW = 0xAF0802;
constexpr uint32_t VBO_HTT = 0xAE1002;           // ports 4, 5: + 0x800 q
constexpr uint32_t VBO_VTT = 0xAE2802;
constexpr uint32_t VBO_VCNT = 0xAE4002;          // also lane 0's count; lanes at + 0x200 i
constexpr uint32_t VBO_PERIOD = 0xAE5C03;        // + 0xC00 q; lanes at + 0x300 i
constexpr uint32_t VBO_HW = 0xAF1002;
constexpr uint32_t VBO_LOCK = 0xB26301;          // bit 5 receiver 0, bit 7 receiver 1

// ---- input processing (bank 0x12/0x14/0x15/0x17 + 0x10 c, channels 0..3) ---------------------
constexpr uint32_t IP_HTOTAL = 0x140802;
constexpr uint32_t IP_VTOTAL = 0x140A02;
constexpr uint32_t IP_MODE = 0x140C01;
constexpr uint32_t IP_HW = 0x140F02;
constexpr uint32_t IP_VST = 0x141102;
constexpr uint32_t IP_VW = 0x141302;
constexpr uint32_t IP_MV_EN = 0x141501;
constexpr uint32_t IP_DEINT = 0x142A01;
constexpr uint32_t IP_PD_CTRL = 0x142C01;
constexpr uint32_t IP_SF = 0x142D01;
constexpr uint32_t IP_PD_SQTH = 0x143001;
constexpr uint32_t IP_COMB_EN = 0x143B01;
constexpr uint32_t IP_DIAG0 = 0x145001;
constexpr uint32_t IP_HALF = 0x146D02;
constexpr uint32_t IP_FIELD_A = 0x146701;
constexpr uint32_t IP_FIELD_B = 0x146801;
constexpr uint32_t IP_TPX_MODE = 0x120801;
constexpr uint32_t NR_MODE = 0x150801;
constexpr uint32_t NR_MOSQ = 0x150901;
constexpr uint32_t NR_BLOCK = 0x153902;
constexpr uint32_t NR_HV = 0x156B01;
constexpr uint32_t IP_ENABLE = 0x157001;
constexpr uint32_t IP_PROG = 0x165B01;
constexpr uint32_t IP_MEM0 = 0x170804;           // eight 4-byte addresses 0x08 .. 0x24
constexpr uint32_t IP_YOFF = 0x175902;

}  // namespace c331
