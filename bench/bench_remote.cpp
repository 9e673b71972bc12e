// Remote protocol over TCP on loopback, one client, against the device's TCP transport in
// this process on the simulated board:
//   1. RAM read of 1 KiB, request then reply, one at a time: median and 99th percentile
//      latency and requests per second (targets: < 200 us, < 1 ms, >= 5000/s);
//   2. a 16 MiB "APPL" file write in 1 KiB blocks, the client keeping up to 32 blocks in
//      flight (replies come back in order): MB/s (target: >= 20).
#include <QCryptographicHash>
#include <QDir>
#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "core/ConfigEngine.h"
#include "core/TlxRamPara.h"
#include "core/globals.h"
#include "remote/networkManage.h"
#include "sim/sim_board.h"

namespace {

using Bytes = std::vector<u8>;
using Clock = std::chrono::steady_clock;

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

// Reads until `frames` replies have arrived (counted by their closing byte, which appears
// nowhere else on the wire); replies read ahead count for the next call. False when the
// connection ends.
bool await_replies(int fd, int frames)
{
    static u8 buf[65536];
    static int ahead = 0;
    while (ahead < frames) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            return false;
        ahead += int(std::count(buf, buf + n, u8(0x5A)));
    }
    ahead -= frames;
    return true;
}

bool send_all(int fd, const Bytes& b) { return ::send(fd, b.data(), b.size(), MSG_NOSIGNAL) == ssize_t(b.size()); }

int connect_to(uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int i = 0; i < 100 && ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0; ++i)
        ::usleep(20000);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

}  // namespace

int main()
{
    char tmpl[] = "/tmp/k57benchXXXXXX";
    const std::string root = ::mkdtemp(tmpl);
    auto board = sim::SimBoard::install_for_test(root);
    ::mkdir((root + "/data").c_str(), 0755);
    FILE* f = std::fopen((root + "/data/ram_device_info").c_str(), "wb");
    std::fwrite(ConfigEngine::default_para_ramlist, 1, 4096, f);
    std::fclose(f);
    TlxRamPara::pInstance();
    g_debugSwitch = 0;  // no console echo of the log inside the measurement
    g_port = 25000 + ::getpid() % 20000;
    networkManage::pInstance();
    const int fd = connect_to(uint16_t(g_port.load()));

    // 1. RAM read round trips.
    Bytes req;
    put_le(req, 0, 4);
    put_le(req, 1024, 2);
    put_le(req, 0, 2);
    const Bytes read_wire = wire(0x61, req);
    constexpr int kWarm = 1000, kRuns = 20000;
    std::vector<double> us;
    us.reserve(kRuns);
    const auto t0 = Clock::now();
    for (int i = 0; i < kWarm + kRuns; ++i) {
        const auto a = Clock::now();
        if (!send_all(fd, read_wire) || !await_replies(fd, 1))
            return 1;
        if (i >= kWarm)
            us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - a).count());
    }
    const double secs = std::chrono::duration<double>(Clock::now() - t0).count();
    std::sort(us.begin(), us.end());
    const double median = us[us.size() / 2], p99 = us[us.size() * 99 / 100];
    const double rps = (kWarm + kRuns) / secs;
    std::printf("RAM read 1 KiB over TCP: median %.1f us (target < 200), p99 %.1f us (target < 1000), "
                "%.0f requests/s (target >= 5000)\n", median, p99, rps);

    // 2. 16 MiB application transfer.
    constexpr uint32_t kTotal = 16u << 20, kBlock = 1024;
    constexpr int kWindow = 32;
    Bytes app(kTotal);
    for (uint32_t i = 0; i < kTotal; ++i)
        app[i] = u8(i * 2654435761u >> 24);
    const QByteArray digest = QCryptographicHash::hash(
        QByteArray(reinterpret_cast<const char*>(app.data()), int(app.size())), QCryptographicHash::Md5);
    const auto t1 = Clock::now();
    Bytes start{'A', 'P', 'P', 'L'};
    put_le(start, kTotal, 4);
    if (!send_all(fd, wire(0x64, start)) || !await_replies(fd, 1))
        return 1;
    int in_flight = 0;
    for (uint32_t off = 0; off < kTotal; off += kBlock) {
        Bytes blk;
        put_le(blk, off, 4);
        put_le(blk, kBlock, 2);
        blk.insert(blk.end(), app.begin() + off, app.begin() + off + kBlock);
        if (!send_all(fd, wire(0x65, blk)))
            return 1;
        if (++in_flight == kWindow) {
            if (!await_replies(fd, kWindow / 2))
                return 1;
            in_flight -= kWindow / 2;
        }
    }
    if (!await_replies(fd, in_flight))
        return 1;
    if (!send_all(fd, wire(0x66, Bytes(digest.begin(), digest.end()))) || !await_replies(fd, 1))
        return 1;
    const double t = std::chrono::duration<double>(Clock::now() - t1).count();
    std::printf("APPL 16 MiB over TCP: %.2f s, %.1f MB/s (target >= 20)\n", t, kTotal / t / 1e6);
    std::printf("installed: %s\n", g_app_reset_flag.load() ? "yes" : "NO (digest or write failed)");
    ::close(fd);
    QDir(QString::fromStdString(root)).removeRecursively();
    return 0;
}
