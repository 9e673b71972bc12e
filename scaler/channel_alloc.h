#pragma once
// Multi-window channel allocation: places up to six windows on the output-channel (OCH) grid
// of the current panel arrangement, gives a window a spare channel where two would share one,
// and decides which channel is composed onto which grid position.
//
// The functions in namespace challoc are plain computation; the c331_manage members that
// rebuild the window list from the image and fill the manager's arrays are in
// channel_alloc.cpp.
#include <cstdint>

#include "scaler/panel_layout.h"

struct ST_RECT {
    int32_t x, y, w, h;
};

// A window rectangle as the window geometry keeps it: horizontal start, width, vertical start,
// height.
struct _ImageWindowDef_st {
    int32_t hst, hw, vst, vw;
};

struct ST_MWIN {
    int32_t wincnt;
    ST_RECT* pwin;
};

constexpr uint8_t kOchUnused = 0xFF;
constexpr int kMaxOch = 8;
constexpr int kMaxWindows = 6;

// One listed window (by list position, not by window slot).
struct ST_WIN_INFO {
    uint16_t x, y, w, h;       // on the OCH canvas, offsets included; compared as signed 16-bit
    uint8_t attr;              // rotate/mirror 0..3
    uint8_t output;            // bit 0 black, bit 1 freeze
    uint8_t winEn;
    uint8_t input;             // source 0..5 (for a crop, the crop row's source)
    uint8_t crop;              // crop-table row when the source is a crop
    uint8_t priority;          // layer 0..5
    uint8_t ochLst[kMaxOch];   // chip output channels, kOchUnused when unused
    uint8_t ochPosLst[kMaxOch];
    uint8_t totalh, totalv;
};

namespace challoc {

// OCH rectangles of the panel's arrangement in raster order; returns their count (0..8).
int och_rects(const ST_PANEL& pnl, ST_RECT out[kMaxOch]);

// Grid columns that carry the LED picture: one where a single channel is as wide as the LED
// (one channel per piece, pieces not split side by side), else every column of the grid (a
// CP21 screen wider than its 640-pixel channels takes both).
int carried_columns(const ST_PANEL& pnl);

// Finds the channels of one window and fills ochLst/ochPosLst/totalh/totalv (the lists must
// be reset by the caller). Returns false when the window would need more than 8 channels:
// the allocation stops there. A window whose corners lie in no channel gets no channel.
bool alloc_window(ST_WIN_INFO& wi, const ST_PANEL& pnl, const ST_RECT* rects, int och_cnt, int n);

// Reset the channel lists of count records.
void reset_lists(ST_WIN_INFO* wi, int count);

// Gives spare channels to windows that share one, and fills overlay[8] (1-based grid
// position each channel is composed onto). Only real channels (below 8) are compared.
void overlay(ST_WIN_INFO* wi, int wincnt, uint32_t overlay[kMaxOch]);

// Takes every channel from the lowest-layer windows (image layer 0 is the top) until the
// windows' channels fit the eight, marking them in dropped[]; a window shown in part would
// be a torn picture. Returns the channels the windows wanted.
int drop_lowest_layers(ST_WIN_INFO* wi, int wincnt, bool dropped[kMaxWindows]);

// Windows that share a layer get the lowest free one, in list order.
void dedupe_layers(ST_WIN_INFO* wi, int wincnt);

// Dot-by-dot mode word of a window record to the chip's code.
uint32_t dbd_code(uint16_t mode);

// Window margin inside its channel grid (0 left, 1 right, 2 top, 3 bottom).
int32_t win_offset(const ST_WIN_INFO& wi, int32_t och_w, int32_t och_h, int side);

// Number of valid channels at the head of a window's list (entries before an unused one,
// at most totalh x totalv).
int used_channels(const ST_WIN_INFO& wi);

// Source number to the chip's input port: {3, 2, 1, 0, 5, 4}; 255 for a source above 5.
uint8_t input_to_port(int source);

}  // namespace challoc
