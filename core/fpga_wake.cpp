#include "core/fpga_wake.h"

#include <condition_variable>
#include <mutex>

#include "platform/clock.h"

namespace {
std::mutex g_mutex;
std::condition_variable g_cv;
uint64_t g_wakes = 0;  // under g_mutex
}  // namespace

void fpga_wake()
{
    {
        std::lock_guard<std::mutex> lk(g_mutex);
        ++g_wakes;
    }
    g_cv.notify_all();
}

u32 advance_tick()
{
    u32 now;
    {
        // Under the mutex: a waiter that found the count unchanged is already waiting.
        std::lock_guard<std::mutex> lk(g_mutex);
        now = ++G_timeTicks;
    }
    g_cv.notify_all();
    return now;
}

FpgaWakeStamp fpga_wake_stamp()
{
    std::lock_guard<std::mutex> lk(g_mutex);
    return {G_timeTicks.load(), g_wakes};
}

void fpga_wait_for_tick_or_wake(const FpgaWakeStamp& since, uint64_t us)
{
    std::unique_lock<std::mutex> lk(g_mutex);
    if (G_timeTicks.load() == since.ticks && g_wakes == since.wakes)
        platform::clock().wait_us(g_cv, lk, us);
}
