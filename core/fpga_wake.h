#pragma once
// Pacing of the FPGA thread. Its steps are paced by the 10 ms ticks, so when nothing is
// outstanding it waits for the next tick; a requester whose work should not wait that long
// (pass-through to the cards, LED-size hand-over, output and network page changes,
// brightness commands, the start flag) wakes it at once with fpga_wake().
#include <cstdint>

#include "core/globals.h"

// The GUI tick: advances G_timeTicks by one and wakes the FPGA thread. Returns the new count.
u32 advance_tick();

// One tick of G_timeTicks in device time.
constexpr uint64_t kTimeTickUs = 10000;
// The panel thread's tick schedule: `handed` ticks are due and about to run (each
// advance_tick takes one), and the next tick after them falls due at device time `next_us`.
void tick_schedule(uint64_t next_us, u32 handed);
// The tick a request made now is stamped with: G_timeTicks and the ticks already due at this
// device time that have not run yet (a stalled panel thread makes them up later). A delay
// counted in ticks from it counts from the request; it may lie ahead of G_timeTicks for a
// moment, so it is compared with ticks_since().
u32 request_tick();
// Ticks run since `stamp`; negative while the stamp lies ahead.
int32_t ticks_since(u32 stamp);
// Wakes the FPGA thread for a pass now. Any thread, any lock held.
void fpga_wake();

// What the FPGA thread had seen before its pass: a tick or a wake that comes after this
// stamp (also while the pass runs) ends the following wait at once.
struct FpgaWakeStamp {
    u32 ticks;
    uint64_t wakes;
};
FpgaWakeStamp fpga_wake_stamp();
// Returns on a tick or a wake after `since`, or after `us` on the platform clock.
void fpga_wait_for_tick_or_wake(const FpgaWakeStamp& since, uint64_t us);
