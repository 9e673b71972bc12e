// The clocks and the device root.
#include <gtest/gtest.h>

#include <chrono>

#include "platform/virtual_clock.h"
#include "sim/sim_board.h"
#include "temp_root.h"

namespace {

TEST(Clocks, VirtualTimeRunsLongWaitsAtOnce)
{
    platform::VirtualClock vc(1000);
    platform::set_clock(&vc);
    const auto t0 = std::chrono::steady_clock::now();
    platform::sleep_ms(2000);   // a hardware wait of 2 s
    platform::sleep_us(5);
    platform::set_clock(nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(500));
    EXPECT_EQ(1000u + 2000005u, vc.now_us());
    EXPECT_EQ(2000005u, vc.slept_us());
    EXPECT_NE(&vc, &platform::clock());
}

TEST(Clocks, TimeScaleKnobSpeedsUpTheSimulatedBoard)
{
    TempRoot root;
    setenv("K57_TIME_SCALE", "1000", 1);
    {
        auto board = sim::SimBoard::install_for_test(root.path());
        const uint64_t n0 = platform::clock().now_us();
        const auto t0 = std::chrono::steady_clock::now();
        platform::sleep_ms(1000);
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(300));
        EXPECT_GE(platform::clock().now_us() - n0, 1000000u);
    }
    unsetenv("K57_TIME_SCALE");
    const uint64_t a = platform::clock().now_us();   // the real clock is back
    platform::sleep_us(2000);
    EXPECT_LT(platform::clock().now_us() - a, 1000000u);
}

TEST(Paths, RootedResolvesAbsolutePathsOnly)
{
    TempRoot restored_after;  // the root of the other tests comes back at the end
    setenv("K57_ROOT", "/tmp/dev-root//", 1);
    platform::reload_root();
    EXPECT_EQ("/tmp/dev-root/data/x", platform::rooted("/data/x"));
    EXPECT_EQ("rel/x", platform::rooted("rel/x"));
    setenv("K57_ROOT", "/", 1);
    platform::reload_root();
    EXPECT_EQ("/dev/mem", platform::rooted("/dev/mem"));
    unsetenv("K57_ROOT");
    platform::reload_root();
    EXPECT_EQ("", platform::root());
}

}  // namespace
