// The recording shell of the simulated board.
#include "sim/sim_shell.h"

#include <fcntl.h>
#include <glob.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/log_hook.h"
#include "platform/paths.h"
#include "sim/board_config.h"

namespace fs = std::filesystem;

namespace sim {
namespace {

bool is_separator(const std::string& w) { return w == ";" || w == "&&" || w == "||" || w == "&"; }

bool starts_with(const std::string& s, const char* p) { return s.rfind(p, 0) == 0; }

// Redirections: "&>x", ">x", ">>x", "2>&1", "<x" carry their target; ">" alone takes the next word.
bool is_redirection(const std::string& w, bool* takes_next)
{
    size_t i = 0;
    if (starts_with(w, "&>"))
        i = 2;
    else {
        while (i < w.size() && isdigit(static_cast<unsigned char>(w[i])))
            ++i;
        if (i >= w.size() || (w[i] != '>' && w[i] != '<'))
            return false;
        ++i;
        if (i < w.size() && w[i] == '>')
            ++i;
    }
    *takes_next = i == w.size();
    return true;
}

// A path argument under the root. Empty when it must not be touched (a ".." component).
std::string sim_path(const std::string& arg)
{
    const fs::path p(arg);
    for (const auto& part : p)
        if (part == "..")
            return {};
    return platform::rooted(arg.empty() || arg[0] != '/' ? "/" + arg : arg);
}

// Expands a rooted pattern; a pattern without matches stays as it is (as sh does).
std::vector<std::string> expand(const std::string& rooted_pattern)
{
    if (rooted_pattern.find_first_of("*?[") == std::string::npos)
        return {rooted_pattern};
    glob_t g{};
    std::vector<std::string> out;
    if (glob(rooted_pattern.c_str(), 0, nullptr, &g) == 0)
        for (size_t i = 0; i < g.gl_pathc; ++i)
            out.emplace_back(g.gl_pathv[i]);
    globfree(&g);
    if (out.empty())
        out.push_back(rooted_pattern);
    return out;
}

// Splits argv into option letters (words starting with '-') and operands, the operands
// rooted and expanded. False when an operand is refused.
bool parse_args(const std::vector<std::string>& argv, std::string* opts, std::vector<std::string>* paths)
{
    for (size_t i = 1; i < argv.size(); ++i) {
        const std::string& a = argv[i];
        if (a.size() > 1 && a[0] == '-' && paths->empty()) {
            *opts += a.substr(1);
            continue;
        }
        const std::string r = sim_path(a);
        if (r.empty())
            return false;
        for (auto& e : expand(r))
            paths->push_back(e);
    }
    return true;
}

bool has(const std::string& opts, const char* any) { return opts.find_first_of(any) != std::string::npos; }

// "cp/mv [options] SRC... DST": the rooted sources and the target. With several sources
// the target must be a directory.
struct Transfer {
    std::string opts;
    std::vector<std::string> srcs;
    fs::path dst;
    bool dst_dir = false;
    fs::path target_for(const std::string& src) const { return dst_dir ? dst / fs::path(src).filename() : dst; }
};

bool parse_transfer(const std::vector<std::string>& argv, Transfer* t)
{
    if (!parse_args(argv, &t->opts, &t->srcs) || t->srcs.size() < 2)
        return false;
    t->dst = t->srcs.back();
    t->srcs.pop_back();
    std::error_code ec;
    t->dst_dir = fs::is_directory(t->dst, ec);
    return t->srcs.size() == 1 || t->dst_dir;
}

// "755", "+x", "u+rw", "a-w", "go=r".
bool apply_mode(const std::string& spec, fs::perms cur, fs::perms* out)
{
    char* end = nullptr;
    long oct = std::strtol(spec.c_str(), &end, 8);
    if (!spec.empty() && *end == '\0') {
        if (oct < 0 || oct > 07777)
            return false;
        *out = fs::perms(oct);
        return true;
    }
    size_t i = 0;
    unsigned who = 0;
    for (; i < spec.size() && std::string("ugoa").find(spec[i]) != std::string::npos; ++i)
        who |= spec[i] == 'u' ? 0700 : spec[i] == 'g' ? 070 : spec[i] == 'o' ? 07 : 0777;
    if (i >= spec.size() || std::string("+-=").find(spec[i]) == std::string::npos)
        return false;
    const char op = spec[i++];
    unsigned bits = 0;
    for (; i < spec.size(); ++i) {
        if (spec[i] == 'r') bits |= 0444;
        else if (spec[i] == 'w') bits |= 0222;
        else if (spec[i] == 'x') bits |= 0111;
        else return false;
    }
    if (!who)
        who = 0777;
    unsigned m = unsigned(cur) & 07777;
    bits &= who;
    m = op == '+' ? (m | bits) : op == '-' ? (m & ~bits) : ((m & ~who) | bits);
    *out = fs::perms(m);
    return true;
}

}  // namespace

std::vector<std::string> shell_words(const std::string& line)
{
    std::vector<std::string> words;
    std::string cur;
    bool in_word = false, drop_next = false;
    auto flush = [&] {
        if (!in_word)
            return;
        bool takes_next = false;
        if (drop_next)
            drop_next = false;
        else if (is_redirection(cur, &takes_next))
            drop_next = takes_next;
        else
            words.push_back(cur);
        cur.clear();
        in_word = false;
    };
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\'' || c == '"') {
            const size_t close = line.find(c, i + 1);
            const size_t stop = close == std::string::npos ? line.size() : close;
            cur += line.substr(i + 1, stop - i - 1);
            in_word = true;
            i = stop;
        } else if (c == '\\' && i + 1 < line.size()) {
            cur += line[++i];
            in_word = true;
        } else if (c == ' ' || c == '\t' || c == '\n') {
            flush();
        } else if (c == ';' || ((c == '&' || c == '|') && i + 1 < line.size() && line[i + 1] == c)) {
            flush();
            words.push_back(c == ';' ? ";" : std::string(2, c));
            if (c != ';')
                ++i;
        } else if (c == '&' && (i + 1 >= line.size() || line[i + 1] != '>') && !(in_word && cur.back() == '>')) {
            flush();  // a trailing "&" runs in the background: here just another separator
            words.push_back("&");
        } else {
            cur += c;
            in_word = true;
        }
    }
    flush();
    return words;
}

