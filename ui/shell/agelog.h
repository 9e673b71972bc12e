#pragma once
// The aging log: one line per sample, "MM-dd hh:mm r42 r40 r43" (FPGA registers, decimal),
// at most kAgeLogMax lines with the oldest dropped, and five counters of how much register 43
// rose between consecutive samples (modulo 256).
#include <QString>
#include <functional>

#include "core/globals.h"

constexpr int kAgeLogMax = 3360;

extern u32 factoryage_log_diff3;     // rise 1..2
extern u32 factoryage_log_diff5;     // rise 3..4
extern u32 factoryage_log_diff10;    // rise 5..9
extern u32 factoryage_log_diff20;    // rise 10..19
extern u32 factoryage_log_diffmore;  // rise 20 and more

// Appends one line under factoryage_log_mutex() and counts the rise of register 43.
void agelog_append(const QString& stamp, int r42, int r40, int r43);

// What the sampler needs of the FPGA component; installed by whoever owns it. While not
// installed no sample is taken.
struct AgeProbe {
    std::function<bool()> fpga_running;                          // run state 3
    std::function<bool(int& r40, int& r42, int& r43)> read_regs;  // chip 0 registers, from the mirror
};
extern AgeProbe g_age_probe;
// Set by the aging-log page while it is open: called after each new sample.
extern std::function<void()> g_agelog_page_update;
