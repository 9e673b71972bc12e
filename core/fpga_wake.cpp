#include "core/fpga_wake.h"

#include <condition_variable>
#include <mutex>

#include "platform/clock.h"

namespace {
std::mutex g_mutex;
std::condition_variable g_cv;
uint64_t g_wakes = 0;  // under g_mutex
// The panel tick's schedule (tick_schedule), under g_mutex; next_us 0: no panel tick runs.
uint64_t g_next_tick_us = 0;
u32 g_handed_ticks = 0;
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
        if (g_handed_ticks > 0)
            --g_handed_ticks;
    }
    g_cv.notify_all();
    return now;
}

void tick_schedule(uint64_t next_us, u32 handed)
{
    std::lock_guard<std::mutex> lk(g_mutex);
    g_next_tick_us = next_us;
    g_handed_ticks = handed;
}

u32 request_tick()
{
    const uint64_t now = platform::clock().now_us();
    std::lock_guard<std::mutex> lk(g_mutex);
    const uint64_t due = g_next_tick_us != 0 && now >= g_next_tick_us ? (now - g_next_tick_us) / kTimeTickUs + 1 : 0;
    return G_timeTicks.load() + g_handed_ticks + u32(due);
}

int32_t ticks_since(u32 stamp) { return int32_t(G_timeTicks.load() - stamp); }

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
