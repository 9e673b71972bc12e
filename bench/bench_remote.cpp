// The remote side against its anchor (bench/anchor_server.h: a minimal epoll server answering
// the same bytes), both in this process on loopback, measured in alternating rounds of the
// same run so that a noisy machine moves both figures alike. Figures 1, 2 and 4 are taken
// first with both servers' threads on one CPU and the clients on another (bench/placement.h),
// with their spread over the rounds, then unpinned:
//   1. one connection, RAM read of 1 KiB, request then reply: p50, p99, requests/s and the
//      server's CPU time per request (process CPU less the client thread's)
//      (targets, fixed placement: p50 and CPU per request at most 1.1x the anchor's); beside
//      the ratios, the device's own extra cost per request, device less anchor, for p50, p99
//      and CPU, pinned and unpinned: a ratio alone hides it when both sides carry the same
//      fixed cost (with both servers pinned a cross-CPU wake-up adds 60-70 us to each)
//      (targets, both placements: at most +6 us p50 and +2.5 us CPU per request);
//   2. 8 connections at once: requests/s (target: at least 0.95 of the anchor's);
//   3. a remote write reaching the simulated chip (RAM write of the brightness, then the apply
//      register): time until the chip model holds the value beside the protocol ack
//      (target: p99 at most 2x the ack's p99);
//   4. a 16 MiB "APPL" file written then read back in 1 KiB blocks, one block in flight:
//      MB/s beside the stop-and-wait limit, 1 KiB per anchor round trip of the same bytes
//      (target, fixed placement: at least 0.9 of it both ways);
//   5. the device program idle on the simulated board: its own wake-ups per second (voluntary
//      switches: a thread that waits and is woken; a preemption is the machine's doing) and CPU
//      (targets: the wake-ups of the polling periods the device keeps, three 10 ms loops and
//      the slower waits, with a tenth more for the waits inside their passes, not counting the
//      simulated board's own threads; at most 0.3% of a core).
// After each figure a line gives every target of it as met or NOT MET. What the device prints
// on its console meanwhile (the one in this process and the idle one) goes to a file named in
// the first line, not between the figures.
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <map>
#include <numeric>
#include <sstream>
#include <string>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

#include "anchor_server.h"
#include "placement.h"
#include "core/ConfigEngine.h"
#include "core/TlxRamPara.h"
#include "core/globals.h"
#include "remote/networkManage.h"
#include "scaler/c331_manage.h"
#include "scaler/c331_regs.h"
#include "sim/c331_model.h"
#include "sim/sim_board.h"

namespace {

using Bytes = std::vector<u8>;
using Clock = std::chrono::steady_clock;

// ---- ports and the temporary root -------------------------------------------------------------

// Other benchmarks, tests and devices run on this machine at the same time: every port is
// one the system reports free, never one derived from the process id.
bool port_free(int type, uint16_t port)
{
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    if (fd >= 0)
        ::close(fd);
    return ok;
}

uint16_t free_tcp_port()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0;
    ::close(fd);
    return ok ? ntohs(a.sin_port) : 0;
}

// An offset that moves both UDP ports of a simulated device (5008, 13769) onto free ones.
int free_udp_offset()
{
    for (int tries = 0; tries < 200; ++tries) {
        const int offset = 1000 + int(::random() % 39000);
        if (port_free(SOCK_DGRAM, uint16_t(5008 + offset)) && port_free(SOCK_DGRAM, uint16_t(13769 + offset)))
            return offset;
    }
    return -1;
}

std::string g_root;  // removed however the benchmark ends, an early std::exit included

void remove_root()
{
    if (!g_root.empty())
        QDir(QString::fromStdString(g_root)).removeRecursively();
}

// ---- frames and connections ---------------------------------------------------------------

void put_le(Bytes& b, uint32_t v, int n)
{
    for (int i = 0; i < n; ++i)
        b.push_back(u8(v >> (8 * i)));
}

