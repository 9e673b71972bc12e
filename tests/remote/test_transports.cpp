// The transports in process over loopback sockets and a pseudo-terminal: what the
// whole-process tests do not reach (the serial line, a client leaving mid-frame, more
// clients than the device needs to serve, two frames in one datagram, idle CPU, frames that
// are the device's own replies, floods of log lines).
#include "remote_fixture.h"

#include "common/device_process.h"

#include <arpa/inet.h>
#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "core/fpga_wake.h"
#include "core/globals.h"
#include "platform/virtual_clock.h"
#include "remote/file_transfer.h"
#include "remote/Qn_uart_inout.h"
#include "remote/net_common.h"
#include "remote/networkManage.h"
#include "remote/udpnetManage.h"

namespace {

const uint16_t kUdpOffset = testutil::free_udp_offset();

// Starts every transport once for the whole binary.
struct Transports {
    Transports()
    {
        remote_test::store();
        setenv("K57_SIM_UDP_PORT_OFFSET", std::to_string(kUdpOffset).c_str(), 1);
        ::mkdir(remote_test::root().file("dev").c_str(), 0755);
        pty.link_as(remote_test::root().file("dev/ttyS2"));
        g_port = testutil::free_tcp_port();
        udpnetManage::pInstance();
        Qn_uart_inout::pInstance();
        networkManage::pInstance();
    }
    testutil::PtyRemoteClient pty;
};

Transports& transports()
{
    static Transports t;
    return t;
}

// A virtual clock `by_us` behind the real one, for tests that move time on by hand and must
// not run ahead of the real clock the later tests find. Never below zero: on a machine up for
// less than `by_us` the subtraction would wrap to the far future, where every client is idle.
// Never destroyed: the transport threads may still read it.
platform::VirtualClock& clock_behind_real(uint64_t by_us)
{
    const uint64_t now = platform::clock().now_us();
    return *new platform::VirtualClock(now > by_us ? now - by_us : 0);
}

Bytes reg_read_wire(u8 first, u8 count)
{
    return testutil::encode(testutil::make_frame(0xF100, testutil::kTool, 0x63, {first, count}));
}

class Tcp : public ::testing::Test {
protected:
    void SetUp() override
    {
        transports();
        remote_test::reset_store();
        for (int i = 0; i < 10; ++i)
            remote_test::store()->reg_file[i] = u8(0x30 + i);
        ASSERT_TRUE(client.connect(u16(g_port.load())));
    }
    testutil::TcpRemoteClient client;
};

}  // namespace

TEST_F(Tcp, SeveralClientsAtOnceEachGetTheirOwnReplies)
{
    constexpr int kClients = 10;
    std::vector<std::unique_ptr<testutil::TcpRemoteClient>> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.emplace_back(new testutil::TcpRemoteClient);
        ASSERT_TRUE(clients.back()->connect(u16(g_port.load())));
    }
    // A client that leaves in the middle of a frame harms nobody.
    testutil::TcpRemoteClient leaver;
    ASSERT_TRUE(leaver.connect(u16(g_port.load())));
    const Bytes half = reg_read_wire(0, 1);
    leaver.send_bytes(Bytes(half.begin(), half.begin() + 6));
    leaver.close();

    std::vector<std::thread> threads;
    std::vector<int> good(kClients, 0);
    for (int i = 0; i < kClients; ++i)
        threads.emplace_back([&, i] {
            for (int k = 0; k < 20; ++k) {
                const u8 reg = u8((i + k) % 10);
                auto r = clients[size_t(i)]->reg_read(reg, 1);
                if (r && r->data() == Bytes{reg, 1, u8(0x30 + reg)})
                    ++good[size_t(i)];
            }
        });
    for (auto& t : threads)
        t.join();
    for (int i = 0; i < kClients; ++i)
        EXPECT_EQ(good[size_t(i)], 20) << "client " << i;
}

// CPU time of this process in microseconds (every thread: the server's work included).
long cpu_us()
{
    rusage r{};
    ::getrusage(RUSAGE_SELF, &r);
    return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000000L + r.ru_utime.tv_usec + r.ru_stime.tv_usec;
}

