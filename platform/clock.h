#pragma once
// The one clock of the process. Every sleep and every wall-time read of the device
// goes through it, so that tests can run long hardware waits on virtual time.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace platform {

class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic microseconds since an arbitrary start.
    virtual uint64_t now_us() = 0;
    virtual void sleep_us(uint64_t us) = 0;
    // Waits on `cv` (lk held) until notified or `us` have passed on this clock. May return
    // early (spurious wake-ups): callers check their condition.
    virtual void wait_us(std::condition_variable& cv, std::unique_lock<std::mutex>& lk, uint64_t us)
    {
        cv.wait_for(lk, std::chrono::microseconds(us));
    }
    // The real milliseconds a descriptor wait (poll, epoll_wait) blocks for a time-out of `ms`
    // on this clock; -1 (none) stays -1. See platform/fd_wait.h.
    virtual int real_wait_ms(int ms) { return ms; }
};

// The installed clock (a real one unless a test or the simulated board installed another).
Clock& clock();
// Installs a clock; the caller keeps ownership and keeps it alive. nullptr restores the real clock.
void set_clock(Clock* c);

inline void sleep_us(uint64_t us) { clock().sleep_us(us); }
inline void sleep_ms(uint64_t ms) { clock().sleep_us(ms * 1000); }

// A bounded hardware wait: asks `done` until it holds (true) or `limit_us` have passed on the
// platform clock (false), sleeping `step_us` between looks.
template <class Done>
bool poll_until(Done done, uint64_t limit_us, uint64_t step_us)
{
    const uint64_t start = clock().now_us();
    while (!done()) {
        if (clock().now_us() - start >= limit_us)
            return false;
        clock().sleep_us(step_us);
    }
    return true;
}

}  // namespace platform