SimShell::SimShell(std::string log_path, const BoardConfig& cfg) : log_path_(std::move(log_path)), cfg_(cfg)
{
    reboot_ = [] {
        std::fflush(nullptr);
        std::_Exit(3);
    };
}

void SimShell::set_reboot_action(std::function<void()> fn)
{
    std::lock_guard<std::mutex> lk(mu_);
    reboot_ = std::move(fn);
}

std::vector<std::string> SimShell::history() const
{
    std::lock_guard<std::mutex> lk(mu_);
    return history_.to_vector();
}

void SimShell::record(const std::string& line)
{
    std::lock_guard<std::mutex> lk(mu_);
    history_.push(line);
    if (FILE* f = std::fopen(log_path_.c_str(), "a")) {
        std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
}

int SimShell::run(const std::string& cmdline)
{
    record(cmdline);
    const std::vector<std::string> words = shell_words(cmdline);
    int status = 0;
    std::string pending_op = ";";
    std::vector<std::string> argv;
    auto finish = [&] {
        if (argv.empty())
            return;
        const bool skip = (pending_op == "&&" && status != 0) || (pending_op == "||" && status == 0);
        if (!skip)
            status = run_one(argv);
        argv.clear();
    };
    for (const auto& w : words) {
        if (is_separator(w)) {
            finish();
            pending_op = w;
        } else {
            argv.push_back(w);
        }
    }
    finish();
    return status;
}

std::string SimShell::capture(const std::string& cmdline, int* status)
{
    const int s = run(cmdline);
    if (status)
        *status = s;
    return {};
}

int SimShell::run_one(const std::vector<std::string>& argv)
{
    const std::string& cmd = argv[0];
    const bool file_cmd = cmd == "rm" || cmd == "cp" || cmd == "mv" || cmd == "chmod";
    if (file_cmd && platform::root().empty()) {
        // Without K57_ROOT these would act on this machine's own files.
        platform::log(platform::kLogWarning, "sim shell: no K57_ROOT, not carrying out " + cmd);
        return 1;
    }
    if (cmd == "rm") return do_rm(argv);
    if (cmd == "cp") return do_cp(argv);
    if (cmd == "mv") return do_mv(argv);
    if (cmd == "chmod") return do_chmod(argv);
    if (cmd == "sync") {
        const std::string dir = platform::root().empty() ? "/" : platform::root();
        int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            syncfs(fd);
            ::close(fd);
        }
        return 0;
    }
    if (cmd == "reboot") {
        std::function<void()> fn;
        {
            std::lock_guard<std::mutex> lk(mu_);
            fn = reboot_;
        }
        if (fn)
            fn();
        return 0;
    }
    if (cmd == "ifconfig" && argv.size() >= 2 && argv[1] == "eth0")
        return cfg_.ethernet() ? 0 : 1;
    if (cmd == "false")
        return 1;
    return 0;  // everything else "succeeds" without running
}