// Milliseconds of work the process does until one register read is answered. CPU time, not
// wall time: on a loaded machine waiting for a CPU is no delay of the server's making. A
// server that served the other client's backlog first would spend that work here; one
// blocked on the other client would not answer at all (the read times out and fails).
double reply_ms(testutil::TcpRemoteClient& c)
{
    const long t0 = cpu_us();
    auto r = c.reg_read(3, 1);
    EXPECT_TRUE(r && r->data() == (Bytes{3, 1, 0x33}));
    return double(cpu_us() - t0) / 1000.0;
}

TEST_F(Tcp, AClientThatNeverReadsDelaysNobodyAndIsDropped)
{
    // 10,000 reads of 1 KiB (10 MB of replies) from a client with a tiny receive window that
    // never reads: far more than the device buffers for one client.
    const int slow = ::socket(AF_INET, SOCK_STREAM, 0);
    const int small = 4096;
    ::setsockopt(slow, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(u16(g_port.load()));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(slow, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    const Bytes one = testutil::encode(
        testutil::make_frame(0xF100, testutil::kTool, 0x61, le32(0) + le16(1024) + le16(0)));
    Bytes burst;
    for (int i = 0; i < 10000; ++i)
        burst.insert(burst.end(), one.begin(), one.end());
    std::thread flood([&] { ::send(slow, burst.data(), burst.size(), MSG_NOSIGNAL); });

    double worst = 0;
    for (int i = 0; i < 50; ++i) {
        worst = std::max(worst, reply_ms(client));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    flood.join();
    EXPECT_LT(worst, 100.0) << "another client's request waited behind the one that never reads";
    // The kernel's buffers may hold much of the flood when the send returns; the device works
    // through it a frame a turn. The client still reads nothing until the device has dropped it
    // (reading earlier would make it a client that reads).
    const std::string log_path = remote_test::root().file("data/zeltaqn/log/kivEnglneLog");
    for (int i = 0; i < 1500 && testutil::read_file(log_path).find("bytes of replies unread, dropped") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    // The flooding client is dropped: its socket reaches end of stream once drained.
    bool closed = false;
    std::vector<u8> sink(1 << 16);
    for (int i = 0; i < 2000 && !closed; ++i) {
        pollfd p{slow, POLLIN, 0};
        if (::poll(&p, 1, 10) > 0)
            closed = ::recv(slow, sink.data(), sink.size(), 0) <= 0;
    }
    ::close(slow);
    EXPECT_TRUE(closed);
    EXPECT_NE(testutil::read_file(log_path).find("bytes of replies unread, dropped"), std::string::npos);
    EXPECT_LT(reply_ms(client), 100.0);
}

// True when the device closed the client's connection (end of stream within 3 s).
bool closed_by_device(testutil::TcpRemoteClient& c)
{
    u8 b;
    pollfd p{c.fd(), POLLIN, 0};
    return ::poll(&p, 1, 3000) == 1 && ::recv(c.fd(), &b, 1, 0) == 0;
}

using Clients = std::vector<std::unique_ptr<testutil::TcpRemoteClient>>;

// Connects a client from `from` (nullptr: an address of its own) and keeps it in `all`.
testutil::TcpRemoteClient& connect_one(Clients& all, const char* from = nullptr)
{
    all.emplace_back(new testutil::TcpRemoteClient);
    EXPECT_TRUE(all.back()->connect(u16(g_port.load()), 5000, from));
    return *all.back();
}

TEST_F(Tcp, ANewcomerGetsOnlyTheSlotOfAClientIdleFor30SecondsAndOneAddressHoldsFour)
{
    // Time is moved on by hand, from a minute back so that it never runs ahead of the real
    // clock the later tests find.
    static platform::VirtualClock& clock = clock_behind_real(60000000);
    platform::set_clock(&clock);
    const std::string log_path = remote_test::root().file("data/zeltaqn/log/kivEnglneLog");
    const size_t before = testutil::read_file(log_path).size();
    for (int i = 0; i < 40; ++i)  // peers connecting over and over, all within one second
        testutil::TcpRemoteClient().connect(u16(g_port.load()));
    ASSERT_TRUE(client.reg_read(3, 1));  // the working tool; the device has seen every close
    const std::string churn = testutil::read_file(log_path).substr(before);
    size_t lines = 0;
    for (size_t at = churn.find(" connected\n"); at != std::string::npos; at = churn.find(" connected\n", at + 1))
        ++lines;
    EXPECT_LE(lines, 5u) << churn;

    Clients peers;
    for (size_t i = 0; i < networkManage::kMaxPerAddress; ++i)
        EXPECT_TRUE(connect_one(peers, "127.0.0.200").reg_read(3, 1)) << "connection " << i << " of one address";
    EXPECT_TRUE(closed_by_device(connect_one(peers, "127.0.0.200"))) << "a fifth of one address";
    peers.pop_back();
    while (peers.size() + 1 < networkManage::kMaxClients)
        ASSERT_TRUE(connect_one(peers).reg_read(3, 1));

    // Every slot busy, nobody idle for 30 s: the newcomer is refused, the tool keeps its slot.
    for (int attempt = 0; attempt < 3; ++attempt)
        EXPECT_TRUE(closed_by_device(connect_one(peers)));
    peers.resize(networkManage::kMaxClients - 1);
    clock.advance_us(20 * 1000000ull);
    ASSERT_TRUE(client.reg_read(3, 1));
    clock.advance_us(11 * 1000000ull);
    EXPECT_TRUE(client.reg_read(3, 1)) << "the tool polled 11 s ago, so it stays";

    // 31 s on, the peers idle longest make way, the first of them first.
    testutil::TcpRemoteClient& newcomer = connect_one(peers);
    EXPECT_TRUE(newcomer.reg_read(3, 1));
    EXPECT_TRUE(closed_by_device(*peers.front()));
    EXPECT_TRUE(peers[1]->reg_read(3, 1));
    EXPECT_TRUE(client.reg_read(3, 1));
    platform::set_clock(nullptr);
    const std::string log = testutil::read_file(log_path).substr(before);
    EXPECT_NE(log.find("client 127.0.0.200 refused: its address has 4 connections"), std::string::npos);
    EXPECT_NE(log.find("refused: all 16 slots taken, none idle for 30 s"), std::string::npos);
    EXPECT_NE(log.find("client 127.0.0.200 idle for 30 s, closed to make room: all 16 slots taken"),
              std::string::npos);
}

// Tools that connect and leave at once while the server is busy take every slot in its next
// accept pass, their ends of stream not yet read: a tool connecting in that same pass is
// served, not refused for slots nobody holds any more.
TEST_F(Tcp, SlotsOfToolsThatAlreadyLeftAreFreeForANewcomer)
{
    const std::string log_path = remote_test::root().file("data/zeltaqn/log/kivEnglneLog");
    const size_t before = testutil::read_file(log_path).size();
    const Bytes ram_read = testutil::encode(
        testutil::make_frame(0xF100, testutil::kTool, 0x61, le32(0x400) + le16(2) + le16(0)));
    testutil::TcpRemoteClient newcomer;
    {
        QMutexLocker lk(&c331_shared::c331_lock);  // the server stops in this read until the end
        ASSERT_TRUE(client.send_bytes(ram_read));
        for (size_t i = 0; i + 1 < networkManage::kMaxClients; ++i) {
            testutil::TcpRemoteClient leaver;
            ASSERT_TRUE(leaver.connect(u16(g_port.load())));
        }
        ASSERT_TRUE(newcomer.connect(u16(g_port.load())));
    }
    EXPECT_TRUE(client.next_reply(3000));
    EXPECT_TRUE(newcomer.reg_read(3, 1)) << testutil::read_file(log_path).substr(before);
    EXPECT_EQ(testutil::read_file(log_path).find("refused", before), std::string::npos);
}

// A client's queued frames are served in turns with the other clients: a tool that asks
// while the server is inside 250 frames of another gets its answer after a few of them, not
// after the lot. Each of the flood's frames writes its number into register 5, so the tool's
// read of it tells how many were served before its own.
TEST_F(Tcp, AToolArrivingDuringAnotherClientsFloodIsServedWithinATurn)
{
    constexpr int kFlood = 250;
    Bytes flood;
    for (int k = 1; k <= kFlood; ++k)
        flood = flood + testutil::encode(testutil::make_frame(0xF100, testutil::kTool, 0x62, {5, u8(k), 0xFF}));
    testutil::TcpRemoteClient tool;
    ASSERT_TRUE(tool.connect(u16(g_port.load())));
    ASSERT_TRUE(tool.reg_read(5, 1));  // a client of the server before the flood comes
    {
        QMutexLocker lk(&c331_shared::c331_lock);  // the server stops in the flood's first frame
        remote_test::store()->reg_file[5] = 0;
        pc_cmd_valid = 0;
        ASSERT_TRUE(client.send_bytes(flood));
        // Inside the flood: the server has taken its first frame (which marks the remote
        // activity) and waits for the lock in it.
        for (int i = 0; i < 500 && pc_cmd_valid.load() == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_EQ(pc_cmd_valid.load(), 1) << "the server never took the flood's first frame";
        ASSERT_TRUE(tool.send_bytes(reg_read_wire(5, 1)));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the tool's frame has arrived
    }
    const auto r = tool.next_reply(5000);
    ASSERT_TRUE(r);
    ASSERT_EQ(r->data().size(), 3u);
    EXPECT_LE(int(r->data()[2]), 5) << "frames of the flood served before the tool's";
    int replies = 0;
    while (replies < kFlood && client.next_reply(3000))
        ++replies;
    EXPECT_EQ(replies, kFlood) << "every frame of the flood is served, in order";
    const auto last = tool.reg_read(5, 1);
    EXPECT_TRUE(last && last->data()[2] == kFlood) << "the flood's frames were served in order";
}

// A script that sends its requests and closes without waiting for the answers has every
// request the device received carried out, not only those served before its close was seen.
TEST_F(Tcp, FramesOfAClientThatClosedAfterSendingThemAreAllServed)
{
    constexpr int kFrames = 100;
    Bytes frames;
    for (int k = 1; k <= kFrames; ++k)
        frames = frames + testutil::encode(testutil::make_frame(0xF100, testutil::kTool, 0x62, {6, u8(k), 0xFF}));
    {
        QMutexLocker lk(&c331_shared::c331_lock);  // the server stops in the first frame
        remote_test::store()->reg_file[6] = 0;
        testutil::TcpRemoteClient script;
        ASSERT_TRUE(script.connect(u16(g_port.load())));
        ASSERT_TRUE(script.send_bytes(frames));
        script.close();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));  // every byte and the close arrived
    }
    std::optional<testutil::Frame> r;
    for (int attempt = 0; attempt < 100; ++attempt) {
        r = client.reg_read(6, 1);
        if (r && r->data().size() == 3 && r->data()[2] == kFrames)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(r && r->data().size() == 3);
    EXPECT_EQ(int(r->data()[2]), kFrames) << "frames served before the close was seen, the rest dropped";
}

TEST_F(Tcp, AFloodOfBadFramesLeavesTheLogSmallWithOneSuppressionLine)
{
    // The flood takes no time. Never destroyed: the transport threads may still be reading it.
    static platform::VirtualClock* const kept = new platform::VirtualClock(platform::clock().now_us() + 10000000);
    platform::VirtualClock& clock = *kept;
    platform::set_clock(&clock);
    const std::string log_path = remote_test::root().file("data/zeltaqn/log/kivEnglneLog");
    const size_t before = testutil::read_file(log_path).size();
    Bytes bad = testutil::make_frame(0xF100, testutil::kTool, 0x63, {0, 1});
    bad.back() ^= 0xFF;  // wrong checksum
    const Bytes one = testutil::encode(bad);
    Bytes flood;
    for (int i = 0; i < 20000; ++i)
        flood.insert(flood.end(), one.begin(), one.end());
    ASSERT_TRUE(client.send_bytes(flood));
    ASSERT_TRUE(client.reg_read(3, 1));  // served after the whole flood
    clock.advance_us(2000000);
    ASSERT_TRUE(client.send_bytes(one));
    ASSERT_TRUE(client.reg_read(3, 1));
    platform::set_clock(nullptr);

    const std::string added = testutil::read_file(log_path).substr(before);
    EXPECT_LT(added.size(), 4096u) << added;
    // One summary for the flood (the clients of the tests before may leave their own).
    const std::string flood_summary = "similar lines suppressed (remote: frame with bad checksum";
    size_t summaries = 0;
    for (size_t at = added.find(flood_summary); at != std::string::npos; at = added.find(flood_summary, at + 1))
        ++summaries;
    EXPECT_EQ(summaries, 1u) << added;
    EXPECT_NE(added.find("[DEBUG   ] # VELAMSG # 19995 similar lines suppressed (remote: frame with bad checksum dropped)"),
              std::string::npos)
        << added;
}

TEST(Udp, ReplyGoesToTheSendersPort)
{
    transports();
    remote_test::reset_store();
    {
        QMutexLocker lk(&c331_shared::c331_lock);  // the receive thread reads it
        remote_test::store()->ram_image[0x400] = 0xA5;  // escaped on the way back
    }
    testutil::UdpRemoteClient udp(u16(5008 + kUdpOffset));
    auto r = udp.ram_read(0x400, 2);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status(), 0);
    EXPECT_EQ(r->data(), (le32(0x400) + le16(2) + Bytes{0xA5, 0x00}));
    // Two frames in one datagram are both answered.
    ASSERT_TRUE(udp.send_bytes(reg_read_wire(0, 1) + reg_read_wire(1, 1)));
    EXPECT_TRUE(udp.next_reply(3000));
    EXPECT_TRUE(udp.next_reply(3000));
    // A tool's frame is stamped with its own tick (the card search pauses from it), ahead of
    // the ticks run while the panel still has ticks due: 30 at least here.
    tick_schedule(platform::clock().now_us() - 295000, 0);
    EXPECT_TRUE(udp.ram_read(0x400, 2));
    tick_schedule(0, 0);
    EXPECT_GE(pc_cmd_time.load() - G_timeTicks.load(), 30u);
    EXPECT_LT(pc_cmd_time.load() - G_timeTicks.load(), 1000u);
}

// A second device started on the same ports (or any program) cannot bind them and take the
// datagrams meant for this one without an error.
TEST(Udp, TheDevicesPortsCannotBeBoundAgain)
{
    transports();
    for (u16 base : {u16(5008), u16(13769)}) {
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        const int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(u16(base + kUdpOffset));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_NE(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0) << base;
        ::close(fd);
    }
}

// The device's own UDP path runs only on hw: its choice of addresses, checked without it. The
// sender sits on another subnet; only its port is kept for a protocol reply.
TEST(Udp, OnTheDeviceProtocolRepliesAreBroadcastAtTheSendersPortAndAtRepliesGoToTheSender)
{
    sockaddr_in from{};
    from.sin_family = AF_INET;
    from.sin_port = htons(40001);
    ASSERT_EQ(1, inet_pton(AF_INET, "10.20.30.40", &from.sin_addr));
    struct Case {
        bool sim, protocol;
        const char* to;
    };
    for (const Case& c : {Case{false, true, "255.255.255.255"}, Case{false, false, "10.20.30.40"},
                          Case{true, true, "127.0.0.1"}, Case{true, false, "127.0.0.1"}}) {
        const sockaddr_in to = remote::udp_reply_address(from, c.protocol, c.sim);
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &to.sin_addr, text, sizeof text);
        EXPECT_STREQ(c.to, text) << "sim " << c.sim << " protocol " << c.protocol;
        EXPECT_EQ(40001, ntohs(to.sin_port));
        EXPECT_EQ(AF_INET, to.sin_family);
    }
    EXPECT_EQ(htonl(INADDR_ANY), remote::server_bind_address(false));
    EXPECT_TRUE(remote::udp_protocol_broadcasts(false));
    EXPECT_EQ(htonl(INADDR_LOOPBACK), remote::server_bind_address(true));
    EXPECT_FALSE(remote::udp_protocol_broadcasts(true));

    // The sockets themselves, on a free port: the options and the address each board's are
    // opened with.
    struct Socket {
        bool sim, protocol;
        int broadcast;
        in_addr_t bound;
    };
    for (const Socket& c : {Socket{false, true, 1, htonl(INADDR_ANY)}, Socket{false, false, 0, htonl(INADDR_ANY)},
                            Socket{true, true, 0, htonl(INADDR_LOOPBACK)},
                            Socket{true, false, 0, htonl(INADDR_LOOPBACK)}}) {
        const int fd = c.protocol ? udpnetManage::open_protocol_socket(c.sim, 0) : udpnetManage::open_at_socket(c.sim, 0);
        ASSERT_GE(fd, 0);
        int broadcast = -1, reuse = -1;
        socklen_t len = sizeof broadcast;
        ::getsockopt(fd, SOL_SOCKET, SO_BROADCAST, &broadcast, &len);
        len = sizeof reuse;
        ::getsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, &len);
        sockaddr_in bound{};
        len = sizeof bound;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &len);
        ::close(fd);
        EXPECT_EQ(c.broadcast, broadcast) << "sim " << c.sim << " protocol " << c.protocol;
        EXPECT_EQ(0, reuse) << "sim " << c.sim << " protocol " << c.protocol;  // a second binder gets an error
        EXPECT_EQ(c.bound, bound.sin_addr.s_addr) << "sim " << c.sim << " protocol " << c.protocol;
    }
}

