#include "remote/networkManage.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/log.h"
#include "remote/net_common.h"
#include "remote/thread_start.h"

using namespace remote;

networkManage* networkManage::p_networkManage = nullptr;

namespace {
constexpr size_t kReadChunk = 4096;
}  // namespace

networkManage::networkManage() : endpoint(TR_TCP) {}

networkManage* networkManage::pInstance()
{
    if (!p_networkManage) {
        p_networkManage = new networkManage();
        p_networkManage->initialize();
    }
    return p_networkManage;
}

int networkManage::initialize()
{
    port_ = g_port.load();
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(u16(port_));
    a.sin_addr.s_addr = server_bind_address();
    if (listen_fd_ < 0 || ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listen_fd_, 16) != 0) {
        std::printf("\n networkManage: cannot listen on TCP port %d\n", port_);
        writeLogMsg(LOG_ERROR, "networkManage: cannot listen on TCP port " + std::to_string(port_));
        if (listen_fd_ >= 0)
            ::close(listen_fd_);
        listen_fd_ = -1;
        return 1;
    }
    set_nonblocking(listen_fd_);
    if (!start_thread("networkManage", "acceptThread", [this] { acceptThread(); }))
        return 255;
    writeLogMsg(LOG_INFO, "networkManage: listening on TCP port " + std::to_string(port_));
    return 0;
}

void networkManage::acceptThread()
{
    std::vector<pollfd> fds;
    for (;;) {
        fds.clear();
        fds.push_back({listen_fd_, POLLIN, 0});
        for (const auto& c : clients_)
            fds.push_back({c->fd, POLLIN, 0});
        if (wait_for_input(fds.data(), fds.size()) <= 0)
            continue;
        // Clients first, from the back, so closing one does not move the others' indexes.
        for (size_t i = fds.size() - 1; i >= 1; --i)
            if (fds[i].revents && !serve_client(i - 1))
                close_client(i - 1);
        if (fds[0].revents & POLLIN)
            accept_clients();
    }
}

void networkManage::accept_clients()
{
    for (;;) {
        const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            return;
        if (clients_.size() >= kMaxClients) {
            writeLogMsg(LOG_WARNING, "networkManage: too many clients, connection refused");
            ::close(fd);
            continue;
        }
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        clients_.push_back(std::unique_ptr<Client>(new Client{fd, next_id_++, {}}));
        writeLogMsg(LOG_INFO, "networkManage: client connected");
    }
}

bool networkManage::serve_client(size_t index)
{
    Client& c = *clients_[index];
    u8 buf[kReadChunk];
    const ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
        return false;
    if (n < 0)
        return true;
    SendRecord to;
    to.fd = c.fd;
    endpoint.receive(c.stream, buf, size_t(n), to, c.id);
    flush_queue();
    return true;
}

void networkManage::flush_queue()
{
    for (const SendRecord& r : endpoint.take_queue())
        if (!send_all(r.fd, r.bytes.data(), r.bytes.size(), true))
            writeLogMsg(LOG_DEBUG, "networkManage: reply lost, client gone");
}

void networkManage::close_client(size_t index)
{
    ::close(clients_[index]->fd);  // a half-received frame goes with its buffer
    clients_.erase(clients_.begin() + long(index));
    writeLogMsg(LOG_INFO, "networkManage: client disconnected");
}
