#include "ui/shell/panel_tick.h"

uint32_t PanelTick::due(uint64_t now_us)
{
    if (now_us < next_us_)
        return 0;
    const uint64_t n = (now_us - next_us_) / kTickUs + 1;
    if (n > max_catch_up()) {
        next_us_ = now_us + kTickUs;  // the backlog of a stall is dropped
        return max_catch_up();
    }
    next_us_ += n * kTickUs;
    return uint32_t(n);
}

int PanelTick::timer_interval_ms(uint64_t scale)
{
    const uint64_t ms = scale > 1 ? kTickUs / 1000 / scale : kTickUs / 1000;
    return ms > 0 ? int(ms) : 1;
}
