#pragma once
// LED panel and output-channel (OCH) layout: the C331's V-by-One output is cut into up to
// eight OCH, each a small video timing of its own, that tile the LED screen. The planner
// below turns LED size and splice mode into the tiling and its timing; the c331_manage
// members in panel_layout.cpp write the result to the chip and into the parameter image.
//
// Everything here is plain computation, callable without a chip.
#include <array>
#include <cstdint>
#include <vector>


// One register access of a planned sequence: a plain write, or a masked read-modify-write.
// Planned sequences let the layout, picture and pattern code be checked without a chip and
// then be played through the transport in one place.
struct RegWrite {
    uint32_t id;        // bank << 16 | register << 8 | byte count
    uint32_t value;
    uint32_t choffs;    // channel offset added to the bank (16 x output channel)
    bool masked;
    uint32_t mask;      // bits taken from value when masked
};
inline RegWrite reg_write(uint32_t id, uint32_t value, uint32_t choffs = 0)
{
    return RegWrite{id, value, choffs, false, 0};
}
inline RegWrite reg_mask(uint32_t id, uint32_t value, uint32_t mask, uint32_t choffs = 0)
{
    return RegWrite{id, value, choffs, true, mask};
}

enum SpliceMode { SPLICE_NONE = 0, SPLICE_HV = 1, SPLICE_V = 2, SPLICE_H = 3, SPLICE_CP12 = 4, SPLICE_CP21 = 5 };
constexpr int kSpliceModes = 6;

enum OchArrangement {
    ARRANG2K4_2x1 = 5,
    ARRANG2K4_4x1_8K = 6,
    ARRANG2K4_2x2_8K = 7,
    ARRANG2K4_1x2 = 8,
};

enum OchBandwidth { OCHBW_2K4K30 = 0 };

struct ST_OCH_SIZE {
    int32_t width;
    int32_t height;
};

// The panel layout record: cleared and rebuilt on every panel set-up.
struct ST_PANEL {
    uint16_t w, h;          // LED screen size
    uint16_t out_w[2];      // piece widths (the first output is kept inside the LED screen)
    uint16_t out_h[2];      // piece heights
    uint16_t xoffs, yoffs;  // LED picture offset inside the OCH canvas
    uint8_t och_HCnt, och_VCnt;
    int32_t splice;
    int32_t ochBW;
    int32_t arrang;
    ST_OCH_SIZE och;
    int32_t htt, hsw, hfp;
    int32_t vtt, vsw, vfp;
    uint8_t use1och;        // 1: one OCH carries each piece; 0: a piece is split over two
};

// Panel description words derived from the plan (the on-chip OSD reads size and shape).
struct PanelSpec {
    uint32_t ACTHW, ACTVW, HTOTAL, VTOTAL, HSW, HBP, VSW, VBP;
    uint32_t VBOTX_MODE, VBOTX_LAYOUT;
    uint32_t OAOIHST, OAOIHED, OAOIVST, OAOIVED, ACTHST, ACTVST;
    uint32_t PANEL_HW, PANEL_VW, PANEL_HSHAPE, PANEL_VSHAPE;
};

struct OchTotal {
    int32_t htt;
    int32_t vtt;
};

namespace panel {

constexpr int64_t kPixelBudget = 10800000;  // pixels per frame one OCH carries
constexpr int64_t kTotalTolerance = 4096;
constexpr int32_t kHttFirst = 660;
constexpr int32_t kHttLast = 8280;
constexpr int64_t k8kArea = 0xA00000;       // 4096 x 2560: larger pieces need the 8K plan

// Splice-mode names as printed by the debug trace.
const char* splice_name(int splice);

// The frame-total table: every (htt, vtt) with htt a multiple of 4 in 660..8280 and
// |htt * vtt - 10,800,000| <= 4096, by htt then vtt ascending. Built once, thread-safe.
const std::vector<OchTotal>& och_total_table();

// First table pair with htt and vtt at or above the wanted ones; nullptr when none.
const OchTotal* find_och_total(int32_t htt, int32_t vtt);

// Steps of the plan, each usable alone.
// Pieces of the screen by splice mode (argument taken modulo 6); clears pnl first.
void set_pieces(ST_PANEL& pnl, int ledW, int ledH, int out1w, int out1h, int splice);
// Pixel area of the larger piece, in 64 bits (piece sizes are 16-bit, their products are not).
int64_t piece_area(const ST_PANEL& pnl);
// Table search with the two-OCH fall-back; writes totals, och size and use1och. Returns 1.
int och_diff(ST_PANEL& pnl, int* htt, int* vtt, int hblank, int vblank);
// Arrangement, blanking, totals and the final OCH size and offsets (pieces already set).
void plan_och(ST_PANEL& pnl);
// The whole plan: pieces, then OCH.
ST_PANEL plan(int ledW, int ledH, int out1w, int out1h, int splice);
// Whether the chip can show a planned layout: each OCH has an active area, that area with its
// sync and front porch fits in the totals, the totals fit the 16-bit timing registers, and
// the channels cover the whole LED screen (a window over it would otherwise fit nowhere).
bool showable(const ST_PANEL& pnl);
// Whether the chip can show an LED screen: the whole plan of it, showable.
bool shows(int ledW, int ledH, int out1w, int out1h, int splice);

// The seven layout words written back at image 0x566 (xoffs, yoffs, columns, rows,
// OCH width, OCH height, bandwidth mode).
std::array<uint16_t, 7> layout_words(const ST_PANEL& pnl);

// Panel description words from the plan.
PanelSpec spec(const ST_PANEL& pnl);

// The register writes that program the OCH timing generators and the V-by-One transmitter,
// in the order the chip receives them.
std::vector<RegWrite> register_writes(const ST_PANEL& pnl, const PanelSpec& ps);

}  // namespace panel
