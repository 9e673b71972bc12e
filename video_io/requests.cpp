#include "scaler/requests.h"

namespace scaler_req {
std::atomic<uint8_t> edid_request[6];
std::atomic<uint8_t> edid_done[6];
std::atomic<uint8_t> audio_select_request{0};
std::atomic<uint8_t> output_status_dirty{0};
std::atomic<uint8_t> net_para_dirty{0};
}  // namespace scaler_req

std::atomic<uint8_t> g_set_led_para{0};
std::atomic<uint8_t> g_set_led_setup{0};
std::atomic<uint8_t> g_freeze_out{0};