Bytes wire(u8 cmd, const Bytes& data)
{
    Bytes f{0x00, 0xF1, 0x11, 0xF0, 0, 0, 0, 0, 0, cmd};
    f.insert(f.end(), data.begin(), data.end());
    u8 x = 0;
    for (u8 c : f)
        x ^= c;
    f.push_back(x);
    Bytes w{0xA5, 0xA5, 0xA5};
    for (u8 c : f) {
        if (c == 0xA5 || c == 0xA6)
            w.insert(w.end(), {0xA6, u8(c == 0xA5 ? 2 : 1)});
        else if (c == 0x5A || c == 0x5B)
            w.insert(w.end(), {0x5B, u8(c == 0x5A ? 2 : 1)});
        else
            w.push_back(c);
    }
    w.push_back(0x5A);
    return w;
}

class Conn {
public:
    explicit Conn(uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)), buf_(65536)
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        // Each connection from its own loopback address, as from its own tool: the device
        // serves at most a few connections of one address.
        static std::atomic<unsigned> next{0};
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK + 1 + next++ % 253);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        for (int i = 0; i < 100 && ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    ~Conn() { ::close(fd_); }
    bool send(const Bytes& b) { return ::send(fd_, b.data(), b.size(), MSG_NOSIGNAL) == ssize_t(b.size()); }
    // Reads until `frames` replies have come (counted by their closing byte); replies read
    // ahead count for the next call. The last reply's bytes are kept in last_.
    bool await(int frames)
    {
        while (ahead_ < frames) {
            const ssize_t n = ::recv(fd_, buf_.data(), buf_.size(), 0);
            if (n <= 0)
                return false;
            for (ssize_t i = 0; i < n; ++i) {
                last_.push_back(buf_[size_t(i)]);
                if (buf_[size_t(i)] == 0x5A) {
                    ++ahead_;
                    if (ahead_ <= frames)
                        reply_ = last_;
                    last_.clear();
                }
            }
        }
        ahead_ -= frames;
        return true;
    }
    bool exchange(const Bytes& req) { return send(req) && await(1); }
    const Bytes& reply() const { return reply_; }  // the wire bytes of the last reply awaited

private:
    int fd_;
    std::vector<u8> buf_;
    int ahead_ = 0;
    Bytes last_, reply_;
};

// ---- output ------------------------------------------------------------------------------------

// The figures go to the benchmark's standard output as it was started; the process's own
// descriptors 1 and 2, which the device's console output uses, go to a file.
FILE* g_figures = stdout;

void say(const char* format, ...) __attribute__((format(printf, 1, 2)));
void say(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vfprintf(g_figures, format, args);
    va_end(args);
}

// Sends the process's standard output and error to `path` (appended to, so the idle device
// forked later adds to it in order); the figures keep the original standard output.
bool console_to_file(const std::string& path)
{
    const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    const int figures = ::dup(STDOUT_FILENO);
    FILE* out = figures >= 0 ? ::fdopen(figures, "w") : nullptr;
    if (file < 0 || !out) {
        if (file >= 0)
            ::close(file);
        return false;
    }
    ::fcntl(figures, F_SETFD, FD_CLOEXEC);
    std::fflush(stdout);
    std::fflush(stderr);
    ::dup2(file, STDOUT_FILENO);
    ::dup2(file, STDERR_FILENO);
    ::close(file);
    g_figures = out;
    return true;
}

// ---- measurement aids ----------------------------------------------------------------------

