#include "remote/networkManage.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/log.h"
#include "platform/clock.h"
#include "platform/thread_name.h"
#include "remote/file_transfer.h"
#include "remote/net_common.h"
#include "remote/thread_start.h"
#include "video_io/fpga_manage.h"

using namespace remote;

networkManage* networkManage::p_networkManage = nullptr;

namespace {
constexpr size_t kReadChunk = 4096;

uint64_t now_us() { return platform::clock().now_us(); }

std::string address_text(uint32_t address)
{
    char text[INET_ADDRSTRLEN] = {};
    in_addr a{};
    a.s_addr = address;
    ::inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}
}  // namespace

networkManage::networkManage() : endpoint(TR_TCP), bus_(TR_TCP) {}

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
    ep_ = ::epoll_create1(EPOLL_CLOEXEC);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.ptr = nullptr;  // the listening socket
    ::epoll_ctl(ep_, EPOLL_CTL_ADD, listen_fd_, &ev);
    if (bus_.start({"tcp-bus", "tcp-flash"})) {
        ev.data.ptr = &bus_;  // results of the bus thread
        ::epoll_ctl(ep_, EPOLL_CTL_ADD, bus_.wake_fd(), &ev);
        endpoint.set_bus_worker(&bus_);
    }
    fpga_manage::set_relay(TR_TCP, [](const u8* f, u32 n, uint64_t peer) {
        p_networkManage->endpoint.relay(f, n, peer);
    });
    if (!start_thread("networkManage", "acceptThread", [this] { acceptThread(); }))
        return 255;
    writeLogMsg(LOG_INFO, "networkManage: listening on TCP port " + std::to_string(port_));
    return 0;
}

void networkManage::acceptThread()
{
    platform::name_this_thread("tcp-server");
    devlog::limit_this_thread();  // every line here is caused by a peer
    epoll_event events[kMaxClients + 1];
    bool more = false;     // a client has bytes waiting for its next turn: only look, do not wait
    int deadline_ms = -1;  // until the next stall or idle deadline
    for (;;) {
        const int n = wait_for_events(ep_, events, int(kMaxClients + 1),
                                      more ? 0 : earliest_ms(deadline_ms, endpoint.pass_wait_ms()));
        const uint64_t now = now_us();  // the time of this wake-up, for every client served in it
        serve_pass_through();
        bool pending_accept = false;
        for (int e = 0; e < n; ++e) {
            if (events[e].data.ptr == &bus_) {
                take_bus_results();
                continue;
            }
            Client* c = static_cast<Client*>(events[e].data.ptr);
            if (!c) {
                pending_accept = true;  // the listening socket
                continue;
            }
            const size_t i = index_of(c);
            if (i == clients_.size())
                continue;
            const uint32_t ev = events[e].events;
            if (ev & (EPOLLIN | EPOLLHUP | EPOLLERR))
                c->readable = true;
            if ((ev & EPOLLOUT) && !flush_client(i))
                close_client(i);
        }
        if (pending_accept)
            accept_clients();
        more = serve_turn(now);
        deadline_ms = sweep_clients(now);
    }
}

// One turn: a frame of every client that has one waiting. From the back, so closing one
// does not move the indexes still to come.
bool networkManage::serve_turn(uint64_t now)
{
    bool more = false;
    for (size_t i = clients_.size(); i-- > 0;) {
        if (!clients_[i]->waiting())
            continue;
        if (serve_client(i, now))
            more = more || clients_[i]->waiting();
        else
            close_client(i);
    }
    return more;
}

// Every client once per wake-up: replies queued outside its own events (a relayed card
// answer) are sent, and a stalled or idle client is closed. From the back, so closing one
// does not move the others' indexes. Returns the milliseconds until the next stall or idle
// deadline of the clients kept, -1 for none.
int networkManage::sweep_clients(uint64_t now)
{
    uint64_t due = UINT64_MAX;
    for (size_t i = clients_.size(); i-- > 0;) {
        const Client& c = *clients_[i];
        const bool keep = (!c.unsent() || c.out_armed || flush_client(i)) && !overdue(i, now);
        if (!keep) {
            close_client(i);
            continue;
        }
        due = std::min(due, c.last_rx_us + kIdleUs);
        if (c.stalled_us)
            due = std::min(due, c.stalled_us + kStallUs);
    }
    if (due == UINT64_MAX)
        return -1;
    return due <= now ? 0 : int(std::min<uint64_t>((due - now + 999) / 1000, INT32_MAX));
}

size_t networkManage::index_of(const Client* c) const
{
    for (size_t i = 0; i < clients_.size(); ++i)
        if (clients_[i].get() == c)
            return i;
    return clients_.size();  // none (an event names only clients still in the table)
}

