// The device log: line layout, the 511-character cut, console echo by level and debug switch,
// deletion at 10 MiB, whole lines from many threads, and the rate limit of the lines peers cause.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "common/temp_dir.h"
#include "core/globals.h"
#include "core/log.h"
#include "platform/paths.h"
#include "platform/virtual_clock.h"

namespace {

class LogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("K57_ROOT", root_.path().c_str(), 1);
        platform::reload_root();
        saved_debug_ = g_debugSwitch.load();
    }
    void TearDown() override { g_debugSwitch = saved_debug_; }

    std::string log_path() const { return root_.file("data/zeltaqn/log/kivEnglneLog"); }
    std::vector<std::string> lines() const
    {
        std::vector<std::string> out;
        std::istringstream in(testutil::read_file(log_path()));
        for (std::string l; std::getline(in, l);)
            out.push_back(l);
        return out;
    }

    testutil::TempDir root_;
    u8 saved_debug_ = 254;
};

TEST_F(LogTest, LineLayoutAndLevelTags)
{
    writeLogMsg(LOG_WARNING, "link lost on port 3");  // creates the missing directories
    writeLogMsg(LOG_CRITICAL, "c");
    writeLogMsg(LOG_ERROR, "e");
    writeLogMsg(LOG_INFO, "i");
    writeLogMsg(LOG_DEBUG, "d");
    writeLogMsg(static_cast<_LogType>(9), "untagged");

    const std::vector<std::string> l = lines();
    ASSERT_EQ(l.size(), 6u);
    const std::regex first(R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\] \[VIRARADUDAZOVO\] )"
                           R"(\[WARNING \] # VELAMSG # link lost on port 3)");
    EXPECT_TRUE(std::regex_match(l[0], first)) << l[0];
    const size_t stamp = l[0].find(']') + 1;
    EXPECT_EQ(l[1].substr(stamp), " [VIRARADUDAZOVO] [CRITICAL] # VELAMSG # c");
    EXPECT_EQ(l[2].substr(stamp), " [VIRARADUDAZOVO] [ERROR   ] # VELAMSG # e");
    EXPECT_EQ(l[3].substr(stamp), " [VIRARADUDAZOVO] [INFO    ] # VELAMSG # i");
    EXPECT_EQ(l[4].substr(stamp), " [VIRARADUDAZOVO] [DEBUG   ] # VELAMSG # d");
    EXPECT_EQ(l[5].substr(stamp), "# VELAMSG # untagged");
}

TEST_F(LogTest, LongMessageIsCutTo511CharactersWithoutNewline)
{
    const std::string line = devlog::format_line("[2026-01-02 03:04:05]", LOG_INFO,
                                                 std::string(600, 'x') + "\n");
    EXPECT_EQ(line.size(), 511u);
    EXPECT_NE(line.back(), '\n');

    writeLogMsg(LOG_INFO, std::string(600, 'y'));
    writeLogMsg(LOG_INFO, "next");
    const std::string file = testutil::read_file(log_path());
    // The cut line has no newline and runs straight into the next one.
    ASSERT_GT(file.size(), 512u);
    EXPECT_EQ(file.substr(500, 11), std::string(11, 'y'));
    EXPECT_EQ(file[511], '[');
    EXPECT_GT(file.find('\n'), 511u);

    // A message that just fits keeps its newline.
    const std::string fits = devlog::format_line("[2026-01-02 03:04:05]", LOG_INFO,
                                                 std::string(511 - 62 - 1, 'z') + "\n");
    EXPECT_EQ(fits.size(), 511u);
    EXPECT_EQ(fits.back(), '\n');
}

TEST_F(LogTest, ConsoleEchoFollowsLevelAndDebugSwitch)
{
    struct Case { unsigned debug; bool crit, err, warn, info, dbg; };
    const Case cases[] = {
        {0, false, false, false, false, false},  {1, false, true, false, false, false},
        {2, false, true, false, false, false},   {3, false, true, true, true, false},
        {4, false, true, true, true, true},      {254, false, true, true, true, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(devlog::echoes(LOG_CRITICAL, c.debug), c.crit) << c.debug;
        EXPECT_EQ(devlog::echoes(LOG_ERROR, c.debug), c.err) << c.debug;
        EXPECT_EQ(devlog::echoes(LOG_WARNING, c.debug), c.warn) << c.debug;
        EXPECT_EQ(devlog::echoes(LOG_INFO, c.debug), c.info) << c.debug;
        EXPECT_EQ(devlog::echoes(LOG_DEBUG, c.debug), c.dbg) << c.debug;
        EXPECT_FALSE(devlog::echoes(static_cast<_LogType>(7), c.debug));
    }

    g_debugSwitch = 254;
    testing::internal::CaptureStdout();
    writeLogMsg(LOG_CRITICAL, "never on the console");
    writeLogMsg(LOG_ERROR, "100% %s %n");  // printed as text, not as a format
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "100% %s %n\n");

    g_debugSwitch = 0;
    testing::internal::CaptureStdout();
    writeLogMsg(LOG_ERROR, "quiet");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(lines().size(), 3u);  // every line still reaches the file
}