double pct(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}
double mean(const std::vector<double>& v) { return v.empty() ? 0 : std::accumulate(v.begin(), v.end(), 0.0) / double(v.size()); }
// "(rounds 0.98 to 1.07)": the lowest and highest of a figure taken round by round; `format`
// prints one of them ("%+.1f" for a difference in us).
std::string spread(std::vector<double> v, const char* format = "%.2f")
{
    std::sort(v.begin(), v.end());
    char lo[24], hi[24], b[64];
    std::snprintf(lo, sizeof lo, format, v.empty() ? 0 : v.front());
    std::snprintf(hi, sizeof hi, format, v.empty() ? 0 : v.back());
    std::snprintf(b, sizeof b, "(rounds %s to %s)", lo, hi);
    return b;
}
// "   targets, pinned: p50 <= 1.1x met | CPU <= 1.1x NOT MET": one verdict per target.
void verdicts(const char* where, std::initializer_list<std::pair<const char*, bool>> targets)
{
    std::string line = std::string("   targets, ") + where + ":";
    const char* sep = " ";
    for (const auto& [what, met] : targets) {
        line += sep + std::string(what) + (met ? " met" : " NOT MET");
        sep = " | ";
    }
    say("%s\n", line.c_str());
}
double us_since(Clock::time_point t) { return std::chrono::duration<double, std::micro>(Clock::now() - t).count(); }
double cpu_us(int who)
{
    rusage r{};
    ::getrusage(who, &r);
    return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1e6 + double(r.ru_utime.tv_usec + r.ru_stime.tv_usec);
}

// Request/reply round trips on one connection; adds the server's CPU time (the process's
// less this thread's) to *server_cpu.
void round_trips(uint16_t port, const Bytes& req, int n, std::vector<double>* us, double* server_cpu)
{
    Conn c(port);
    c.exchange(req);  // warm
    const double p0 = cpu_us(RUSAGE_SELF), t0 = cpu_us(RUSAGE_THREAD);
    for (int i = 0; i < n; ++i) {
        const auto a = Clock::now();
        if (!c.exchange(req))
            std::exit(1);
        us->push_back(us_since(a));
    }
    *server_cpu += (cpu_us(RUSAGE_SELF) - p0) - (cpu_us(RUSAGE_THREAD) - t0);
}

// Requests per second of `conns` connections, each doing `per_conn` round trips at once.
double parallel_rate(uint16_t port, const Bytes& req, int conns, int per_conn)
{
    std::vector<std::thread> th;
    const auto t0 = Clock::now();
    for (int k = 0; k < conns; ++k)
        th.emplace_back([&] {
            Conn c(port);
            for (int i = 0; i < per_conn; ++i)
                if (!c.exchange(req))
                    std::exit(1);
        });
    for (auto& t : th)
        t.join();
    return conns * per_conn / (us_since(t0) / 1e6);
}

// ---- 1 and 2: request latency, throughput, CPU ------------------------------------------------