TEST(Serial, FramesOverThePseudoTerminal)
{
    Transports& t = transports();
    ASSERT_TRUE(t.pty.ok());
    remote_test::reset_store();
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        remote_test::store()->reg_file[7] = 0x5A;
    }
    const Bytes wire = reg_read_wire(7, 1);
    // Split in two writes with a pause: the serial line delivers frames in pieces.
    ASSERT_TRUE(t.pty.send_bytes(Bytes(wire.begin(), wire.begin() + 5)));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    ASSERT_TRUE(t.pty.send_bytes(Bytes(wire.begin() + 5, wire.end())));
    auto r = t.pty.next_reply(3000);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->data(), (Bytes{7, 1, 0x5A}));
}

TEST(Idle, TransportsSleepInsteadOfSpinning)
{
    transports();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    rusage before{}, after{};
    ::getrusage(RUSAGE_SELF, &before);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    ::getrusage(RUSAGE_SELF, &after);
    auto us = [](const rusage& r) {
        return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000000L + r.ru_utime.tv_usec + r.ru_stime.tv_usec;
    };
    EXPECT_LT(us(after) - us(before), 10000) << "more than 1% of a core while idle";
}

namespace {

const std::string& log_path()
{
    static const std::string p = remote_test::root().file("data/zeltaqn/log/kivEnglneLog");
    return p;
}

// A frame whose source is a device address, as a device's reply carries one.
Bytes from_device_wire(u16 src, u8 cmd, const Bytes& data)
{
    return testutil::encode(testutil::make_frame(0xF100, src, cmd, data));
}

// A UDP socket bound to `address` at `port`; -1 when it cannot be.
int udp_socket_at(const char* address, u16 port)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    ::inet_pton(AF_INET, address, &a.sin_addr);
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

}  // namespace