int SimShell::do_rm(const std::vector<std::string>& argv)
{
    std::string opts;
    std::vector<std::string> paths;
    if (!parse_args(argv, &opts, &paths))
        return 1;
    const bool recursive = has(opts, "rR"), force = has(opts, "f");
    int status = 0;
    for (const auto& p : paths) {
        std::error_code ec;
        const auto st = fs::symlink_status(p, ec);
        if (!fs::exists(st)) {
            if (!force)
                status = 1;
            continue;
        }
        if (fs::is_directory(st) && !recursive) {
            status = 1;
            continue;
        }
        if (cfg_.write_fault(p)) {  // a partition that takes no write removes nothing either
            status = 1;
            continue;
        }
        if (recursive)
            fs::remove_all(p, ec);
        else
            fs::remove(p, ec);
        if (ec)
            status = 1;
    }
    return paths.empty() && !force ? 1 : status;
}

int SimShell::do_cp(const std::vector<std::string>& argv)
{
    Transfer t;
    if (!parse_transfer(argv, &t))
        return 1;
    const bool recursive = has(t.opts, "rRa");
    auto options = fs::copy_options::overwrite_existing;
    if (recursive)
        options |= fs::copy_options::recursive;
    std::error_code ec;
    int status = 0;
    for (const auto& src : t.srcs) {
        if (!fs::exists(src, ec) || (fs::is_directory(src, ec) && !recursive)) {
            status = 1;
            continue;
        }
        const fs::path target = t.target_for(src);
        if (cfg_.write_fault(target.string())) {  // the target's partition is full
            status = 1;
            continue;
        }
        if (fs::is_directory(src, ec))
            fs::create_directories(target, ec);
        ec.clear();
        fs::copy(src, target, options, ec);
        if (ec)
            status = 1;
    }
    return status;
}

int SimShell::do_mv(const std::vector<std::string>& argv)
{
    Transfer t;
    if (!parse_transfer(argv, &t))
        return 1;
    std::error_code ec;
    int status = 0;
    for (const auto& src : t.srcs) {
        const fs::path target = t.target_for(src);
        if (cfg_.write_fault(target.string())) {
            status = 1;
            continue;
        }
        ec.clear();
        fs::rename(src, target, ec);
        if (ec && ec.value() == EXDEV) {  // another file system: copy, then remove
            ec.clear();
            fs::copy(src, target, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
            if (!ec)
                fs::remove_all(src, ec);
        }
        if (ec)
            status = 1;
    }
    return status;
}

int SimShell::do_chmod(const std::vector<std::string>& argv)
{
    // chmod [-R] MODE PATH...: the mode is the first word that is not an option.
    std::vector<std::string> rest;
    bool recursive = false;
    size_t i = 1;
    for (; i < argv.size() && argv[i].size() > 1 && argv[i][0] == '-' && argv[i].find_first_of("rwx") == std::string::npos; ++i)
        recursive = recursive || argv[i].find('R') != std::string::npos;
    if (i + 1 >= argv.size())
        return 1;
    const std::string mode = argv[i];
    std::vector<std::string> args{"chmod"};
    args.insert(args.end(), argv.begin() + long(i) + 1, argv.end());
    std::string opts;
    std::vector<std::string> paths;
    if (!parse_args(args, &opts, &paths))
        return 1;
    int status = 0;
    auto change = [&](const fs::path& p) {
        std::error_code ec;
        fs::perms m;
        if (!apply_mode(mode, fs::status(p, ec).permissions(), &m) || ec) {
            status = 1;
            return;
        }
        fs::permissions(p, m, ec);
        if (ec)
            status = 1;
    };
    for (const auto& p : paths) {
        std::error_code ec;
        if (!fs::exists(p, ec)) {
            status = 1;
            continue;
        }
        change(p);
        if (recursive && fs::is_directory(p, ec))
            for (const auto& e : fs::recursive_directory_iterator(p, ec))
                change(e.path());
    }
    return status;
}

}  // namespace sim