void one_connection(uint16_t device, uint16_t anchor, const Bytes& req, bool fixed)
{
    constexpr int kRounds = 6, kPerRound = 4000;
    std::vector<double> dev_us, anc_us, p50_ratio, cpu_ratio, p50_diff, p99_diff, cpu_diff;
    double dev_cpu = 0, anc_cpu = 0;
    for (int r = 0; r < kRounds; ++r) {
        std::vector<double> d, a;
        double dc = 0, ac = 0;
        round_trips(device, req, kPerRound, &d, &dc);
        round_trips(anchor, req, kPerRound, &a, &ac);
        p50_ratio.push_back(pct(d, 0.5) / pct(a, 0.5));
        cpu_ratio.push_back(dc / ac);
        p50_diff.push_back(pct(d, 0.5) - pct(a, 0.5));
        p99_diff.push_back(pct(d, 0.99) - pct(a, 0.99));
        cpu_diff.push_back((dc - ac) / kPerRound);
        dev_us.insert(dev_us.end(), d.begin(), d.end());
        anc_us.insert(anc_us.end(), a.begin(), a.end());
        dev_cpu += dc;
        anc_cpu += ac;
    }
    const double n = kRounds * kPerRound;
    const char* where = bench::Placement::name(fixed);
    say("1. RAM read 1 KiB, 1 connection, %s: device p50 %.1f us, p99 %.1f us, %.0f req/s | anchor p50 "
        "%.1f us, p99 %.1f us, %.0f req/s | device/anchor p50 %.2fx %s, p99 %.2fx, throughput %.2fx\n",
        where, pct(dev_us, 0.5), pct(dev_us, 0.99), 1e6 / mean(dev_us), pct(anc_us, 0.5), pct(anc_us, 0.99),
        1e6 / mean(anc_us), pct(dev_us, 0.5) / pct(anc_us, 0.5), spread(p50_ratio).c_str(),
        pct(dev_us, 0.99) / pct(anc_us, 0.99), mean(anc_us) / mean(dev_us));
    say("   server CPU per request, %s: device %.1f us, anchor %.1f us: %.2fx %s%s\n", where, dev_cpu / n,
        anc_cpu / n, dev_cpu / anc_cpu, spread(cpu_ratio).c_str(),
        fixed ? " (targets: p50 and CPU <= 1.1x)" : "");
    say("   device's extra cost per request, %s: p50 %+.1f us %s, p99 %+.1f us %s, CPU %+.2f us %s "
        "(targets: p50 <= +6 us, CPU <= +2.5 us)\n",
        where, pct(dev_us, 0.5) - pct(anc_us, 0.5), spread(p50_diff, "%+.1f").c_str(),
        pct(dev_us, 0.99) - pct(anc_us, 0.99), spread(p99_diff, "%+.1f").c_str(), (dev_cpu - anc_cpu) / n,
        spread(cpu_diff, "%+.2f").c_str());
    const bool extra_p50 = pct(dev_us, 0.5) - pct(anc_us, 0.5) <= 6, extra_cpu = (dev_cpu - anc_cpu) / n <= 2.5;
    if (fixed)
        verdicts(where, {{"p50 <= 1.1x", pct(dev_us, 0.5) / pct(anc_us, 0.5) <= 1.1},
                         {"CPU <= 1.1x", dev_cpu / anc_cpu <= 1.1},
                         {"p50 <= +6 us", extra_p50},
                         {"CPU <= +2.5 us", extra_cpu}});
    else
        verdicts(where, {{"p50 <= +6 us", extra_p50}, {"CPU <= +2.5 us", extra_cpu}});
}

void connections(uint16_t device, uint16_t anchor, const Bytes& req, bool fixed)
{
    constexpr int kRounds = 3;
    double dev_rate = 0, anc_rate = 0;
    std::vector<double> ratio;
    for (int r = 0; r < kRounds; ++r) {
        const double d = parallel_rate(device, req, 8, 3000), a = parallel_rate(anchor, req, 8, 3000);
        ratio.push_back(d / a);
        dev_rate += d;
        anc_rate += a;
    }
    say("2. 8 connections, %s: device %.0f req/s, anchor %.0f req/s: %.2fx %s (target >= 0.95)\n",
        bench::Placement::name(fixed), dev_rate / kRounds, anc_rate / kRounds, dev_rate / anc_rate,
        spread(ratio).c_str());
    verdicts(bench::Placement::name(fixed), {{">= 0.95", dev_rate / anc_rate >= 0.95}});
}

void requests(uint16_t device, bench::AnchorServer& anchor, const bench::Placement& where)
{
    Bytes rd;
    put_le(rd, 0, 4);
    put_le(rd, 1024, 2);
    put_le(rd, 0, 2);
    const Bytes req = wire(0x61, rd);
    Conn probe(device);
    probe.exchange(req);
    anchor.set_reply(probe.reply());
    where.both([&](bool fixed) { one_connection(device, anchor.port(), req, fixed); });
    where.both([&](bool fixed) { connections(device, anchor.port(), req, fixed); });
}

// ---- 3: remote write to the chip -------------------------------------------------------------

uint32_t chip_brightness(sim::C331Model& m)
{
    std::lock_guard<std::recursive_mutex> lk(m.device_lock());
    return m.value(c331::PIC_BRIGHT_R);
}