// The device never sends requests: a frame with one of its addresses as source is a reply
// and gets none (else one datagram starts an endless exchange), and a datagram from its own
// protocol port on one of its own addresses is its own reply heard back and is not served.
TEST(Udp, FramesFromADeviceAddressOrTheDevicesOwnPortAreNotAnswered)
{
    transports();
    remote_test::reset_store();
    const u16 port = u16(5008 + kUdpOffset);
    testutil::UdpRemoteClient udp(port);
    for (u16 src : {0xF100, 0xF101, 0xF000, 0xF001}) {
        ASSERT_TRUE(udp.send_bytes(from_device_wire(src, 0x63, {0x25, 0x03})));
        EXPECT_FALSE(udp.next_reply(300)) << "source " << std::hex << src;
    }
    EXPECT_TRUE(udp.reg_read(0x25, 3)) << "a tool's frame is still answered";

    // The datagram that started the exchange, sent from the device's own port.
    const int own = udp_socket_at("127.0.0.2", port);
    ASSERT_GE(own, 0);
    const Bytes storm = {0xA5, 0xA5, 0xA5, 0x00, 0xF1, 0x00, 0xF1, 0x10, 0x00, 0x00,
                         0x00, 0x00, 0x63, 0x25, 0x03, 0x55, 0x5A};
    sockaddr_in device{};
    device.sin_family = AF_INET;
    device.sin_port = htons(port);
    device.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::sendto(own, storm.data(), storm.size(), 0, reinterpret_cast<sockaddr*>(&device), sizeof device);
    // A tool's register write from that port is not served either.
    const Bytes write = testutil::encode(testutil::make_frame(0xF100, testutil::kTool, 0x62, {3, 0x77, 0xFF}));
    ::sendto(own, write.data(), write.size(), 0, reinterpret_cast<sockaddr*>(&device), sizeof device);
    ::close(own);
    // The AT channel the same: its "ERROR" answer to its own "ERROR" would never end.
    const u16 at_port = u16(13769 + kUdpOffset);
    const u16 wifi_before = ram_rd16(remote_test::store()->ram_image, ram_wifi_disabled);
    const int own_at = udp_socket_at("127.0.0.2", at_port);
    ASSERT_GE(own_at, 0);
    device.sin_port = htons(at_port);
    const std::string wifi_off = "AT+SETDATA=2";
    ::sendto(own_at, wifi_off.data(), wifi_off.size(), 0, reinterpret_cast<sockaddr*>(&device), sizeof device);
    ::close(own_at);
    ASSERT_TRUE(udp.reg_read(3, 1));  // the device has taken the protocol datagrams by now
    EXPECT_TRUE(testutil::UdpRemoteClient(at_port).exchange_text("AT"));  // and the AT one
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    QMutexLocker lk(&c331_shared::c331_lock);
    EXPECT_NE(remote_test::store()->reg_file[3], 0x77);
    EXPECT_EQ(ram_rd16(remote_test::store()->ram_image, ram_wifi_disabled), wifi_before) << "AT command from its own port served";
}

