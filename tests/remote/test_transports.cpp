// The transports in process over loopback sockets and a pseudo-terminal: what the
// whole-process tests do not reach (the serial line, a client leaving mid-frame, more
// clients than the device needs to serve, two frames in one datagram, idle CPU).
#include "remote_fixture.h"

#include "common/device_process.h"

#include <arpa/inet.h>
#include <chrono>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "core/globals.h"
#include "remote/Qn_uart_inout.h"
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