void chip_write(uint16_t device, sim::SimBoard& board, const bench::Placement& where)
{
    where.create_servers_here();
    c331_manage* mgr = c331_manage::pInstance();
    where.fixed();
    for (int i = 0; i < 1000 && mgr->thread_state != c331_manage::kStateRunning; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    auto model = std::dynamic_pointer_cast<sim::C331Model>(board.spi_model(sim::C331Model::kPath));
    if (mgr->thread_state != c331_manage::kStateRunning || !model) {
        say("3. chip write: the scaler did not come up\n");
        return;
    }
    Conn c(device);
    std::vector<double> ack_us, chip_us;
    for (int i = 0; i < 300; ++i) {
        const uint32_t before = chip_brightness(*model);
        Bytes ram;
        put_le(ram, ram_brightness, 4);
        put_le(ram, 2, 2);
        put_le(ram, 0, 2);
        put_le(ram, uint32_t(20 + (i % 2) * 40 + i % 7), 2);
        Bytes req = wire(0x60, ram);
        const Bytes apply = wire(0x62, {11, 2, 2});  // register 11 bit 1: apply the parameters
        req.insert(req.end(), apply.begin(), apply.end());
        const auto t0 = Clock::now();
        if (!c.send(req) || !c.await(2))
            std::exit(1);
        ack_us.push_back(us_since(t0));
        while (chip_brightness(*model) == before && us_since(t0) < 1e6)
            std::this_thread::sleep_for(std::chrono::microseconds(20));
        chip_us.push_back(us_since(t0));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));  // the next edit comes a little later
    }
    say("3. write to the chip, fixed placement: ack p50 %.0f us, p99 %.0f us | chip p50 %.0f us, p99 %.0f us | "
        "chip p99 / ack p99 %.2fx (target <= 2)\n",
        pct(ack_us, 0.5), pct(ack_us, 0.99), pct(chip_us, 0.5), pct(chip_us, 0.99),
        pct(chip_us, 0.99) / pct(ack_us, 0.99));
    verdicts(bench::Placement::name(true), {{"chip p99 <= 2x ack p99", pct(chip_us, 0.99) <= 2 * pct(ack_us, 0.99)}});
}

// ---- 4: file transfer --------------------------------------------------------------------------

// One direction of a 16 MiB transfer in 1 KiB blocks, one in flight, interleaved every 512 KiB with
// as many round trips of the same request bytes against the anchor answering the device's
// reply: the anchor's time is the stop-and-wait limit of this run. A round is 2 MiB.
// Not interleaved more finely: a client thread that switches between two servers every few
// milliseconds is taken by the scheduler for one waker of many, and a woken server that also
// wakes other threads (the device's file writer) is then no longer placed beside the client
// but on an idle CPU, woken for every block, which a tool talking to the device alone never
// causes (64 KiB switches left the device there in most unpinned runs, the anchor seldom).
struct Leg {
    double device_s = 0;
    double anchor_s = 0;
    double device_cpu_us = 0;  // server CPU: the process's less this thread's
    double anchor_cpu_us = 0;
    std::vector<double> round_ratio;  // limit time / device time, round by round
};

// Sends every request on `c` in turn; adds the wall time in seconds to *seconds and the
// server's CPU time (the process's less this thread's) to *server_cpu.
void exchange_all(Conn& c, const std::vector<Bytes>& reqs, double* seconds, double* server_cpu)
{
    const double p0 = cpu_us(RUSAGE_SELF), c0 = cpu_us(RUSAGE_THREAD);
    const auto t0 = Clock::now();
    for (const Bytes& req : reqs)
        if (!c.exchange(req))
            std::exit(1);
    *seconds += us_since(t0) / 1e6;
    *server_cpu += (cpu_us(RUSAGE_SELF) - p0) - (cpu_us(RUSAGE_THREAD) - c0);
}