// A UDP echo service (or another device) as the sender: whatever the device sends it comes
// straight back. One datagram starts no exchange on either port: the AT channel answers only
// "AT" requests, the protocol port no frame from a device address.
TEST(Udp, AnEchoingPeerGetsNoReplyToTheDevicesOwnReplies)
{
    transports();
    remote_test::reset_store();
    const auto replies_to = [](u16 port, const Bytes& first) {
        const int echo = udp_socket_at("127.0.0.1", 0);
        EXPECT_GE(echo, 0);
        sockaddr_in device{};
        device.sin_family = AF_INET;
        device.sin_port = htons(port);
        device.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::sendto(echo, first.data(), first.size(), 0, reinterpret_cast<sockaddr*>(&device), sizeof device);
        int replies = 0;
        for (; replies < 50; ++replies) {
            pollfd pfd{echo, POLLIN, 0};
            u8 buf[2048];
            if (::poll(&pfd, 1, 300) <= 0)
                break;
            const ssize_t n = ::recv(echo, buf, sizeof buf, 0);
            ::sendto(echo, buf, size_t(std::max<ssize_t>(n, 0)), 0, reinterpret_cast<sockaddr*>(&device), sizeof device);
        }
        ::close(echo);
        return replies;
    };
    const u16 at_port = u16(13769 + kUdpOffset);
    for (const char* text : {"X", "ERROR\r\n", "OK\r\n", "+VER:K57N\r\nOK\r\n", "at+getver"})
        EXPECT_EQ(replies_to(at_port, testutil::text_bytes(text)), 0) << text;
    EXPECT_EQ(replies_to(at_port, testutil::text_bytes("AT+NOSUCH")), 1) << "its ERROR is not answered";
    EXPECT_EQ(replies_to(at_port, testutil::text_bytes("AT+GETVER")), 1);
    EXPECT_EQ(replies_to(u16(5008 + kUdpOffset), reg_read_wire(0x25, 3)), 1);
}

