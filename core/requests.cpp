#include "core/requests.h"

namespace scaler_req {
std::atomic<uint8_t> edid_request[6];
std::atomic<uint8_t> edid_done[6];
std::atomic<uint32_t> edid_generation[6];
std::atomic<uint8_t> eeprom_writing{0};
std::atomic<uint8_t> audio_select_request{0};
std::atomic<uint8_t> output_status_dirty{0};
std::atomic<uint16_t> applied_black_screen{0};
std::atomic<uint8_t> net_para_dirty{0};
std::atomic<uint32_t> applied_och_offsets{0};

void raise_edid(int p)
{
    if (p < 0 || p >= 6)
        return;
    ++edid_generation[p];  // counted before done drops: see edid_written
    edid_done[p] = 0;
    edid_request[p] = 1;
}

// A raise counts the generation before it clears done: a raise that has counted before the
// second look is seen by it, one that counts after it also clears done after the store.
bool edid_written(int p, uint32_t gen)
{
    if (edid_generation[p] != gen)
        return false;
    edid_done[p] = 1;
    if (edid_generation[p] != gen) {
        edid_done[p] = 0;
        return false;
    }
    return true;
}

// Done is cleared before a request is raised, so a done that dropped while the request was
// taken belongs to a newer request, which is raised again.
bool take_served_edid(int p)
{
    if (!edid_request[p] || !edid_done[p])
        return false;
    edid_request[p] = 0;
    if (!edid_done[p]) {
        edid_request[p] = 1;
        return false;
    }
    return true;
}
}  // namespace scaler_req

std::atomic<uint8_t> g_set_led_para{0};
std::atomic<uint8_t> g_set_led_setup{0};
std::atomic<bool> g_led_handback_owed{false};
std::atomic<uint8_t> g_freeze_out{0};
