#pragma once
// Looking up planned register writes in the layout, picture and pattern tests.
#include <cstdint>
#include <vector>

#include "scaler/panel_layout.h"

// Value written to one register id at one channel offset (last write wins); -1 when none.
inline int64_t written(const std::vector<RegWrite>& w, uint32_t id, uint32_t off = 0)
{
    int64_t v = -1;
    for (const RegWrite& r : w)
        if (r.id == id && r.choffs == off)
            v = r.value;
    return v;
}