// A half-duplex adapter hears what the device sends: the device's reply comes back as input
// and must not be answered again.
TEST(Serial, AnEchoingAdapterStartsNoExchange)
{
    Transports& t = transports();
    ASSERT_TRUE(t.pty.ok());
    ASSERT_TRUE(t.pty.send_bytes(from_device_wire(0xF100, 0x63, {0x25, 0x03})));
    int echoed = 0;
    for (; echoed < 20; ++echoed) {
        const auto r = t.pty.next_reply(300);
        if (!r)
            break;
        ASSERT_TRUE(t.pty.send_bytes(testutil::encode(r->bytes)));
    }
    EXPECT_EQ(echoed, 0);
    auto r = t.pty.reg_read(7, 1);
    EXPECT_TRUE(r);
}

// A transfer whose connection closed cannot be finished by anybody: it ends with the
// connection, and another tool may start one at once.
TEST_F(Tcp, ATransferEndsWhenItsConnectionCloses)
{
    {
        testutil::TcpRemoteClient a;
        ASSERT_TRUE(a.connect(u16(g_port.load())));
        auto r = a.request(0x64, testutil::text_bytes("OSDS") + le32(2048));
        ASSERT_TRUE(r && r->status() == ST_DONE);
        r = a.request(0x65, le32(0) + le16(4) + Bytes{'{', '"', 'a', '"'});
        ASSERT_TRUE(r && r->status() == ST_DONE);
    }
    std::optional<testutil::Frame> r;
    for (int attempt = 0; attempt < 100; ++attempt) {  // the device sees the close within a moment
        r = client.request(0x64, testutil::text_bytes("OSDS") + le32(8));
        if (!r || r->status() != ST_BUSY)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status(), ST_DONE) << "still busy 2 s after the owner's connection closed";
    EXPECT_EQ(testutil::read_file(log_path()).find("abandoned, its connection closed") == std::string::npos, false);
}

