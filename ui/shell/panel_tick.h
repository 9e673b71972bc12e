#pragma once
// The front panel's 10 ms tick, counted on the platform clock. The Qt timer only wakes the
// panel thread; each timeout runs the ticks that fell due since the last one, so the tick keeps
// the pace of the device's time at every time scale (K57_TIME_SCALE) and a late timeout makes
// up what it missed. After a long stall of the panel thread at most kMaxCatchUp ticks run at
// once and the rest is dropped, so the waits counted in ticks never fire as one burst.
#include <cstdint>

class PanelTick {
public:
    static constexpr uint64_t kTickUs = 10000;
    static constexpr uint32_t kMaxCatchUp = 50;  // half a second of device time

    explicit PanelTick(uint64_t now_us) : next_us_(now_us + kTickUs) {}

    // The ticks due at `now_us` (device time), at most kMaxCatchUp.
    uint32_t due(uint64_t now_us);

    // The real period of the timer at a time scale: 10 ms at scale 1, shorter as the scale
    // grows, never below the 1 ms Qt can keep.
    static int timer_interval_ms(uint64_t scale);

private:
    uint64_t next_us_;  // device time of the next tick
};
