#pragma once
// Virtual time that can run something once at the next sleep: a chip going away, or a user
// applying a setting, in the middle of a step.
#include <functional>

#include "platform/virtual_clock.h"

namespace testutil {

class HookClock : public platform::VirtualClock {
public:
    std::function<void()> at_next_sleep;
    void sleep_us(uint64_t us) override
    {
        if (at_next_sleep) {
            auto f = std::move(at_next_sleep);
            at_next_sleep = nullptr;
            f();
        }
        platform::VirtualClock::sleep_us(us);
    }
};

}  // namespace testutil
