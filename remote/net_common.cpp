#include "remote/net_common.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <ifaddrs.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/board.h"
#include "platform/fd_wait.h"

namespace remote {

bool on_sim_board() { return std::strcmp(platform::board().name(), "sim") == 0; }

in_addr_t server_bind_address() { return server_bind_address(on_sim_board()); }

in_addr_t server_bind_address(bool sim) { return sim ? htonl(INADDR_LOOPBACK) : htonl(INADDR_ANY); }

sockaddr_in udp_reply_address(const sockaddr_in& from, bool protocol, bool sim)
{
    sockaddr_in to = from;
    if (sim)
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    else if (protocol)
        to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    return to;
}

uint16_t udp_port(uint16_t base)
{
    if (!on_sim_board())
        return base;
    const char* off = std::getenv("K57_SIM_UDP_PORT_OFFSET");
    const long v = off ? std::strtol(off, nullptr, 10) : 0;
    return (v > 0 && v < 60000 - base) ? uint16_t(base + v) : base;
}

bool send_all(int fd, const void* data, size_t length, bool socket)
{
    const char* p = static_cast<const char*>(data);
    while (length > 0) {
        const ssize_t w = socket ? ::send(fd, p, length, MSG_NOSIGNAL) : ::write(fd, p, length);
        if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd pfd{fd, POLLOUT, 0};
            if (platform::poll_fds(&pfd, 1, 1000) <= 0)  // a peer that takes nothing for 1 s is given up
                return false;
            continue;
        }
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        p += w;
        length -= size_t(w);
    }
    return true;
}

bool is_own_address(in_addr_t address)
{
    if ((ntohl(address) >> 24) == IN_LOOPBACKNET)
        return true;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return false;
    bool own = false;
    for (const ifaddrs* i = list; i && !own; i = i->ifa_next)
        own = i->ifa_addr && i->ifa_addr->sa_family == AF_INET &&
              reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr == address;
    ::freeifaddrs(list);
    return own;
}

void set_nonblocking(int fd)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

}  // namespace remote
