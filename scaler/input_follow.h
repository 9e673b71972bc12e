#pragma once
// Input port following: how a port's measurement and its receiver's timing classify it.
// Plain computation; the c331_manage members that measure and apply are in input_follow.cpp.
#include <cstdint>

#include "scaler/c331_manage.h"

namespace portclass {

// A raw measurement is in range when it is neither 0 nor within two of all ones.
bool in_range16(uint32_t raw);
bool in_range24(uint32_t raw);

struct Class {
    uint32_t state;   // PI_STATE
    uint32_t scan;    // PI_SCAN_MODE
};
// fv in Hz, pclk in Hz; lanes below 1 count as 1.
Class classify(int port, const ST_HDMI_INFO& h, double fv, double pclk);

// Active rectangle {hst, hw, vst, vw}: act halves the horizontals below state 4, iact not.
void active_rect(const ST_HDMI_INFO& h, uint32_t state, uint32_t act[4], uint32_t iact[4]);

// Same timing: htt and vtt within 2, third count and period within 100, equal widths.
bool unchanged(const ST_PORT_INFO& prev, const ST_PORT_INFO& cur);

// V-by-One lane mask by lane count.
uint32_t lane_mask(int32_t lanes);

}  // namespace portclass
