#pragma once
// Window geometry of the scaler: scaling ratios, shrink phases, the split of an output window
// over its output channels, frame-store byte counts per write mode, filter choices and the
// packing of field numbers. Plain computation, callable without a chip; the c331_manage
// members that use it live in window_output.cpp and ich_budget.cpp.
//
// Ratios are 16.16 fixed point (65536 = 1.0) and always computed in 64 bits: the products
// of a 16-bit size and 65536 do not fit 32 bits.
#include <cstdint>

#include "scaler/channel_alloc.h"

// One slot of the per-channel split of an output window: column i horizontally, row i
// vertically; the flags mark the first and last non-empty column and row.
struct _ImageWindowDef2_St {
    int32_t hst, hw, vst, vw;
    int32_t h_first, h_last, v_first, v_last;
};

// Per axis: mode 0 none, 1 shrink, 2 zoom, and the ratio of that mode (the other one 0).
struct _ScalingSt {
    int32_t h_mode, v_mode, h_shrink, v_shrink, h_zoom, v_zoom;
};

namespace wingeom {

constexpr int32_t kUnity = 65536;

void calc_scaling(_ImageWindowDef_st iwin, _ImageWindowDef_st owin, _ScalingSt* out);

// Input-side shrink ratio of one axis: 65536 (none) unless o >= 1 and i > o.
int32_t shrink_ratio(int32_t i, int32_t o);
// Sub-pixel start phase of a shrunk axis from its start; 0 when not shrunk or at 256.
int32_t shrink_phase(int32_t start, int32_t ratio);

// Splits one axis of an output window over n channels of size cw into slots (start, size,
// first, last), as calc_oact does per axis.
void split_axis(int32_t st, int32_t w, int32_t cw, int n, int32_t* s, int32_t* sz, int32_t* first, int32_t* last);
void calc_oact(_ImageWindowDef_st owin, _ImageWindowDef2_St* oact, int cols, int rows, int32_t cw, int32_t ch);

// Bytes of n pixels in a frame-store write mode (1: 5 pixels in 16 bytes, 2: 3 in 8 with
// the line padded to whole groups, 3: 2 bytes, other: 4 bytes).
int64_t pixel_bytes(int64_t n, uint32_t mode);
// Byte offset of pixel x from the start of a stored line, where a read begins: in mode 2 the
// byte pixel x starts at inside its group of three, never rounded up to the next group (that
// would begin the read up to two pixels late, and read as far past the part's end).
int64_t pixel_offset(int64_t x, uint32_t mode);
// Write / read control value of a write mode: 128, 1, 17, 0.
uint32_t wmode_ctrl(uint32_t mode);

// Five field-buffer numbers packed as the field-select registers take them.
uint32_t pack_fields(const uint32_t f[5]);

// Filter choices by ratio.
int hshrink_set(int32_t ratio);
int vshrink_row(int32_t ratio);

// Input channels a window of this dot-by-dot code needs on a port (0 for none).
int ich_cost(uint32_t dbd_code, uint32_t port);

}  // namespace wingeom
