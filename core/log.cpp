#include "core/log.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>

#include "core/globals.h"
#include "platform/log_hook.h"
#include "platform/clock.h"
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

namespace {

// The log file, kept open between lines; reopened when the root changes, after the size
// cut, and when the file was removed or replaced behind the log's back (checked at most once
// a second). Under log_mutex.
struct LogFile {
    FILE* f = nullptr;
    std::string path;
    ino_t inode = 0;
    uint64_t checked_us = 0;

    void close()
    {
        if (f)
            fclose(f);
        f = nullptr;
    }
    bool still_ours(uint64_t now)
    {
        if (now - checked_us < 1000000)
            return true;
        checked_us = now;
        struct stat st;
        return ::stat(path.c_str(), &st) == 0 && st.st_ino == inode;
    }
    FILE* get(const std::string& want, uint64_t now)
    {
        if (f && (want != path || !still_ours(now)))
            close();
        if (f)
            return f;
        path = want;
        f = fopen(path.c_str(), "a");
        if (!f) {
            make_parent_dirs(path);
            f = fopen(path.c_str(), "a");
            if (!f)
                return nullptr;
        }
        struct stat st;
        inode = fstat(fileno(f), &st) == 0 ? st.st_ino : 0;
        checked_us = now;
        return f;
    }
    // Appends one line; the file is removed once it reaches the size limit.
    void append(const std::string& line, uint64_t now)
    {
        FILE* out = get(platform::rooted(devlog::kLogPath), now);
        if (!out)
            return;
        fwrite(line.data(), 1, line.size(), out);
        fflush(out);
        struct stat st;
        if (fstat(fileno(out), &st) == 0 && st.st_size >= devlog::kMaxFileSize) {
            close();
            remove(path.c_str());
        }
    }
};

// Repeated DEBUG and WARNING lines of one kind (the same text once its numbers are left
// out) are written at most kBurst per second; the rest are counted, and one line
// "N similar lines suppressed" follows when the second is over. A flood of dropped frames
// thus costs a counter, not a file write, and cannot push the device's history out.
constexpr int kBurst = 5;
constexpr uint64_t kWindowUs = 1000000;
constexpr size_t kKinds = 32;

struct Kind {
    size_t key = 0;           // 0: free
    _LogType level = LOG_DEBUG;
    uint64_t start_us = 0;    // of the current one-second window
    int written = 0;
    int suppressed = 0;
    std::string sample;       // a suppressed line's message, for the summary
};

size_t kind_key(_LogType level, const std::string& message)
{
    std::string shape;
    shape.reserve(message.size());
    for (char c : message)
        if (c < '0' || c > '9')
            shape.push_back(c);
    const size_t h = std::hash<std::string>()(shape) ^ (size_t(level) << 1);
    return h ? h : 1;
}

class RateLimit {
public:
    // Whether this line is written; writes the summaries of windows that ended.
    bool admit(_LogType level, const std::string& message, uint64_t now, LogFile& file)
    {
        flush_ended(now, file);
        if (level != LOG_DEBUG && level != LOG_WARNING)
            return true;
        const size_t key = kind_key(level, message);
        Kind* k = find(key);
        if (!k) {
            k = take_slot(now, file);
            *k = Kind();
            k->key = key;
            k->level = level;
            k->start_us = now;
        }
        if (k->written < kBurst) {
            ++k->written;
            return true;
        }
        if (k->suppressed++ == 0)
            k->sample = message;
        return false;
    }

private:
    Kind* find(size_t key)
    {
        for (Kind& k : kinds_)
            if (k.key == key)
                return &k;
        return nullptr;
    }
    Kind* take_slot(uint64_t now, LogFile& file)
    {
        Kind* oldest = &kinds_[0];
        for (Kind& k : kinds_) {
            if (k.key == 0)
                return &k;
            if (k.start_us < oldest->start_us)
                oldest = &k;
        }
        summarise(*oldest, now, file);
        return oldest;
    }
    void flush_ended(uint64_t now, LogFile& file)
    {
        if (now < next_check_us_)
            return;
        next_check_us_ = now + kWindowUs / 4;
        for (Kind& k : kinds_)
            if (k.key && now - k.start_us >= kWindowUs) {
                summarise(k, now, file);
                k = Kind();
            }
    }
    static void summarise(const Kind& k, uint64_t now, LogFile& file)
    {
        if (k.suppressed == 0)
            return;
        std::string sample = k.sample;
        if (!sample.empty() && sample.back() == '\n')
            sample.pop_back();
        file.append(devlog::format_line(local_stamp(), k.level,
                                        std::to_string(k.suppressed) + " similar lines suppressed (" +
                                            sample + ")\n"),
                    now);
    }

    Kind kinds_[kKinds];
    uint64_t next_check_us_ = 0;
};

// Never destroyed: the device's detached threads may still log while the process exits.
LogFile& g_file = *new LogFile;       // under log_mutex
RateLimit& g_limit = *new RateLimit;  // under log_mutex

}  // namespace

void writeLogMsg(_LogType level, std::string message)
{
    message.push_back('\n');
    {
        std::lock_guard<std::mutex> lock(log_mutex());
        const uint64_t now = platform::clock().now_us();
        if (!g_limit.admit(level, message, now, g_file))
            return;
        g_file.append(devlog::format_line(local_stamp(), level, message), now);
    }
    // The message is printed as text, never used as a format.
    if (devlog::echoes(level, g_debugSwitch.load())) {
        fwrite(message.data(), 1, message.size(), stdout);
        fflush(stdout);
    }
}
