#pragma once
// Requests that the scaler's apply pass (and the factory resets) raise for the input
// supervision and the FPGA thread. Those components poll these flags from their own threads
// and take a request (exchange it for 0) before serving it, putting it back only when the
// work could not be done, so a request raised during the work is served by the next pass;
// the flags are plain atomics with no ordering beyond the flag itself. They live in core so that both sides reach them without knowing each other.
#include <atomic>
#include <cstdint>

namespace scaler_req {
// Source supervision: write input p's custom EDID (request 1, done 0 until written).
extern std::atomic<uint8_t> edid_request[6];
extern std::atomic<uint8_t> edid_done[6];
// Counts the raised EDID requests of each input, so that a write knows whether a newer one
// came while it ran.
extern std::atomic<uint32_t> edid_generation[6];
// Asks for input p's custom EDID as its record is now (any thread). A write already running
// for p is followed by another one, so the EEPROM ends with the last record.
void raise_edid(int p);
// The supervision wrote the record it read at generation `gen`: marks the request done
// unless a newer one came meanwhile (then done stays 0 and the next pass writes again).
bool edid_written(int p, uint32_t gen);
// Consumes input p's served request: true when its EEPROM holds the newest EDID. A request
// raised while it is taken is left standing.
bool take_served_edid(int p);
// Source supervision: 1 while an EDID EEPROM is being written (a custom EDID or a repair).
extern std::atomic<uint8_t> eeprom_writing;
// Source supervision: re-select the audio source for the selected window. The supervision
// takes the request before it reads the window, so a request raised during the write is
// served by another one.
extern std::atomic<uint8_t> audio_select_request;
// FPGA thread: switch the LED output on or off (black-screen word changed).
extern std::atomic<uint8_t> output_status_dirty;
// The black-screen word as the apply pass last applied it: the LED output follows this
// value, never a word a tool wrote to the image and no pass has applied yet.
extern std::atomic<uint16_t> applied_black_screen;
// FPGA thread: rebuild and send the network parameter page (layout offsets changed).
extern std::atomic<uint8_t> net_para_dirty;
// The output-channel offsets (x in the low half, y in the high half) as last applied, seeded
// from the start's layout: the LED page adds these, never offsets a tool wrote to the image
// and no pass has applied yet. One word, so the page never takes x and y of different passes.
extern std::atomic<uint32_t> applied_och_offsets;
}  // namespace scaler_req

// LED-size hand-over with the FPGA thread: 0 idle, 1 size change requested (the FPGA thread
// blanks, then clears it), 2 the scaler has re-initialised its panel. Changed only under
// Utils::_led_para_init_mutex.
extern std::atomic<uint8_t> g_set_led_para;
// The step inside the current hand-over phase (under Utils::_led_para_init_mutex).
extern std::atomic<uint8_t> g_set_led_setup;
// The FPGA thread's blank ended and the LED output stays blanked until the scaler hands it
// back: set with g_set_led_para 1 -> 0, cleared when the hand-back is taken, when a new blank
// starts and when the FPGA is not running (under Utils::_led_para_init_mutex). A pass that
// sees no LED-size change still hands back while it is set.
extern std::atomic<bool> g_led_handback_owed;
// 1 while the FPGA restarts its output after the scaler re-initialised its panel.
extern std::atomic<uint8_t> g_freeze_out;