template <class Request>
Leg blocks(Conn& dev, Conn& anc, bench::AnchorServer& anchor, uint32_t total, uint32_t block, Request request)
{
    Leg leg;
    constexpr uint32_t kChunk = 512u << 10, kRound = 2u << 20;
    double round_dev = 0, round_anc = 0;
    for (uint32_t chunk = 0; chunk < total; chunk += kChunk) {
        std::vector<Bytes> reqs;
        for (uint32_t off = chunk; off < chunk + kChunk && off < total; off += block)
            reqs.push_back(request(off));
        exchange_all(dev, reqs, &round_dev, &leg.device_cpu_us);
        anchor.set_reply(dev.reply());
        exchange_all(anc, reqs, &round_anc, &leg.anchor_cpu_us);
        if ((chunk + kChunk) % kRound == 0 || chunk + kChunk >= total) {
            leg.round_ratio.push_back(round_anc / round_dev);
            leg.device_s += round_dev;
            leg.anchor_s += round_anc;
            round_dev = round_anc = 0;
        }
    }
    return leg;
}

void file_transfer(uint16_t device, bench::AnchorServer& anchor, bool fixed)
{
    constexpr uint32_t kTotal = 16u << 20, kBlock = 1024;
    Bytes app(kTotal);
    for (uint32_t i = 0; i < kTotal; ++i)
        app[i] = u8(i * 2654435761u >> 24);
    std::memcpy(app.data(), "\x7f" "ELF", 4);  // a program is installed only when it is one
    const QByteArray digest = QCryptographicHash::hash(
        QByteArray(reinterpret_cast<const char*>(app.data()), int(app.size())), QCryptographicHash::Md5);
    auto block_req = [&](u8 cmd, uint32_t off, bool with_data) {
        Bytes b;
        put_le(b, off, 4);
        put_le(b, kBlock, 2);
        if (with_data)
            b.insert(b.end(), app.begin() + off, app.begin() + off + kBlock);
        return wire(cmd, b);
    };

    Conn c(device), a(anchor.port());
    g_app_reset_flag = 0;
    Bytes start{'A', 'P', 'P', 'L'};
    put_le(start, kTotal, 4);
    if (!c.exchange(wire(0x64, start)))
        std::exit(1);
    const Leg w = blocks(c, a, anchor, kTotal, kBlock, [&](uint32_t off) { return block_req(0x65, off, true); });
    const auto e0 = Clock::now();
    if (!c.exchange(wire(0x66, Bytes(digest.begin(), digest.end()))))
        std::exit(1);
    const double end_ms = us_since(e0) / 1e3;
    const bool installed = g_app_reset_flag.load() != 0;

    if (!c.exchange(wire(0x67, {'A', 'P', 'P', 'L'})))
        std::exit(1);
    const Leg r = blocks(c, a, anchor, kTotal, kBlock, [&](uint32_t off) { return block_req(0x68, off, false); });
    c.exchange(wire(0x69, {}));

    const char* where = bench::Placement::name(fixed);
    say("4. APPL 16 MiB in 1 KiB blocks, one in flight, %s: write %.1f MB/s vs the limit %.1f MB/s: %.2f %s "
        "(end with digest, sync and install %.0f ms; installed: %s) | read %.1f MB/s vs %.1f MB/s: %.2f %s"
        "%s\n",
        where, kTotal / w.device_s / 1e6, kTotal / w.anchor_s / 1e6, w.anchor_s / w.device_s,
        spread(w.round_ratio).c_str(), end_ms, installed ? "yes" : "NO", kTotal / r.device_s / 1e6,
        kTotal / r.anchor_s / 1e6, r.anchor_s / r.device_s, spread(r.round_ratio).c_str(),
        fixed ? " (target >= 0.9)" : "");
    const double n = kTotal / kBlock;
    say("   server CPU per block, %s: write device %.1f us, anchor %.1f us | read device %.1f us, anchor "
        "%.1f us\n",
        where, w.device_cpu_us / n, w.anchor_cpu_us / n, r.device_cpu_us / n, r.anchor_cpu_us / n);
    if (fixed)
        verdicts(where, {{"write >= 0.9", w.anchor_s / w.device_s >= 0.9}, {"read >= 0.9", r.anchor_s / r.device_s >= 0.9}});
}

