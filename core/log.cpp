#include "core/log.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "core/globals.h"
#include "platform/log_hook.h"
#include "platform/paths.h"

namespace {

const char* level_tag(_LogType level)
{
    switch (level) {
    case LOG_CRITICAL: return " [VIRARADUDAZOVO] [CRITICAL] ";
    case LOG_ERROR: return " [VIRARADUDAZOVO] [ERROR   ] ";
    case LOG_WARNING: return " [VIRARADUDAZOVO] [WARNING ] ";
    case LOG_INFO: return " [VIRARADUDAZOVO] [INFO    ] ";
    case LOG_DEBUG: return " [VIRARADUDAZOVO] [DEBUG   ] ";
    }
    return "";
}

// Appends as much of `text` as fits so that `line` stays within the line buffer.
void append_cut(std::string& line, const std::string& text)
{
    const size_t room = devlog::kLineBuffer - 1 - line.size();
    line.append(text, 0, text.size() < room ? text.size() : room);
}

std::string local_stamp()
{
    char buf[devlog::kLineBuffer];
    const time_t now = time(nullptr);
    struct tm tmv;
    localtime_r(&now, &tmv);
    const size_t n = strftime(buf, sizeof buf, "[%Y-%m-%d %X]", &tmv);
    return std::string(buf, n);
}

// Creates every missing directory of the file path's parent.
void make_parent_dirs(const std::string& file)
{
    for (size_t pos = file.find('/', 1); pos != std::string::npos; pos = file.find('/', pos + 1)) {
        const std::string dir = file.substr(0, pos);
        if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST)
            return;
    }
}

std::mutex& log_mutex()
{
    static std::mutex m;
    return m;
}

}  // namespace

namespace devlog {

std::string format_line(const std::string& stamp, _LogType level, const std::string& message)
{
    std::string line;
    line.reserve(kLineBuffer);
    append_cut(line, stamp);
    append_cut(line, level_tag(level));
    append_cut(line, "# VELAMSG # ");
    append_cut(line, message);
    return line;
}

bool echoes(_LogType level, unsigned debug_switch)
{
    switch (level) {
    case LOG_CRITICAL: return false;
    case LOG_ERROR: return debug_switch != 0;
    case LOG_WARNING:
    case LOG_INFO: return debug_switch > 2;
    case LOG_DEBUG: return debug_switch > 3;
    }
    return false;
}

void install_platform_hook()
{
    platform::set_log_hook([](int level, const std::string& message) {
        writeLogMsg(static_cast<_LogType>(level), message);
    });
}

}  // namespace devlog

void writeLogMsg(_LogType level, std::string message)
{
    message.push_back('\n');
    const std::string line = devlog::format_line(local_stamp(), level, message);

    // The message is printed as text, never used as a format.
    if (devlog::echoes(level, g_debugSwitch.load())) {
        fwrite(message.data(), 1, message.size(), stdout);
        fflush(stdout);
    }

    const std::string path = platform::rooted(devlog::kLogPath);
    std::lock_guard<std::mutex> lock(log_mutex());
    FILE* f = fopen(path.c_str(), "a");
    if (!f) {
        make_parent_dirs(path);
        f = fopen(path.c_str(), "a");
        if (!f)
            return;
    }
    fwrite(line.data(), 1, line.size(), f);
    fflush(f);
    const long size = ftell(f);
    fclose(f);
    if (size >= devlog::kMaxFileSize)
        remove(path.c_str());
}
