#pragma once
// The anchor of the remote benchmarks: a minimal epoll TCP server on loopback that answers
// every frame it receives (counted by its closing byte 0x5A, which appears nowhere else on
// the wire) with fixed bytes, the device's own reply to that request. It parses, checks and
// stores nothing, so what the device costs beyond it is the device's overhead, measured in
// the same run on the same machine.
#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace bench {

class AnchorServer {
public:
    AnchorServer()
    {
        listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const int one = 1;
        ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listen_fd_, 64);
        ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        stop_fd_ = ::eventfd(0, EFD_CLOEXEC);
        ep_ = ::epoll_create1(EPOLL_CLOEXEC);
        add(listen_fd_);
        add(stop_fd_);
        thread_ = std::thread([this] { run(); });
    }
    ~AnchorServer()
    {
        const uint64_t one = 1;
        (void)!::write(stop_fd_, &one, sizeof one);
        thread_.join();
        ::close(ep_);
        ::close(stop_fd_);
        ::close(listen_fd_);
    }
    uint16_t port() const { return port_; }
    // The bytes sent for each frame received; set while no client talks.
    void set_reply(std::vector<uint8_t> reply) { reply_ = std::move(reply); }

private:
    void add(int fd)
    {
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.fd = fd;
        ::epoll_ctl(ep_, EPOLL_CTL_ADD, fd, &ev);
    }
    void run()
    {
        std::vector<uint8_t> in(65536), out;
        epoll_event evs[64];
        for (;;) {
            const int n = ::epoll_wait(ep_, evs, 64, -1);
            for (int i = 0; i < n; ++i) {
                const int fd = evs[i].data.fd;
                if (fd == stop_fd_)
                    return;
                if (fd == listen_fd_) {
                    int c;
                    while ((c = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0) {
                        const int one = 1;
                        ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                        add(c);
                    }
                    continue;
                }
                const ssize_t got = ::recv(fd, in.data(), in.size(), 0);
                if (got <= 0) {
                    ::close(fd);
                    continue;
                }
                out.clear();
                for (ssize_t k = 0; k < got; ++k)
                    if (in[size_t(k)] == 0x5A)
                        out.insert(out.end(), reply_.begin(), reply_.end());
                for (size_t sent = 0; sent < out.size();) {
                    const ssize_t w = ::send(fd, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
                    if (w <= 0 && errno != EINTR)
                        break;
                    sent += w > 0 ? size_t(w) : 0;
                }
            }
        }
    }

    int listen_fd_ = -1, stop_fd_ = -1, ep_ = -1;
    uint16_t port_ = 0;
    std::vector<uint8_t> reply_;
    std::thread thread_;
};

}  // namespace bench