// Peers that send a byte now and then but never a whole frame are idle: a tool arriving
// after they took every slot gets the place of one of them once it has been idle for 30 s.
TEST(TcpSlots, PeersThatNeverEndAFrameMakeWayForATool)
{
    transports();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the clients of earlier tests are gone
    static platform::VirtualClock& clock = clock_behind_real(100000000);
    platform::set_clock(&clock);
    Clients drippers;
    const char* addresses[] = {"127.0.0.10", "127.0.0.11", "127.0.0.12", "127.0.0.13"};
    for (size_t i = 0; i < networkManage::kMaxClients; ++i)
        ASSERT_TRUE(connect_one(drippers, addresses[i % 4]).send_bytes({0xA5, 0x00, 0xF1}));
    // The server takes the connections up on its own thread: let it, before time moves. A
    // server late by a few rounds on a loaded machine still sees them idle for over 30 s.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (int round = 0; round < 10; ++round) {  // one byte each every 5 s, for 50 s
        clock.advance_us(5000000);
        for (auto& d : drippers)
            d->send_bytes({0x00});
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    testutil::TcpRemoteClient tool;
    ASSERT_TRUE(tool.connect(u16(g_port.load())));
    const bool served = bool(tool.reg_read(3, 1));
    platform::set_clock(nullptr);
    EXPECT_TRUE(served) << "the drippers kept every slot";
}

