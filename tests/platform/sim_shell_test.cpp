// The simulated board's shell: the record, the file commands under the root, emulated statuses.
#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>

#include "sim/sim_board.h"
#include "temp_root.h"

namespace {

using Words = std::vector<std::string>;

TEST(ShellWords, QuotesSeparatorsAndRedirections)
{
    EXPECT_EQ((Words{"ifconfig", "eth0"}), sim::shell_words("ifconfig eth0 &>/dev/null"));
    EXPECT_EQ((Words{"a", "b c", "d", "&&", "e"}), sim::shell_words("a 'b c' \"d\" && e > /tmp/x 2>&1"));
    EXPECT_EQ((Words{"x", ";", "y", "||", "z", "&"}), sim::shell_words("x;y || z &"));
    EXPECT_EQ((Words{"rm", "a b"}), sim::shell_words("rm a\\ b"));
    EXPECT_EQ((Words{"echo", "unterminated"}), sim::shell_words("echo 'unterminated"));
}

class SimShellTest : public ::testing::Test {
protected:
    TempRoot root;
    std::unique_ptr<sim::SimBoard> board = sim::SimBoard::install_for_test(root.path());
    platform::Shell& sh = platform::board().shell();
};

TEST_F(SimShellTest, EveryLineIsRecordedNothingIsRun)
{
    EXPECT_EQ(0, sh.run("route add default gw 192.168.1.1 metric 100"));
    EXPECT_EQ(0, sh.run("hwclock -w"));
    int status = -1;
    EXPECT_EQ("", sh.capture("date -s '2024-01-01 00:00:00'", &status));
    EXPECT_EQ(0, status);
    EXPECT_EQ("route add default gw 192.168.1.1 metric 100\nhwclock -w\ndate -s '2024-01-01 00:00:00'\n",
              root.read("/sim/shell.log"));
    EXPECT_EQ(3u, board->sim_shell().history().size());
}

TEST_F(SimShellTest, EthernetPresenceComesFromBoardJson)
{
    EXPECT_EQ(0, sh.run("ifconfig eth0 &>/dev/null"));
    root.write("/sim/board.json", R"({"ethernet": false})");
    board->poll();
    EXPECT_NE(0, sh.run("ifconfig eth0 &>/dev/null"));
    EXPECT_EQ(0, sh.run("ifconfig wlan0 up"));
    // Chains follow the statuses.
    EXPECT_EQ(0, sh.run("ifconfig eth0 || rm -f /data/flag"));
    root.write("/data/flag", "1");
    EXPECT_NE(0, sh.run("ifconfig eth0 && rm -f /data/flag"));
    EXPECT_TRUE(root.exists("/data/flag"));
}

TEST_F(SimShellTest, RemoveActsUnderTheRootOnly)
{
    root.write("/data/modes/custom_mode1", "x");
    root.write("/data/modes/custom_mode2", "y");
    root.write("/data/keep", "k");
    EXPECT_NE(0, sh.run("rm /data/modes"));              // a directory needs -r
    EXPECT_EQ(0, sh.run("rm -f /data/modes/custom_mode*"));
    EXPECT_FALSE(root.exists("/data/modes/custom_mode1"));
    EXPECT_FALSE(root.exists("/data/modes/custom_mode2"));
    EXPECT_TRUE(root.exists("/data/modes"));
    EXPECT_NE(0, sh.run("rm /data/missing"));
    EXPECT_EQ(0, sh.run("rm -f /data/missing"));
    EXPECT_EQ(0, sh.run("rm -rf /data/modes"));
    EXPECT_FALSE(root.exists("/data/modes"));

    // Escapes from the root are refused, whatever the spelling.
    const std::string outside = root.path() + "-outside";
    std::filesystem::create_directories(outside);
    EXPECT_NE(0, sh.run("rm -rf /../" + std::filesystem::path(outside).filename().string()));
    EXPECT_TRUE(std::filesystem::exists(outside));
    std::filesystem::remove_all(outside);
    EXPECT_TRUE(root.exists("/data/keep"));
}

TEST_F(SimShellTest, CopyMoveAndChmod)
{
    root.write("/tmp/up/tlxK57N", "new app");
    root.write("/data/app/old", "old");
    EXPECT_EQ(0, sh.run("cp /tmp/up/tlxK57N /data/app/"));
    EXPECT_EQ("new app", root.read("/data/app/tlxK57N"));
    EXPECT_EQ(0, sh.run("cp /data/app/old /data/app/tlxK57N"));   // overwrite
    EXPECT_EQ("old", root.read("/data/app/tlxK57N"));
    EXPECT_NE(0, sh.run("cp /tmp/up /data/copy"));                 // a directory needs -r
    EXPECT_EQ(0, sh.run("cp -r /tmp/up /data/copy"));
    EXPECT_EQ("new app", root.read("/data/copy/tlxK57N"));

    EXPECT_EQ(0, sh.run("mv /data/app/old /data/app/renamed"));
    EXPECT_FALSE(root.exists("/data/app/old"));
    EXPECT_EQ("old", root.read("/data/app/renamed"));
    EXPECT_NE(0, sh.run("mv /data/none /data/app/x"));

    // A folder board.json names full: writes into it fail, the files stay as they were.
    root.write("/sim/board.json", R"({"write_fail": ["/data/app/"]})");
    board->poll();
    EXPECT_NE(0, sh.run("cp /tmp/up/tlxK57N /data/app/full"));
    EXPECT_NE(0, sh.run("mv /data/app/renamed /data/app/moved"));
    EXPECT_FALSE(root.exists("/data/app/full"));
    EXPECT_EQ("old", root.read("/data/app/renamed"));
    EXPECT_EQ(ENOSPC, board->write_fault(root.at("/data/app/a/b")));
    EXPECT_EQ(0, board->write_fault(root.at("/data/appx")));
    EXPECT_EQ(0, sh.run("cp /tmp/up/tlxK57N /data/appx"));
    root.write("/sim/board.json", "{}");
    board->poll();

    EXPECT_EQ(0, sh.run("chmod 640 /data/app/tlxK57N"));
    struct stat st{};
    ::stat(root.at("/data/app/tlxK57N").c_str(), &st);
    EXPECT_EQ(0640u, st.st_mode & 07777);
    EXPECT_EQ(0, sh.run("chmod +x /data/app/tlxK57N"));
    ::stat(root.at("/data/app/tlxK57N").c_str(), &st);
    EXPECT_EQ(0751u, st.st_mode & 07777);
    EXPECT_EQ(0, sh.run("chmod -R 700 /data/copy"));
    ::stat(root.at("/data/copy/tlxK57N").c_str(), &st);
    EXPECT_EQ(0700u, st.st_mode & 07777);
    EXPECT_NE(0, sh.run("chmod bogus /data/app/tlxK57N"));
    EXPECT_NE(0, sh.run("chmod 755 /data/none"));
    EXPECT_EQ(0, sh.run("sync"));
}

TEST_F(SimShellTest, RebootIsRecordedThenTheProcessEndsWithStatus3)
{
    EXPECT_EXIT(platform::board().shell().run("reboot"), ::testing::ExitedWithCode(3), "");
    EXPECT_EQ("reboot\n", root.read("/sim/shell.log"));

    int reboots = 0;
    board->sim_shell().set_reboot_action([&] { ++reboots; });
    EXPECT_EQ(0, sh.run("sync; reboot"));
    EXPECT_EQ(1, reboots);
}

TEST(SimShellNoRoot, FileCommandsAreRefusedWithoutARoot)
{
    TempRoot root;
    auto board = sim::SimBoard::install_for_test(root.path());
    root.write("/victim", "v");
    unsetenv("K57_ROOT");
    platform::reload_root();
    // With the root gone a path would name this machine's own files.
    EXPECT_NE(0, board->shell().run("rm -f " + root.at("/victim")));
    EXPECT_TRUE(root.exists("/victim"));
}

}  // namespace
