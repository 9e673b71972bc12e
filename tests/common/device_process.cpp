#include "common/device_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QJsonDocument>
#include <QString>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

#include "common/temp_dir.h"

extern char** environ;

namespace testutil {

namespace {

using Clock = std::chrono::steady_clock;

// This process's environment with `extra` added or replacing, as "KEY=value" strings.
std::vector<std::string> merged_environment(const std::map<std::string, std::string>& extra)
{
    std::vector<std::string> out;
    for (char** e = environ; e && *e; ++e) {
        const std::string kv = *e;
        const std::string key = kv.substr(0, kv.find('='));
        if (!extra.count(key))
            out.push_back(kv);
    }
    for (const auto& [k, v] : extra)
        out.push_back(k + "=" + v);
    return out;
}

std::vector<char*> c_strings(std::vector<std::string>& v)
{
    std::vector<char*> out;
    for (auto& s : v)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

}  // namespace

uint16_t free_tcp_port()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

namespace {

bool udp_port_free(uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

uint16_t free_udp_offset()
{
    // Offsets below 40000 keep 13769 + offset inside the port range.
    uint32_t seed = uint32_t(::getpid()) * 2654435761u ^ uint32_t(Clock::now().time_since_epoch().count());
    for (int tries = 0; tries < 200; ++tries) {
        seed = seed * 1103515245u + 12345u;
        const uint16_t off = uint16_t(1000 + (seed >> 8) % 39000);
        if (udp_port_free(uint16_t(5008 + off)) && udp_port_free(uint16_t(13769 + off)))
            return off;
    }
    return 0;
}

std::string device_executable()
{
    const char* dir = getenv("K57_BUILD_DIR");
    return dir && *dir ? std::string(dir) + "/tlxK57N" : std::string();
}

DeviceProcess::Options DeviceProcess::sim_options(const std::string& root)
{
    Options o;
    o.exe = device_executable();
    o.args = {"-platform", "offscreen"};
    o.env = {{"K57_BOARD", "sim"}, {"K57_ROOT", root}, {"QT_QPA_PLATFORM", "offscreen"}};
    o.output_path = root + "/process-output.txt";

    o.udp_offset = free_udp_offset();
    o.env["K57_SIM_UDP_PORT_OFFSET"] = std::to_string(o.udp_offset);
    const std::string ini = root + "/data/configs/tcpip.ini";
    if (::access(ini.c_str(), F_OK) != 0) {
        o.tcp_port = free_tcp_port();
        ::mkdir((root + "/data").c_str(), 0755);
        ::mkdir((root + "/data/configs").c_str(), 0755);
        if (FILE* f = std::fopen(ini.c_str(), "w")) {
            std::fprintf(f, "[config]\nTcpPort=%u\n", unsigned(o.tcp_port));
            std::fclose(f);
        }
    }
    return o;
}

DeviceProcess::DeviceProcess(Options opt) : opt_(std::move(opt)) {}

DeviceProcess::~DeviceProcess()
{
    if (pid_ > 0 && !ended_) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        if (waitpid(pid_, &status, 0) == pid_)
            reap(status);
    }
}

bool DeviceProcess::start()
{
    if (pid_ > 0)
        return false;
    if (opt_.exe.empty() || ::access(opt_.exe.c_str(), X_OK) != 0) {
        std::fprintf(stderr,
                     "DeviceProcess: no device program %s: set K57_BUILD_DIR to the build directory "
                     "holding tlxK57N (e.g. K57_BUILD_DIR=$PWD/build-asan) and build it\n",
                     opt_.exe.empty() ? "(K57_BUILD_DIR is not set)" : opt_.exe.c_str());
        return false;
    }
    std::vector<std::string> argv_s;
    argv_s.push_back(opt_.exe);
    argv_s.insert(argv_s.end(), opt_.args.begin(), opt_.args.end());
    std::vector<std::string> env_s = merged_environment(opt_.env);
    // Everything the child needs is prepared before fork: the child only redirects and execs.
    std::vector<char*> argv = c_strings(argv_s);
    std::vector<char*> envp = c_strings(env_s);
    int out_fd = -1;
    if (!opt_.output_path.empty()) {
        out_fd = ::open(opt_.output_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (out_fd < 0)
            return false;
    }

    const pid_t parent = ::getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        if (out_fd >= 0)
            ::close(out_fd);
        return false;
    }
    if (pid == 0) {
        // The device dies with the test whatever ends it (a signal, a time-out's SIGKILL, a
        // crash): it would otherwise keep its port and its root for ever. The signal comes when
        // the thread that forked ends, so start() is called from the test's main thread.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            _exit(127);
        if (out_fd >= 0) {
            dup2(out_fd, STDOUT_FILENO);
            dup2(out_fd, STDERR_FILENO);
        }
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    if (out_fd >= 0)
        ::close(out_fd);
    pid_ = pid;
    return true;
}

void DeviceProcess::reap(int status)
{
    ended_ = true;
    if (WIFEXITED(status))
        exit_code_ = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        term_signal_ = WTERMSIG(status);
}

bool DeviceProcess::running()
{
    if (pid_ <= 0 || ended_)
        return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        reap(status);
        return false;
    }
    return true;
}

bool DeviceProcess::wait_for(const std::function<bool()>& cond, int timeout_ms, int poll_ms)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        if (cond())
            return true;
        if (!running() || Clock::now() >= deadline)
            return cond();
        std::this_thread::sleep_for(std::chrono::milliseconds(poll_ms));
    }
}

bool DeviceProcess::wait_for_file(const std::string& path, int timeout_ms)
{
    return wait_for([&] { return file_exists(path); }, timeout_ms);
}

bool DeviceProcess::wait_exit(int timeout_ms)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (running()) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return pid_ > 0;
}

