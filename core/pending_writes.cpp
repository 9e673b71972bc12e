#include "core/pending_writes.h"

#include <QMutexLocker>
#include <atomic>
#include <cstring>

#include "core/TlxRamPara.h"
#include "core/c331_shared.h"
#include "core/log.h"
#include "core/ram_map.h"
#include "core/requests.h"
#include "platform/clock.h"

namespace pending_writes {
namespace {

constexpr uint32_t kPollMs = 10;

std::atomic<int> g_finishing{0};
std::atomic<int> g_stores{0};
std::atomic<bool> g_panel_waiting{false};

// A change not yet applied, or applied and not yet in the file. Bytes a remote RAM write put
// in the image without asking for an apply are not waited for: nothing would write them.
bool param_file_behind()
{
    TlxRamPara* store = TlxRamPara::p_tlxrampara_config;
    if (!store)
        return false;
    QMutexLocker lk(&c331_shared::c331_lock);
    if (c331_shared::param_changed.load() != 0)
        return true;
    if (store->remote_write_pending())
        return false;
    return std::memcmp(store->ram_image + RAM_VOLATILE_END, store->ram_shadow + RAM_VOLATILE_END,
                       RAM_IMAGE_SIZE - RAM_VOLATILE_END) != 0;
}

bool eeprom_behind()
{
    if (scaler_req::eeprom_writing.load() != 0)
        return true;
    for (int p = 0; p < 6; ++p)
        if (scaler_req::edid_request[p] && !scaler_req::edid_done[p])
            return true;
    return false;
}

// A remote slot change signalled and not yet carried out (its mode files not yet written).
bool slot_change_behind()
{
    TlxRamPara* store = TlxRamPara::p_tlxrampara_config;
    return store && store->slot_change_queued();
}

}  // namespace

bool any() { return g_stores.load() > 0 || param_file_behind() || eeprom_behind() || slot_change_behind(); }

StoreUnderWay::StoreUnderWay() { ++g_stores; }
StoreUnderWay::~StoreUnderWay() { --g_stores; }

bool restart_waiting() { return g_finishing.load() > 0 || g_panel_waiting.load(); }

void set_restart_waiting(bool on) { g_panel_waiting = on; }

bool finish()
{
    struct Waiting {
        Waiting() { ++g_finishing; }
        ~Waiting() { --g_finishing; }
    } waiting;
    const uint64_t start = platform::clock().now_us();
    while (any()) {
        if (platform::clock().now_us() - start >= uint64_t(kBoundMs) * 1000) {
            writeLogMsg(LOG_WARNING, "restart: writes still under way after " + std::to_string(kBoundMs) + " ms");
            return false;
        }
        platform::sleep_ms(kPollMs);
    }
    return true;
}

}  // namespace pending_writes
