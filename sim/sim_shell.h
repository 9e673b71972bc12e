#pragma once
// The shell of the simulated board: nothing is ever executed. Each command line is appended
// to $K57_ROOT/sim/shell.log; the file commands whose effects the device relies on ("sync",
// "rm", "cp", "mv", "chmod") are carried out natively on rooted paths; every other command
// gets an emulated status ("ifconfig eth0" fails when board.json says "ethernet": false).
// "reboot" is recorded and ends the process with exit status 3.
// A line may chain commands with ";", "&&" and "||"; redirections are ignored.
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/shell.h"
#include "sim/ring.h"

namespace sim {

class BoardConfig;

class SimShell : public platform::Shell {
public:
    SimShell(std::string log_path, const BoardConfig& cfg);

    int run(const std::string& cmdline) override;
    std::string capture(const std::string& cmdline, int* status = nullptr) override;

    // What happens on "reboot" (default: flush and std::_Exit(3)). For in-process tests.
    void set_reboot_action(std::function<void()> fn);

    // The lines run by this object, the most recent kRingKeep (the log file keeps them all).
    std::vector<std::string> history() const;

private:
    int run_one(const std::vector<std::string>& argv);
    int do_rm(const std::vector<std::string>& argv);
    int do_cp(const std::vector<std::string>& argv);
    int do_mv(const std::vector<std::string>& argv);
    int do_chmod(const std::vector<std::string>& argv);
    void record(const std::string& line);

    std::string log_path_;
    const BoardConfig& cfg_;
    mutable std::mutex mu_;
    Ring<std::string> history_;
    std::function<void()> reboot_;
};

// Splits a command line into commands and words: simple quoting ('', ""), backslash escapes,
// separators ";", "&&", "||" as their own words; redirections ("&>x", ">x", "2>&1", "> x")
// are dropped. Exposed for tests.
std::vector<std::string> shell_words(const std::string& line);

}  // namespace sim
