#pragma once
// Requests that the apply pass raises for the source-supervision and FPGA components. Those
// components poll these flags from their own threads and clear what they serve; the flags
// are plain atomics with no ordering beyond the flag itself.
#include <atomic>
#include <cstdint>

namespace scaler_req {
// Source supervision: write input p's custom EDID (request 1, done 0 until written).
extern std::atomic<uint8_t> edid_request[6];
extern std::atomic<uint8_t> edid_done[6];
// Source supervision: re-select the audio source for the selected window.
extern std::atomic<uint8_t> audio_select_request;
// FPGA thread: switch the LED output on or off (black-screen word changed).
extern std::atomic<uint8_t> output_status_dirty;
// FPGA thread: rebuild and send the network parameter page (layout offsets changed).
extern std::atomic<uint8_t> net_para_dirty;
}  // namespace scaler_req

// LED-size hand-over with the FPGA thread: 0 idle, 1 size change requested (the FPGA thread
// blanks, then clears it), 2 the scaler has re-initialised its panel. Changed only under
// Utils::_led_para_init_mutex.
extern std::atomic<uint8_t> g_set_led_para;
// The step inside the current hand-over phase (under Utils::_led_para_init_mutex).
extern std::atomic<uint8_t> g_set_led_setup;
// 1 while the FPGA restarts its output after the scaler re-initialised its panel.
extern std::atomic<uint8_t> g_freeze_out;
