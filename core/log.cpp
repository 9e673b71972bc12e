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
    static std::mutex* m = new std::mutex;  // never destroyed, like the log's state
    return *m;
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
        f = fopen(path.c_str(), "ae");  // not inherited by the shell commands
        if (!f) {
            make_parent_dirs(path);
            f = fopen(path.c_str(), "ae");  // not inherited by the shell commands
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

// Which lines the rate limit covers: DEBUG and WARNING lines on every thread, and every line
// of a thread that serves remote peers (devlog::limit_this_thread). A record line (an update
// installed, the factory settings restored) is limited by its own kind only, never by the flood
// of other kinds.
enum class Limit { None, Kind, All };

// Lines of one kind (the same text once every number is left out, see kind_key) are written
// at most kBurst per second; the rest are counted, and one line "N similar lines suppressed"
// follows when the second is over. Over every kind together at most kTotalBurst lines a second
// are written (summaries included); the rest are counted in one line "N lines dropped" when
// the second is over. A flood of frames thus costs counters, not file writes, and cannot push
// the device's history out, whatever varies in its lines.
constexpr int kBurst = 5;
constexpr int kTotalBurst = 20;
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

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool in_number(char c)
{
    return is_digit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' || c == ':' || c == '_';
}

// The kind of a line: its level and its text with every number left out, whatever its base
// or form: a run of letters, digits, '.', ':' and '_' that holds a digit ("12", "0x1f",
// "f100", "127.0.0.1:5005") is a number.
size_t kind_key(_LogType level, const std::string& message)
{
    std::string shape;
    shape.reserve(message.size());
    for (size_t i = 0; i < message.size();) {
        size_t end = i;
        bool digit = false;
        while (end < message.size() && in_number(message[end]))
            digit = is_digit(message[end++]) || digit;
        if (end == i)
            shape.push_back(message[end++]);
        else if (!digit)
            shape.append(message, i, end - i);
        i = end;
    }
    const size_t h = std::hash<std::string>()(shape) ^ (size_t(level) << 1);
    return h ? h : 1;
}

std::string without_newline(std::string text)
{
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

class RateLimit {
public:
    // Whether this line is written; writes the summaries of windows that ended.
    bool admit(_LogType level, const std::string& message, Limit limit, uint64_t now, LogFile& file)
    {
        flush_ended(now, file);
        if (limit == Limit::None)
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
        if (k->written >= kBurst) {
            if (k->suppressed++ == 0)
                k->sample = message;
            return false;
        }
        if (limit == Limit::All && !take_total(message, 1))
            return false;
        ++k->written;
        return true;
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
    // Counts `lines` against this second's share of every kind; false (and counted as
    // dropped) when it is used up.
    bool take_total(const std::string& message, int lines)
    {
        if (total_written_ < kTotalBurst) {
            ++total_written_;
            return true;
        }
        if (total_dropped_ == 0)
            total_sample_ = message;
        total_dropped_ += lines;
        return false;
    }
    // A clock set back (a test's) ends every window.
    void flush_ended(uint64_t now, LogFile& file)
    {
        if (now >= checked_us_ && now - checked_us_ < kWindowUs / 4)
            return;
        checked_us_ = now;
        if (now - total_start_us_ >= kWindowUs) {
            if (total_dropped_)
                file.append(devlog::format_line(local_stamp(), LOG_WARNING,
                                                std::to_string(total_dropped_) +
                                                    " lines dropped, more than " + std::to_string(kTotalBurst) +
                                                    " a second (" + without_newline(total_sample_) + ")\n"),
                            now);
            total_start_us_ = now;
            total_written_ = 0;
            total_dropped_ = 0;
        }
        for (Kind& k : kinds_)
            if (k.key && now - k.start_us >= kWindowUs) {
                summarise(k, now, file);
                k = Kind();
            }
    }
    void summarise(const Kind& k, uint64_t now, LogFile& file)
    {
        if (k.suppressed == 0)
            return;
        const std::string line = std::to_string(k.suppressed) + " similar lines suppressed (" +
                                 without_newline(k.sample) + ")\n";
        if (take_total(line, k.suppressed))
            file.append(devlog::format_line(local_stamp(), k.level, line), now);
    }

    Kind kinds_[kKinds];
    uint64_t checked_us_ = 0;      // of the last look for ended windows
    uint64_t total_start_us_ = 0;  // of the current one-second window over every kind
    int total_written_ = 0;
    int total_dropped_ = 0;
    std::string total_sample_;     // the first dropped line's message
};

thread_local bool t_limit_all = false;  // this thread serves remote peers

Limit limit_of(_LogType level, bool record)
{
    if (!t_limit_all && level != LOG_DEBUG && level != LOG_WARNING)
        return Limit::None;
    return record ? Limit::Kind : Limit::All;
}

// Never destroyed: detached threads still log while the process exits.
struct LogState {
    LogFile file;      // under log_mutex
    RateLimit limit;   // under log_mutex
};
LogState& state()
{
    static LogState* s = new LogState;
    return *s;
}

}  // namespace

namespace {

void write_line(_LogType level, std::string message, bool record)
{
    message.push_back('\n');
    {
        std::lock_guard<std::mutex> lock(log_mutex());
        const uint64_t now = platform::clock().now_us();
        LogState& st = state();
        if (!st.limit.admit(level, message, limit_of(level, record), now, st.file))
            return;
        st.file.append(devlog::format_line(local_stamp(), level, message), now);
    }
    // The message is printed as text, never used as a format.
    if (devlog::echoes(level, g_debugSwitch.load())) {
        fwrite(message.data(), 1, message.size(), stdout);
        fflush(stdout);
    }
}

}  // namespace

void writeLogMsg(_LogType level, std::string message) { write_line(level, std::move(message), false); }

void writeLogRecord(_LogType level, std::string message) { write_line(level, std::move(message), true); }

void devlog::limit_this_thread() { t_limit_all = true; }
