#pragma once
// Shell commands. On hw they run through /bin/sh; on the simulated board they are recorded
// and emulated, never executed.
#include <string>

namespace platform {

class Shell {
public:
    virtual ~Shell() = default;
    // Runs a command line; returns its exit status (0..255), or -1 when it could not be started.
    virtual int run(const std::string& cmdline) = 0;
    // Runs a command line and returns what it printed (the popen road).
    virtual std::string capture(const std::string& cmdline, int* status = nullptr) = 0;
};

}  // namespace platform