// Asks for a wake-up when the client's socket takes more bytes, or stops asking.
void networkManage::arm_output(Client& c, bool on)
{
    if (c.out_armed == on)
        return;
    epoll_event ev{};
    ev.events = on ? EPOLLIN | EPOLLOUT | EPOLLET : EPOLLIN | EPOLLET;
    ev.data.ptr = &c;
    ::epoll_ctl(ep_, EPOLL_CTL_MOD, c.fd, &ev);
    c.out_armed = on;
}

// A card's answer goes to the client that asked, if it is still connected.
void networkManage::serve_pass_through()
{
    endpoint.poll_pass_through();
    endpoint.take_relayed([this](uint64_t peer, const u8* bytes, size_t length) {
        for (size_t i = 0; i < clients_.size(); ++i)
            if (clients_[i]->id == peer)
                queue_reply(*clients_[i], bytes, length);
    });
}

// A bus frame's reply goes to its client, if it is still connected, whose next frame may then
// be served; what was left of it in parts goes on at the client's next turn.
void networkManage::take_bus_results()
{
    bus_.take_results([this](BusWorker::Result& r) {
        for (auto& c : clients_) {
            if (c->id != r.peer)
                continue;
            c->stream.away = false;
            c->stream.rest.swap(r.rest);
            if (!r.wire.empty())
                send_reply(*c, r.wire.data(), r.wire.size());
        }
    });
}

void networkManage::queue_reply(Client& c, const u8* bytes, size_t length)
{
    if (c.gone)
        return;
    if (c.unsent() + length > kMaxUnsent) {
        c.overflow = true;
        return;
    }
    if (c.out_head > 0 && c.out_head >= c.out.size() / 2) {  // reuse the sent front
        c.out.erase(c.out.begin(), c.out.begin() + long(c.out_head));
        c.out_head = 0;
    }
    c.out.insert(c.out.end(), bytes, bytes + length);
}

// A reply goes out at once, from where it was encoded, when none of the client's waits before
// it; what the socket does not take now waits in the client's buffer.
void networkManage::send_reply(Client& c, const u8* bytes, size_t length)
{
    if (c.gone)
        return;
    if (c.unsent() == 0 && !c.overflow) {
        const ssize_t w = ::send(c.fd, bytes, length, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (w > 0) {
            c.stalled_us = 0;
            bytes += w;
            length -= size_t(w);
        } else if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            peer_gone(c);
            return;
        }
        if (length == 0)
            return;
    }
    queue_reply(c, bytes, length);
}

