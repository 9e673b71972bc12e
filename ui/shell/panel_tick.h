#pragma once
// The front panel's 10 ms tick, counted on the platform clock. The Qt timer only wakes the
// panel thread; each timeout runs the ticks that fell due since the last one, so the tick keeps
// the pace of the device's time at every time scale (K57_TIME_SCALE) and a late timeout makes
// up what it missed. A stall of the panel thread is made up in full up to a bound in device
// time, half a second of real time at the device's time scale (0.5 s at scale 1, 50 s at scale
// 100): a busy machine delays the panel by milliseconds, which at a high scale are seconds of
// device time, and the waits counted in ticks must not lose them. Beyond the bound (the
// process was stopped) the backlog is dropped, so those waits never fire as one long burst.
#include <cstdint>

#include "core/fpga_wake.h"

class PanelTick {
public:
    static constexpr uint64_t kTickUs = kTimeTickUs;
    static constexpr uint64_t kCatchUpRealUs = 500000;  // the bound in real time

    // Ticks from device time `now_us` at time scale `scale` (1: real time).
    PanelTick(uint64_t now_us, uint64_t scale)
        : next_us_(now_us + kTickUs), max_catch_up_us_(kCatchUpRealUs * (scale > 1 ? scale : 1))
    {
    }

    // The ticks due at `now_us` (device time), at most max_catch_up() of them.
    uint32_t due(uint64_t now_us);
    // Runs `tick` for each tick due at `now_us`, after publishing the schedule, so that a
    // request meanwhile is stamped with its own tick (request_tick).
    template <class Tick>
    void run(uint64_t now_us, Tick&& tick)
    {
        uint32_t n = due(now_us);
        tick_schedule(next_us_, n);
        for (; n > 0; --n)
            tick();
    }
    // The most ticks one call makes up.
    uint32_t max_catch_up() const { return uint32_t(max_catch_up_us_ / kTickUs); }
    // Device time at which the tick after those handed out falls due.
    uint64_t next_us() const { return next_us_; }

    // The real period of the timer at a time scale: 10 ms at scale 1, shorter as the scale
    // grows, never below the 1 ms Qt can keep.
    static int timer_interval_ms(uint64_t scale);

private:
    uint64_t next_us_;  // device time of the next tick
    uint64_t max_catch_up_us_;
};