TEST_F(LogTest, FileIsDeletedWhenItReaches10MiB)
{
    writeLogMsg(LOG_INFO, "first");
    const std::string path = log_path();
    const size_t line_len = testutil::read_file(path).size();

    // Just below the limit after the next line: the file stays.
    ASSERT_EQ(truncate(path.c_str(), devlog::kMaxFileSize - long(line_len) - 1), 0);
    writeLogMsg(LOG_INFO, "first");
    EXPECT_TRUE(testutil::file_exists(path));

    // The line that makes it reach the limit is written, then the file is removed ...
    ASSERT_EQ(truncate(path.c_str(), devlog::kMaxFileSize - long(line_len)), 0);
    writeLogMsg(LOG_INFO, "first");
    EXPECT_FALSE(testutil::file_exists(path));

    // ... and the next line starts a new file.
    writeLogMsg(LOG_INFO, "fresh");
    ASSERT_EQ(lines().size(), 1u);
    EXPECT_NE(lines()[0].find("# VELAMSG # fresh"), std::string::npos);
}

TEST_F(LogTest, LinesFromManyThreadsStayWhole)
{
    g_debugSwitch = 0;
    constexpr int kThreads = 8, kLines = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i)
                writeLogMsg(LOG_INFO, "thread " + std::to_string(t) + " line " +
                                          std::to_string(i) + std::string(100, 'p'));
        });
    }
    for (auto& th : threads)
        th.join();

    const std::vector<std::string> l = lines();
    ASSERT_EQ(l.size(), size_t(kThreads * kLines));
    const std::regex whole(R"(\[[^\]]+\] \[VIRARADUDAZOVO\] \[INFO    \] # VELAMSG # )"
                           R"(thread \d line \d+p{100})");
    for (const std::string& line : l)
        ASSERT_TRUE(std::regex_match(line, whole)) << line;
}

// Counts the lines holding `text`.
size_t count_of(const std::vector<std::string>& lines, const std::string& text)
{
    size_t n = 0;
    for (const std::string& l : lines)
        n += l.find(text) != std::string::npos;
    return n;
}

// A minute of lines a peer causes, each second 2000 of them, all different: numbers of any
// base, addresses, file codes, every level. 20 lines a second reach the file, each second ends
// with one line counting the rest, and what was written before or is a record line stays.
TEST_F(LogTest, PeerLinesAreLimitedWhateverVariesInThem)
{
    g_debugSwitch = 0;
    platform::VirtualClock clock(1000000);
    platform::set_clock(&clock);
    writeLogMsg(LOG_INFO, "networkManage: listening on TCP port 5005");
    std::thread peer([&clock] {
        devlog::limit_this_thread();
        const char* codes[] = {"APPL", "KERN", "LOGO", "OSDS", "ALIS"};
        for (int second = 0; second < 60; ++second) {
            for (int i = 0; i < 400; ++i) {
                char hex[16];
                std::snprintf(hex, sizeof hex, "%x", 0xF200 + second * 400 + i);
                writeLogMsg(LOG_DEBUG, std::string("remote: frame for 0x") + hex + " not served, dropped");
                writeLogMsg(LOG_DEBUG, "networkManage: client 10.0." + std::to_string(i % 250) + "." +
                                           std::to_string(second) + " connected");
                writeLogMsg(LOG_INFO, std::string("remote: file write ") + codes[i % 5] + " of " +
                                          std::to_string(i) + " bytes started");
                writeLogMsg(LOG_ERROR, std::string("remote: cannot create /data/x") + codes[i % 5] + hex);
                writeLogMsg(LOG_WARNING, std::string("remote: settings ") + hex + " refused");
            }
            if (second == 30)
                writeLogRecord(LOG_INFO, "remote: application update installed, restarting");
            clock.advance_us(1000000);
        }
        writeLogMsg(LOG_DEBUG, "a line after the flood");
    });
    peer.join();
    platform::set_clock(nullptr);

    const std::vector<std::string> l = lines();
    EXPECT_LT(l.size(), 60u * 30) << "at most the cap and its summaries each second";
    EXPECT_EQ(count_of(l, "listening on TCP port 5005"), 1u);
    EXPECT_EQ(count_of(l, "application update installed"), 1u);
    EXPECT_GE(count_of(l, "lines dropped, more than 20 a second"), 59u);
    EXPECT_GE(count_of(l, "1980 lines dropped, more than 20 a second (remote: frame for 0x"), 59u);
}

// Lines of the device's own threads at INFO and ERROR are not limited; DEBUG lines are, by
// kind whatever the base of their numbers.
TEST_F(LogTest, OwnInfoLinesPassAndDebugLinesOfOneKindAreLimited)
{
    g_debugSwitch = 0;
    platform::VirtualClock clock(1000000);
    platform::set_clock(&clock);
    for (int i = 0; i < 30; ++i)
        writeLogMsg(LOG_INFO, "fpga: chip " + std::to_string(i) + " running");
    for (int i = 0; i < 30; ++i)
        writeLogMsg(LOG_DEBUG, "remote: frame for 0xf" + std::string(1, char('a' + i % 6)) + "0" +
                                   std::to_string(i) + " not served");
    clock.advance_us(2000000);
    writeLogMsg(LOG_INFO, "done");
    platform::set_clock(nullptr);
    const std::vector<std::string> l = lines();
    EXPECT_EQ(count_of(l, "running"), 30u);
    EXPECT_EQ(count_of(l, "[DEBUG   ] # VELAMSG # remote: frame for"), 5u);
    EXPECT_EQ(count_of(l, "25 similar lines suppressed (remote: frame for 0x"), 1u);
}

}  // namespace
