// The whole device program on the simulated board: it starts in a fresh root, lays down its
// files, stays up, and ends on SIGTERM.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <thread>

#include "common/device_process.h"
#include "common/temp_dir.h"

namespace {

TEST(WholeProcess, StartsStaysUpAndEndsOnSigterm)
{
    const std::string exe = testutil::device_executable();
    ASSERT_FALSE(exe.empty()) << "K57_BUILD_DIR is not set";
    ASSERT_TRUE(testutil::file_exists(exe)) << exe;

    testutil::TempDir root("k57proc");
    testutil::DeviceProcess dev(testutil::DeviceProcess::sim_options(root.path()));
    ASSERT_TRUE(dev.start());

    // The root layout of a first start.
    for (const char* rel : {"sim/board.json", "data/configs/tcpip.ini", "data/ram_device_info",
                            "data/zeltaqn/log/kivEnglneLog"})
        EXPECT_TRUE(dev.wait_for_file(root.file(rel), 20000)) << rel << "\n" << dev.output();

    // Up for a while without falling over.
    EXPECT_FALSE(dev.wait_exit(1500)) << "ended early: exit " << dev.exit_code() << " signal "
                                      << dev.term_signal() << "\n" << dev.output();
    ASSERT_TRUE(dev.running());

    EXPECT_TRUE(dev.terminate(10000)) << dev.output();
    EXPECT_TRUE(dev.term_signal() == SIGTERM || (dev.exited() && dev.exit_code() == 0))
        << "exit " << dev.exit_code() << " signal " << dev.term_signal() << "\n" << dev.output();
    // Nothing it did may have reached a real reboot: the sim shell only records.
    EXPECT_EQ(testutil::read_file(root.file("sim/shell.log")).find("reboot"), std::string::npos);
}

}  // namespace