// ---- 5: the idle device program ----------------------------------------------------------------

// Voluntary context switches of each thread of `pid` by thread id, with the thread's name: a
// thread that waits and is woken. Preemptions (the other counter) are the machine's doing.
std::map<std::string, std::pair<std::string, uint64_t>> voluntary_switches(pid_t pid)
{
    std::map<std::string, std::pair<std::string, uint64_t>> out;
    const std::string base = "/proc/" + std::to_string(pid) + "/task/";
    const QDir tasks(QString::fromStdString(base));
    for (const QString& t : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const std::string dir = base + t.toStdString();
        std::string name;
        std::getline(std::ifstream(dir + "/comm"), name);
        std::ifstream st(dir + "/status");
        for (std::string line; std::getline(st, line);)
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
                out[t.toStdString()] = {name, std::stoull(line.substr(line.find(':') + 1))};
    }
    return out;
}

double process_cpu_s(pid_t pid)
{
    std::ifstream st(("/proc/" + std::to_string(pid) + "/stat").c_str());
    std::string text((std::istreambuf_iterator<char>(st)), std::istreambuf_iterator<char>());
    std::istringstream rest(text.substr(text.rfind(')') + 2));
    std::string f;
    unsigned long long ut = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> f; ++i) {
        if (i == 14)
            ut = std::stoull(f);
        if (i == 15)
            stime = std::stoull(f);
    }
    return double(ut + stime) / double(::sysconf(_SC_CLK_TCK));
}

