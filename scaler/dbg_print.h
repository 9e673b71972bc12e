#pragma once
// Console output of the scaler: debug lines print only while g_debugSwitch is 254 (its start
// value); the few lines that always print use printf directly.
#include <cstdio>

#include "core/globals.h"

inline bool scaler_debug_on() { return g_debugSwitch.load() == 254; }

#define SCALER_DBG(...)                   \
    do {                                  \
        if (scaler_debug_on())            \
            std::printf(__VA_ARGS__);     \
    } while (0)
