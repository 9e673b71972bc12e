#include "core/c331_shared.h"

#include <condition_variable>
#include <mutex>

#include "platform/clock.h"

QMutex c331_shared::c331_lock;
std::atomic<int> c331_shared::param_changed{0};
std::atomic<uint32_t> c331_shared::asked_changes{0};
c331_shared::EepromHeld c331_shared::eeprom_held[6];
std::atomic<c331_ports*> c331_ports::live{nullptr};

namespace {
std::mutex g_wake_mutex;
std::condition_variable g_wake_cv;
bool g_wake_pending = false;  // under g_wake_mutex
}  // namespace

void c331_wake()
{
    {
        std::lock_guard<std::mutex> lk(g_wake_mutex);
        g_wake_pending = true;
    }
    g_wake_cv.notify_one();
}

void c331_wait_for_wake(uint64_t us)
{
    std::unique_lock<std::mutex> lk(g_wake_mutex);
    if (!g_wake_pending)
        platform::clock().wait_us(g_wake_cv, lk, us);
    g_wake_pending = false;
}