bool DeviceProcess::terminate(int timeout_ms)
{
    if (!running())
        return false;
    ::kill(pid_, SIGTERM);
    if (wait_exit(timeout_ms))
        return true;
    ::kill(pid_, SIGKILL);
    int status = 0;
    if (waitpid(pid_, &status, 0) == pid_)
        reap(status);
    return false;
}

std::string DeviceProcess::output() const
{
    return opt_.output_path.empty() ? std::string() : read_file(opt_.output_path);
}

std::unique_ptr<DeviceProcess> sim_device(const std::string& root, const std::string& time_scale,
                                          uint16_t* tcp_port)
{
    auto opt = DeviceProcess::sim_options(root);
    opt.env["K57_TIME_SCALE"] = time_scale;
    *tcp_port = opt.tcp_port;
    return std::make_unique<DeviceProcess>(opt);
}

QJsonObject dump_registers(DeviceProcess& dev, const std::string& root, const std::string& device,
                           int timeout_ms)
{
    const std::string json = root + "/sim/state/" + device + ".json";
    const std::string req = root + "/sim/dump-request";
    std::remove(json.c_str());
    if (!(std::ofstream(req) << '\n'))
        return {};
    if (!dev.wait_for([&] { return file_exists(json) && !file_exists(req); }, timeout_ms))
        return {};
    const QByteArray text = QByteArray::fromStdString(read_file(json));
    return QJsonDocument::fromJson(text).object()["registers"].toObject();
}

uint32_t bank_register(const QJsonObject& banks, int bank, int r, int bytes)
{
    const QJsonObject b = banks[QString::asprintf("0x%02X", bank)].toObject();
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= uint32_t(b[QString::asprintf("0x%02X", r + i)].toInt(0)) << (8 * i);
    return v;
}

int para_file_word(const std::string& root, uint32_t addr)
{
    const std::string f = read_file(root + "/data/ram_device_info");
    const size_t at = size_t(addr) - 0x300 + 2;
    return f.size() > at + 1 ? uint8_t(f[at]) | uint8_t(f[at + 1]) << 8 : -1;
}

// Ready once the device holds the pipe open: the pipe itself may be left from an earlier run
// on the same root, and a write end opens without blocking only while a reader has it.
bool key_pipe_ready(const std::string& root)
{
    struct stat st {};
    if (::stat((root + "/sim/keys").c_str(), &st) != 0 || !S_ISFIFO(st.st_mode))
        return false;
    const int fd = ::open((root + "/sim/keys").c_str(), O_WRONLY | O_NONBLOCK);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

bool send_key(const std::string& root, const std::string& line)
{
    const int fd = ::open((root + "/sim/keys").c_str(), O_WRONLY | O_NONBLOCK);
    if (fd < 0)
        return false;
    const std::string text = line + "\n";
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return ok;
}

}  // namespace testutil