namespace {

// A minute of flood on the tool's connection, `round(second)` frames each second of virtual
// time; returns what the log gained. Every round is served before time moves on.
std::string flood_for_a_minute(testutil::TcpRemoteClient& c, const std::function<Bytes(int)>& round)
{
    static platform::VirtualClock& clock = clock_behind_real(200000000);
    platform::set_clock(&clock);
    const size_t before = testutil::read_file(log_path()).size();
    for (int second = 0; second < 60; ++second) {
        EXPECT_TRUE(c.send_bytes(round(second) + reg_read_wire(3, 1)));
        for (auto r = c.next_reply(5000); r && r->cmd() != 0x63; r = c.next_reply(5000)) {
        }
        clock.advance_us(1000000);
    }
    EXPECT_TRUE(c.reg_read(3, 1));  // the last second's summary is written
    platform::set_clock(nullptr);
    const std::string log = testutil::read_file(log_path());
    EXPECT_NE(log.find("networkManage: listening on TCP port"), std::string::npos) << "start-up lines lost";
    return log.size() >= before ? log.substr(before) : log;
}

}  // namespace

// Frames to ever new destinations: each names its own in the line, yet all are one kind,
// and a minute of them costs the log a few kilobytes a second at most.
TEST_F(Tcp, AMinuteOfFramesToManyDestinationsLeavesTheHistory)
{
    const std::string added = flood_for_a_minute(client, [](int second) {
        Bytes wire;
        for (int i = 0; i < 300; ++i) {
            const u16 dst = u16(0xF200 + (second * 300 + i) % 0x0E00);
            wire = wire + testutil::encode(testutil::make_frame(dst, testutil::kTool, 0x63, {0, 1}));
        }
        return wire;
    });
    EXPECT_LT(added.size(), 200000u);
    EXPECT_NE(added.find("similar lines suppressed (remote: frame for 0x"), std::string::npos);
}

// Repeated file-write starts: their line is limited like any other a peer causes.
TEST_F(Tcp, AMinuteOfRepeatedFileWriteStartsLeavesTheHistory)
{
    const Bytes start = testutil::encode(
        testutil::make_frame(0xF100, testutil::kTool, 0x64, testutil::text_bytes("OSDS") + le32(16)));
    const std::string added = flood_for_a_minute(client, [&start](int) {
        Bytes wire;
        for (int i = 0; i < 200; ++i)
            wire = wire + start;
        return wire;
    });
    EXPECT_LT(added.size(), 200000u);
    EXPECT_NE(added.find("similar lines suppressed (remote: file write OSDS of"), std::string::npos) << added.substr(0, 3000);
}
