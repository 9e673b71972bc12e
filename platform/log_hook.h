#pragma once
// Platform messages go to the device log through a hook that the core installs at start
// (the platform layer does not depend on the core). Without a hook they go to stderr.
// Levels are the log's: 0 critical, 1 error, 2 warning, 3 info, 4 debug.
#include <atomic>
#include <functional>
#include <string>

namespace platform {

enum LogLevel { kLogCritical = 0, kLogError = 1, kLogWarning = 2, kLogInfo = 3, kLogDebug = 4 };

using LogHook = std::function<void(int level, const std::string& message)>;
// Installs the hook (an empty function restores stderr). Call before the threads start.
void set_log_hook(LogHook hook);
void log(int level, const std::string& message);

// Logs a message the first time it is called with the given flag; for failures that
// would otherwise repeat on every access (an unmapped window, an absent knob).
void log_once(std::atomic_flag& flag, int level, const std::string& message);

}  // namespace platform