// Connect, disconnect and refusal lines are DEBUG and WARNING lines, which the log limits
// to a few a second: peers connecting over and over cannot push the log's history out.
void networkManage::accept_clients()
{
    for (;;) {
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const int fd = ::accept4(listen_fd_, reinterpret_cast<sockaddr*>(&from), &length,
                                 SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            return;
        if (make_room(from.sin_addr.s_addr))
            add_client(fd, from.sin_addr.s_addr);
        else
            ::close(fd);
    }
}

bool networkManage::has_room(uint32_t address) const
{
    return count_of(address) < kMaxPerAddress && clients_.size() < kMaxClients;
}

// Peers that left while their slots were taken in this same pass (a burst of tools that
// connect and close at once) have ended their streams, but the loop reads those ends only
// after it; read them now, so that a newcomer never waits on a slot nobody holds.
void networkManage::serve_readable_clients()
{
    for (size_t i = clients_.size(); i-- > 0;) {
        Client& c = *clients_[i];
        pollfd p{c.fd, POLLIN, 0};
        if (c.in_head == c.in_end && c.stream.rest.empty() && !c.stream.away && ::poll(&p, 1, 0) == 1) {
            c.readable = true;
            if (!serve_client(i, now_us()))
                close_client(i);
        }
    }
}

bool networkManage::make_room(uint32_t address)
{
    if (has_room(address))
        return true;
    serve_readable_clients();
    if (has_room(address))
        return true;
    const bool address_full = count_of(address) >= kMaxPerAddress;
    const std::string why = address_full ? "its address has " + std::to_string(kMaxPerAddress) + " connections"
                                         : "all " + std::to_string(kMaxClients) + " slots taken";
    const size_t idle = longest_idle(address_full ? &address : nullptr);
    if (idle == clients_.size() || idle_us(idle, now_us()) <= kEvictIdleUs) {
        writeLogMsg(LOG_WARNING, "networkManage: client " + address_text(address) + " refused: " + why +
                                     ", none idle for 30 s");
        return false;
    }
    writeLogMsg(LOG_WARNING, "networkManage: client " + address_text(clients_[idle]->address) +
                                 " idle for 30 s, closed to make room: " + why);
    close_client(idle);
    return true;
}

void networkManage::add_client(int fd, uint32_t address)
{
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::unique_ptr<Client> c(new Client);
    c->fd = fd;
    c->id = next_id_++;
    c->address = address;
    c->last_rx_us = now_us();
    c->in.resize(kReadChunk);
    c->readable = true;  // what it sent with its connect is served in this turn
    epoll_event ev{};
    ev.events = EPOLLIN | EPOLLET;
    ev.data.ptr = c.get();
    ::epoll_ctl(ep_, EPOLL_CTL_ADD, fd, &ev);
    clients_.push_back(std::move(c));
    writeLogMsg(LOG_DEBUG, "networkManage: client " + address_text(address) + " connected");
}

size_t networkManage::longest_idle(const uint32_t* address) const
{
    size_t idle = clients_.size();
    for (size_t i = 0; i < clients_.size(); ++i)
        if ((!address || clients_[i]->address == *address) &&
            (idle == clients_.size() || clients_[i]->last_rx_us < clients_[idle]->last_rx_us))
            idle = i;
    return idle;
}

size_t networkManage::count_of(uint32_t address) const
{
    return size_t(std::count_if(clients_.begin(), clients_.end(),
                                [address](const auto& c) { return c->address == address; }));
}

// A clock set back (a test's) leaves times in the future: idle 0 then.
uint64_t networkManage::idle_us(size_t index, uint64_t now) const
{
    const uint64_t last = clients_[index]->last_rx_us;
    return now > last ? now - last : 0;
}

// The socket is read only when the bytes of the last read are all served, so a client's
// backlog stays in the kernel's buffer and, when that fills, with the client itself.
// `now`: the time of this wake-up, the frame's time.
bool networkManage::serve_client(size_t index, uint64_t now)
{
    Client& c = *clients_[index];
    if (c.in_head == c.in_end && c.stream.rest.empty()) {
        if (c.gone)
            return false;  // what it sent beyond the bytes already read goes with it
        const ssize_t n = ::recv(c.fd, c.in.data(), c.in.size(), 0);
        c.in_head = 0;
        c.in_end = n > 0 ? size_t(n) : 0;
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            return false;
        // A short read took all there was; the next event says when more comes.
        c.readable = n == ssize_t(kReadChunk) || (n < 0 && errno == EINTR);
        if (n < 0)
            return true;
    }
    auto reply = [this, &c](const u8* bytes, size_t length) { send_reply(c, bytes, length); };
    bool taken = false;
    c.in_head += endpoint.receive_one(c.stream, c.in.data() + c.in_head, c.in_end - c.in_head, reply, c.id, taken);
    if (taken)
        c.last_rx_us = now;  // bytes of a frame that never ends keep no slot
    return flush_client(index);
}

bool networkManage::flush_client(size_t index)
{
    Client& c = *clients_[index];
    if (c.gone)
        return true;  // its end is read when its last frame has been served
    if (c.overflow) {
        writeLogMsg(LOG_WARNING, "networkManage: client leaves more than " + std::to_string(kMaxUnsent) +
                                     " bytes of replies unread, dropped");
        return false;
    }
    while (c.unsent() > 0) {
        const ssize_t w = ::send(c.fd, c.out.data() + c.out_head, c.unsent(), MSG_NOSIGNAL);
        if (w > 0) {
            c.out_head += size_t(w);
            c.stalled_us = 0;
        } else if (w < 0 && errno == EINTR) {
            continue;
        } else if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (c.stalled_us == 0)
                c.stalled_us = now_us();
            arm_output(c, true);
            return true;  // the rest goes when the socket takes it
        } else {
            peer_gone(c);
            return true;
        }
    }
    c.out.clear();  // keeps its capacity for the next replies
    c.out_head = 0;
    arm_output(c, false);
    return true;
}

// A peer that closed its connection right after its requests (a script that does not wait for
// the answers) has them carried out all the same: the frames of the bytes the device had read
// from it (one read, up to kReadChunk) are still served in the client's turns, and only their
// replies, which nobody can take, are dropped. Then the client is closed: a backlog left in the
// socket by a peer that went away (a flood, a killed tool) is not worked through.
void networkManage::peer_gone(Client& c)
{
    writeLogMsg(LOG_DEBUG, "networkManage: client gone, its replies dropped");
    c.gone = true;
    c.out.clear();
    c.out_head = 0;
    c.stalled_us = 0;
    arm_output(c, false);
}

bool networkManage::overdue(size_t index, uint64_t now) const
{
    const Client& c = *clients_[index];
    if (c.stalled_us && now >= c.stalled_us + kStallUs) {
        writeLogMsg(LOG_WARNING, "networkManage: client took no replies for 5 s, dropped");
        return true;
    }
    if (now >= c.last_rx_us + kIdleUs) {
        writeLogMsg(LOG_INFO, "networkManage: client idle for 10 minutes, closed");
        return true;
    }
    return false;
}

void networkManage::close_client(size_t index)
{
    const uint32_t address = clients_[index]->address;
    ::close(clients_[index]->fd);  // a half-received frame and unsent replies go with it
    file_transfer_owner_gone(requester(TR_TCP, clients_[index]->id));
    clients_.erase(clients_.begin() + long(index));
    writeLogMsg(LOG_DEBUG, "networkManage: client " + address_text(address) + " disconnected");
}
