// The process clock: real by default; tests and the simulated board may install another.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <ctime>

#include "platform/clock.h"
#include "platform/virtual_clock.h"

namespace platform {
namespace {

uint64_t monotonic_us()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000000u + uint64_t(ts.tv_nsec) / 1000u;
}

// Sleeps the whole length even when signals (SIGIO of the knob) interrupt it.
void real_sleep_us(uint64_t us)
{
    timespec ts{time_t(us / 1000000u), long(us % 1000000u) * 1000};
    while (nanosleep(&ts, &ts) == -1 && errno == EINTR) {
    }
}

class RealClock : public Clock {
public:
    uint64_t now_us() override { return monotonic_us(); }
    void sleep_us(uint64_t us) override { real_sleep_us(us); }
};

// Never destroyed: the device's threads still sleep through it while the process exits.
Clock& real_clock()
{
    static RealClock* c = new RealClock;
    return *c;
}

std::atomic<Clock*> g_clock{nullptr};  // nullptr: the real clock

}  // namespace

Clock& clock()
{
    Clock* c = g_clock.load(std::memory_order_acquire);
    return c ? *c : real_clock();
}

void set_clock(Clock* c) { g_clock.store(c, std::memory_order_release); }

void VirtualClock::sleep_us(uint64_t us)
{
    now_ += us;
    slept_ += us;
    real_sleep_us(std::min<uint64_t>(us, 1000));
}

void VirtualClock::wait_us(std::condition_variable& cv, std::unique_lock<std::mutex>& lk, uint64_t us)
{
    if (cv.wait_for(lk, std::chrono::microseconds(std::min<uint64_t>(us, 1000))) == std::cv_status::timeout) {
        now_ += us;
        slept_ += us;
    }
}

void ScaledClock::wait_us(std::condition_variable& cv, std::unique_lock<std::mutex>& lk, uint64_t us)
{
    cv.wait_for(lk, std::chrono::microseconds(us / scale_));
}

// Rounded up: a short wait never becomes a busy loop of zero time-outs.
int ScaledClock::real_wait_ms(int ms)
{
    return ms <= 0 ? ms : int((uint64_t(ms) + scale_ - 1) / scale_);
}

uint64_t ScaledClock::now_us() { return monotonic_us() * scale_; }

void ScaledClock::sleep_us(uint64_t us) { real_sleep_us(us / scale_); }

}  // namespace platform