void idle_device(const std::string& root)
{
    char self[4096] = {0};
    (void)!::readlink("/proc/self/exe", self, sizeof self - 1);
    const std::string exe = QFileInfo(QString(self)).absolutePath().toStdString() + "/../tlxK57N";
    if (::access(exe.c_str(), X_OK) != 0) {
        say("5. idle device: %s not built\n", exe.c_str());
        return;
    }
    const std::string droot = root + "/idle";
    QDir().mkpath(QString::fromStdString(droot + "/data/configs"));
    const uint16_t port = free_tcp_port();
    const int udp_offset = free_udp_offset();
    if (port == 0 || udp_offset < 0) {
        say("5. idle device: no free ports\n");
        return;
    }
    std::ofstream(droot + "/data/configs/tcpip.ini") << "[config]\nTcpPort=" << port << "\n";
    std::fflush(g_figures);  // the child must not print what this process has buffered
    std::fflush(stdout);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // an interrupted benchmark leaves no device behind
        setenv("K57_BOARD", "sim", 1);
        setenv("K57_ROOT", droot.c_str(), 1);
        setenv("K57_SIM_UDP_PORT_OFFSET", std::to_string(udp_offset).c_str(), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::execl(exe.c_str(), exe.c_str(), "-platform", "offscreen", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    std::this_thread::sleep_for(std::chrono::seconds(4));  // start-up and bring-up done
    const auto w0 = voluntary_switches(pid);
    const double c0 = process_cpu_s(pid);
    constexpr int kSeconds = 10;
    std::this_thread::sleep_for(std::chrono::seconds(kSeconds));
    const auto w1 = voluntary_switches(pid);
    const double cpu = (process_cpu_s(pid) - c0) / kSeconds * 100;
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    // Threads alive at both samples, summed by name. The simulated board's own threads (its
    // watcher, the key pipe) stand for hardware and are shown apart, not counted.
    std::map<std::string, double> by_name;
    double wakeups = 0;
    for (const auto& [tid, now] : w1) {
        const auto was = w0.find(tid);
        if (was == w0.end())
            continue;
        const double per_s = double(now.second - was->second.second) / kSeconds;
        by_name[now.first] += per_s;
        if (now.first != "sim-board" && now.first != "key-pipe")
            wakeups += per_s;
    }
    std::string threads, board;
    for (const auto& [name, per_s] : by_name) {
        std::string& list = name == "sim-board" || name == "key-pipe" ? board : threads;
        if (per_s >= 0.5)
            list += (list.empty() ? "" : ", ") + name + " " + std::to_string(int(per_s + 0.5));
    }
    // What the device must keep: the panel tick, the FPGA thread it paces and the input
    // supervision each pass every 10 ms; the scaler thread every 200 ms once running; the WiFi
    // watch every second. A pass that waits inside its work (a bus transaction, a lock handed
    // over) wakes again: a tenth more.
    constexpr double kPolling = 3 * 100 + 5 + 1, kWakeupTarget = kPolling * 1.1, kCpuTarget = 0.3;
    say("5. idle device program: %.0f wake-ups/s (voluntary switches: %s; the simulated board's, not counted: "
        "%s) (target <= %.0f: the polling periods' %.0f and a tenth), %.2f%% of a core (target <= %.1f)\n",
        wakeups, threads.c_str(), board.empty() ? "none" : board.c_str(), kWakeupTarget, kPolling, cpu,
        kCpuTarget);
    verdicts("unpinned", {{"wake-ups", wakeups <= kWakeupTarget}, {"CPU", cpu <= kCpuTarget}});
}

}  // namespace

int main()
{
    const bench::Placement where;
    where.create_servers_here();  // the board's, the device's and the anchor's threads
    char tmpl[] = "/tmp/k57benchXXXXXX";
    if (!::mkdtemp(tmpl)) {
        std::perror("bench_remote: temporary directory");
        return 1;
    }
    const std::string root = tmpl;
    g_root = root;
    std::atexit(remove_root);
    const std::string console = root + "-console.txt";  // kept: the root is removed at the end
    if (!console_to_file(console)) {
        std::perror("bench_remote: console file");
        return 1;
    }
    auto board = sim::SimBoard::install_for_test(root);
    ::mkdir((root + "/data").c_str(), 0755);
    FILE* f = std::fopen((root + "/data/ram_device_info").c_str(), "wb");
    std::fwrite(ConfigEngine::default_para_ramlist, 1, 4096, f);
    std::fclose(f);
    TlxRamPara::pInstance();
    g_debugSwitch = 0;  // no console echo of the log inside the measurement
    ::srandom(unsigned(::getpid()) ^ unsigned(Clock::now().time_since_epoch().count()));
    g_port = free_tcp_port();
    networkManage* const server = networkManage::pInstance();
    for (int tries = 0; !server->listening() && tries < 20; ++tries) {  // taken meanwhile by another
        g_port = free_tcp_port();
        server->initialize();
    }
    if (!server->listening()) {
        say("bench_remote: the device's TCP server finds no free port\n");
        std::exit(1);
    }
    const uint16_t device = uint16_t(g_port.load());
    bench::AnchorServer anchor;
    where.fixed();
    say("device console: %s\nplacement: %s\n", console.c_str(), where.describe().c_str());

    // K57_BENCH_ONLY=<digits> runs only the numbered parts (e.g. "14").
    const char* only = std::getenv("K57_BENCH_ONLY");
    auto part = [only](char n) { return !only || std::strchr(only, n); };
    if (part('1') || part('2'))
        requests(device, anchor, where);
    if (part('3'))
        chip_write(device, *board, where);
    if (part('4'))
        where.both([&](bool fixed) { file_transfer(device, anchor, fixed); });
    where.unpinned();
    if (part('5'))
        idle_device(root);
    remove_root();
    std::fflush(g_figures);
    std::fflush(stdout);
    std::_Exit(0);  // the device's threads run on; nothing to tear down
}
