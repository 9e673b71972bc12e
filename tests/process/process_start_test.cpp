// The whole device program on the simulated board: it starts in a fresh root, lays down its
// files, stays up, and ends on SIGTERM.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <dirent.h>
#include <set>
#include <string>
#include <thread>

#include "common/device_process.h"
#include "common/temp_dir.h"

namespace {

// A ThreadSanitizer build (this test's build is the device's) adds the runtime's own thread.
#if defined(__SANITIZE_THREAD__)
constexpr size_t kRuntimeThreads = 1;
#else
constexpr size_t kRuntimeThreads = 0;
#endif

// The names of the process's threads as ps -L shows them, one entry per thread.
std::multiset<std::string> thread_names(pid_t pid)
{
    std::multiset<std::string> names;
    const std::string dir = "/proc/" + std::to_string(pid) + "/task";
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return names;
    while (const dirent* e = ::readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        std::string comm = testutil::read_file(dir + "/" + e->d_name + "/comm");
        if (!comm.empty() && comm.back() == '\n')
            comm.pop_back();
        names.insert(comm);
    }
    ::closedir(d);
    return names;
}

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

    // Each thread it starts carries the name of its job; only the panel's keeps the program's.
    const std::set<std::string> jobs{"tcp-server", "udp-server", "at-server", "at-reply", "wifi-watch",
                                     "scaler",     "fpga",       "input-watch", "sim-board", "key-pipe"};
    std::multiset<std::string> names;
    const bool all_named = dev.wait_for(
        [&] {
            names = thread_names(dev.pid());
            for (const std::string& job : jobs)
                if (!names.count(job))
                    return false;
            return true;
        },
        20000, 100);
    std::string seen;
    for (const std::string& n : names)
        seen += " " + n;
    EXPECT_TRUE(all_named) << seen;
    EXPECT_EQ(names.count("tlxK57N"), 1 + kRuntimeThreads) << seen;

    EXPECT_TRUE(dev.terminate(10000)) << dev.output();
    EXPECT_TRUE(dev.term_signal() == SIGTERM || (dev.exited() && dev.exit_code() == 0))
        << "exit " << dev.exit_code() << " signal " << dev.term_signal() << "\n" << dev.output();
    // Nothing it did may have reached a real reboot: the sim shell only records.
    EXPECT_EQ(testutil::read_file(root.file("sim/shell.log")).find("reboot"), std::string::npos);
}

}  // namespace
