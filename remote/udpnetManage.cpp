#include "remote/udpnetManage.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/log.h"
#include "platform/fd_wait.h"
#include "platform/thread_name.h"
#include "remote/at_channel.h"
#include "remote/net_common.h"
#include "remote/thread_start.h"
#include "video_io/fpga_manage.h"

using namespace remote;

udpnetManage* udpnetManage::p_udpnetManage = nullptr;

namespace {
constexpr u16 kProtocolPort = 5008;
constexpr u16 kAtPort = 13769;
constexpr size_t kDatagramMax = 65536;
constexpr size_t kAtMaxQueue = 64;  // replies waiting to be sent; more are dropped

int open_udp(u16 port, bool broadcast, bool sim)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (broadcast)
        ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = server_bind_address(sim);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

udpnetManage::udpnetManage() : endpoint(TR_UDP) {}

int udpnetManage::open_protocol_socket(bool sim, u16 port)
{
    return open_udp(port, udp_protocol_broadcasts(sim), sim);
}

int udpnetManage::open_at_socket(bool sim, u16 port) { return open_udp(port, false, sim); }

udpnetManage* udpnetManage::pInstance()
{
    if (!p_udpnetManage) {
        p_udpnetManage = new udpnetManage();
        p_udpnetManage->initialize();
    }
    return p_udpnetManage;
}

int udpnetManage::initialize()
{
    int rc = 0;
    if (g_udpnetmode) {
        fd_5008_ = open_protocol_socket(on_sim_board(), udp_port(kProtocolPort));
        fpga_manage::set_relay(TR_UDP, [](const u8* f, u32 n, uint64_t peer) {
            p_udpnetManage->endpoint.relay(f, n, peer);
        });
        if (fd_5008_ < 0) {
            writeLogMsg(LOG_ERROR, "udpnetManage: cannot open UDP port " + std::to_string(udp_port(kProtocolPort)));
            rc = 1;
        } else if (!start_thread("udpnetManage", "udpacceptThread", [this] { udpacceptThread(); })) {
            return 255;
        }
    }
    fd_13769_ = open_at_socket(on_sim_board(), udp_port(kAtPort));
    if (fd_13769_ < 0) {
        writeLogMsg(LOG_ERROR, "udpnetManage: cannot open UDP port " + std::to_string(udp_port(kAtPort)));
        return 1;
    }
    if (!start_thread("udpnetManage", "udp_13769_acceptThread", [this] { udp_13769_acceptThread(); }) ||
        !start_thread("udpnetManage", "udp_13769_sendThread", [this] { udp_13769_sendThread(); }))
        return 255;
    return rc;
}

sockaddr_in udpnetManage::reply_address(const sockaddr_in& from) const
{
    return udp_reply_address(from, true, on_sim_board());
}

// A datagram from one of the device's own ports (`base`, shifted on sim) on one of its own
// addresses is its own reply (on the board protocol replies are broadcast, so the device
// hears them too): answering it would start an endless exchange with itself.
bool udpnetManage::own_echo(const sockaddr_in& from, u16 base) const
{
    return ntohs(from.sin_port) == udp_port(base) && is_own_address(from.sin_addr.s_addr);
}

void udpnetManage::udpacceptThread()
{
    platform::name_this_thread("udp-server");
    devlog::limit_this_thread();  // every line here is caused by a peer
    std::vector<u8> buf(kDatagramMax);
    // A card's answer goes to the sender that asked (its address and port are the requester id).
    auto send_relayed = [this](uint64_t peer, const u8* bytes, size_t length) {
        sockaddr_in from{};
        from.sin_family = AF_INET;
        from.sin_addr.s_addr = htonl(uint32_t(peer >> 16));
        from.sin_port = htons(uint16_t(peer));
        const sockaddr_in to = reply_address(from);
        ::sendto(fd_5008_, bytes, length, MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    };
    for (;;) {
        pollfd pfd{fd_5008_, POLLIN, 0};
        const int ready = wait_for_input(&pfd, 1, endpoint.pass_wait_ms());
        endpoint.poll_pass_through();
        endpoint.take_relayed(send_relayed);
        if (ready <= 0)
            continue;
        sockaddr_in from{};
        socklen_t flen = sizeof from;
        const ssize_t n = ::recvfrom(fd_5008_, buf.data(), buf.size(), 0,
                                     reinterpret_cast<sockaddr*>(&from), &flen);
        if (n <= 0 || own_echo(from, kProtocolPort))
            continue;
        const sockaddr_in to = reply_address(from);
        const uint64_t peer = (uint64_t(ntohl(from.sin_addr.s_addr)) << 16) | ntohs(from.sin_port);
        auto send_reply = [this, &to](const u8* bytes, size_t length) {
            // The socket never blocks: a reply the kernel cannot take now is lost, as any datagram may be.
            ::sendto(fd_5008_, bytes, length, MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        };
        endpoint.receive(stream_of(peer), buf.data(), size_t(n), send_reply, peer);
    }
}

FrameReassembler& udpnetManage::stream_of(uint64_t peer)
{
    ++use_count_;
    Peer* oldest = &peers_[0];
    for (Peer& p : peers_) {
        if (p.used && p.id == peer) {
            p.used = use_count_;
            return p.stream;
        }
        if (p.used < oldest->used)
            oldest = &p;
    }
    // A new sender takes the slot used longest ago; a frame it left half-sent goes with it.
    oldest->id = peer;
    oldest->used = use_count_;
    oldest->stream.reset();
    return oldest->stream;
}

void udpnetManage::udp_13769_acceptThread()
{
    platform::name_this_thread("at-server");
    devlog::limit_this_thread();  // every line here is caused by a peer
    char buf[512];
    for (;;) {
        pollfd pfd{fd_13769_, POLLIN, 0};
        if (platform::poll_fds(&pfd, 1, -1) <= 0)
            continue;
        sockaddr_in from{};
        socklen_t flen = sizeof from;
        const ssize_t n = ::recvfrom(fd_13769_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &flen);
        if (n <= 0 || own_echo(from, kAtPort))
            continue;
        AtReply r{at_reply(std::string(buf, size_t(n))), udp_reply_address(from, false, on_sim_board())};
        if (r.text.empty())
            continue;
        std::lock_guard<std::mutex> lk(at_mutex_);
        if (at_queue_.size() < kAtMaxQueue)
            at_queue_.push_back(std::move(r));
        at_cv_.notify_one();
    }
}

void udpnetManage::udp_13769_sendThread()
{
    platform::name_this_thread("at-reply");
    for (;;) {
        AtReply r;
        {
            std::unique_lock<std::mutex> lk(at_mutex_);
            at_cv_.wait(lk, [this] { return !at_queue_.empty(); });
            r = std::move(at_queue_.front());
            at_queue_.pop_front();
        }
        ::sendto(fd_13769_, r.text.data(), r.text.size(), 0, reinterpret_cast<const sockaddr*>(&r.to),
                 sizeof r.to);
    }
}
