#pragma once
// The device log: one time-stamped line per call appended to "/data/zeltaqn/log/kivEnglneLog"
// (under the device root), with a level tag; echoed to the console by level and g_debugSwitch.
// The file is kept open and deleted once it reaches 10 MiB, so the next line starts a new one.
// Repeated DEBUG and WARNING lines of one kind (the same text but for its numbers) are
// limited to a few per second, counted in one line "N similar lines suppressed (...)", and
// these lines of every kind together to a few dozen per second, counted in one line "N lines
// dropped". On a thread that serves remote peers every line is limited so, whatever its level.
#include <cstddef>
#include <string>

enum _LogType {
    LOG_CRITICAL = 0,  // never echoed
    LOG_ERROR = 1,     // echoed while g_debugSwitch is not 0
    LOG_WARNING = 2,   // echoed while g_debugSwitch is above 2
    LOG_INFO = 3,      // echoed while g_debugSwitch is above 2
    LOG_DEBUG = 4,     // echoed while g_debugSwitch is above 3
};

// Safe from every thread: one lock covers the rate limit, the append and the size check.
void writeLogMsg(_LogType level, std::string message);
// A line that records a lasting change of the device (an update installed, the factory
// settings restored): limited only by repeats of its own kind, never dropped for a flood of
// other lines.
void writeLogRecord(_LogType level, std::string message);

namespace devlog {
constexpr const char* kLogPath = "/data/zeltaqn/log/kivEnglneLog";
constexpr size_t kLineBuffer = 512;     // a line holds at most kLineBuffer - 1 characters
constexpr long kMaxFileSize = 0xA00000;  // 10 MiB: the file is deleted on reaching it

// The line as written to the file for a given time stamp text (used by writeLogMsg, and by
// tests that check the layout without depending on the clock).
std::string format_line(const std::string& stamp, _LogType level, const std::string& message);
// Whether a message of this level is echoed at this debug level.
bool echoes(_LogType level, unsigned debug_switch);
// Every line the calling thread writes from now on goes through the rate limit, whatever
// its level: a thread serving remote peers calls it first, so no peer can flood the log.
void limit_this_thread();
// Routes the platform layer's messages into this log. Called once at start, before threads.
void install_platform_hook();
}  // namespace devlog
