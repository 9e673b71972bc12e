#pragma once
// Clocks other than the real one.
#include <atomic>
#include <cstdint>

#include "platform/clock.h"

namespace platform {

// Virtual time for tests: a sleep advances the clock at once by its length, then gives the
// CPU away for a moment (a real sleep of at most 1 ms) so that polling loops do not spin.
// All threads share the one virtual time. Descriptor waits block in real time: a test moves
// the time past a deadline with advance_us and then wakes the waiter.
class VirtualClock : public Clock {
public:
    explicit VirtualClock(uint64_t start_us = 0) : now_(start_us) {}
    uint64_t now_us() override { return now_.load(); }
    void sleep_us(uint64_t us) override;
    // Like sleep_us when not notified within a moment: the whole wait passes at once.
    void wait_us(std::condition_variable& cv, std::unique_lock<std::mutex>& lk, uint64_t us) override;
    void advance_us(uint64_t us) { now_ += us; }
    // Total microseconds slept through this clock (every thread).
    uint64_t slept_us() const { return slept_.load(); }

private:
    std::atomic<uint64_t> now_;
    std::atomic<uint64_t> slept_{0};
};

// Real time sped up by a factor: sleeps take 1/scale of their length, now_us() runs scale
// times faster, and so do descriptor waits. Used by the simulated board for K57_TIME_SCALE.
class ScaledClock : public Clock {
public:
    explicit ScaledClock(uint64_t scale) : scale_(scale ? scale : 1) {}
    uint64_t now_us() override;
    void sleep_us(uint64_t us) override;
    void wait_us(std::condition_variable& cv, std::unique_lock<std::mutex>& lk, uint64_t us) override;
    int real_wait_ms(int ms) override;
    uint64_t scale() const { return scale_; }

private:
    uint64_t scale_;
};

}  // namespace platform
