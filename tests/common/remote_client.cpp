#include "common/remote_client.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace testutil {

Bytes le16(uint16_t v) { return {uint8_t(v), uint8_t(v >> 8)}; }
Bytes le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }
Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Bytes text_bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Frame::data() const
{
    if (bytes.size() < 12)
        return {};
    return Bytes(bytes.begin() + 11, bytes.end() - 1);
}

uint8_t bcc(const uint8_t* p, size_t n)
{
    uint8_t x = 0;
    for (size_t i = 0; i < n; ++i)
        x ^= p[i];
    return x;
}

Bytes make_frame(uint16_t dst, uint16_t src, uint8_t cmd, const Bytes& data)
{
    Bytes f = le16(dst) + le16(src) + Bytes{0, 0, 0, 0, 0, cmd} + data;
    f.push_back(bcc(f.data(), f.size()));
    return f;
}

Bytes encode(const Bytes& decoded)
{
    Bytes w{0xA5, 0xA5, 0xA5};
    for (uint8_t b : decoded) {
        switch (b) {
        case 0xA5: w.insert(w.end(), {0xA6, 0x02}); break;
        case 0xA6: w.insert(w.end(), {0xA6, 0x01}); break;
        case 0x5A: w.insert(w.end(), {0x5B, 0x02}); break;
        case 0x5B: w.insert(w.end(), {0x5B, 0x01}); break;
        default: w.push_back(b);
        }
    }
    w.push_back(0x5A);
    return w;
}

Bytes decode(const Bytes& wire)
{
    Bytes out;
    uint8_t prefix = 0;
    bool closed = false;
    for (uint8_t b : wire) {
        if (b == 0xA5) {
            out.clear();
            prefix = 0;
            closed = false;
        } else if (b == 0x5A) {
            closed = true;
            break;
        } else if (b == 0xA6 || b == 0x5B) {
            prefix = b;
        } else {
            if (prefix == 0xA6)
                out.push_back(b == 0x02 ? 0xA5 : 0xA6);
            else if (prefix == 0x5B)
                out.push_back(b == 0x02 ? 0x5A : 0x5B);
            else
                out.push_back(b);
            prefix = 0;
        }
    }
    return closed ? out : Bytes{};
}

void RemoteClient::take(const uint8_t* p, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        if (p[i] == 0xA5) {
            stream_.assign(1, 0xA5);
            open_ = true;
        } else if (open_) {
            stream_.push_back(p[i]);
            if (p[i] == 0x5A) {
                open_ = false;
                Frame f{decode(stream_)};
                if (f.bytes.size() >= 11 && bcc(f.bytes.data(), f.bytes.size() - 1) == f.bytes.back())
                    ready_.push_back(f);
            }
        }
    }
}

std::optional<Frame> RemoteClient::next_reply(int timeout_ms)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (ready_.empty()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              until - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            return std::nullopt;
        uint8_t buf[65536];
        const int n = read_some(buf, sizeof buf, int(left));
        if (n < 0)
            return std::nullopt;
        take(buf, size_t(n));
    }
    Frame f = ready_.front();
    ready_.pop_front();
    return f;
}

std::optional<Frame> RemoteClient::request(uint8_t cmd, const Bytes& data, int timeout_ms, uint16_t dst)
{
    if (!send_bytes(encode(make_frame(dst, kTool, cmd, data))))
        return std::nullopt;
    return next_reply(timeout_ms);
}

std::optional<Frame> RemoteClient::ram_write(uint32_t addr, const Bytes& bytes)
{
    return request(0x60, le32(addr) + le16(uint16_t(bytes.size())) + le16(0) + bytes);
}
std::optional<Frame> RemoteClient::ram_read(uint32_t addr, uint16_t len)
{
    return request(0x61, le32(addr) + le16(len) + le16(0));
}
std::optional<Frame> RemoteClient::reg_write(uint8_t reg, uint8_t value, uint8_t mask)
{
    return request(0x62, {reg, value, mask});
}
std::optional<Frame> RemoteClient::reg_read(uint8_t first, uint8_t count)
{
    return request(0x63, {first, count});
}

int RemoteClient::write_file(const std::string& code, const Bytes& content, Bytes md5, size_t block)
{
    auto r = request(0x64, text_bytes(code) + le32(uint32_t(content.size())));
    if (!r)
        return -1;
    if (r->status() != 0)
        return r->status();
    for (size_t off = 0; off < content.size(); off += block) {
        const size_t n = std::min(block, content.size() - off);
        r = request(0x65, le32(uint32_t(off)) + le16(uint16_t(n)) +
                              Bytes(content.begin() + long(off), content.begin() + long(off + n)));
        if (!r)
            return -1;
        if (r->status() != 0)
            return r->status();
    }
    r = request(0x66, md5.empty() ? md5_of(content) : md5, 10000);
    return r ? r->status() : -1;
}

std::optional<Bytes> RemoteClient::read_file(const std::string& code)
{
    auto r = request(0x67, text_bytes(code));
    if (!r || r->status() != 0 || r->data().size() != 4)
        return std::nullopt;
    const Bytes d = r->data();
    const uint32_t total = d[0] | d[1] << 8 | d[2] << 16 | uint32_t(d[3]) << 24;
    Bytes content;
    while (content.size() < total) {
        const uint16_t n = uint16_t(std::min<size_t>(1024, total - content.size()));
        r = request(0x68, le32(uint32_t(content.size())) + le16(n));
        if (!r || r->status() != 0 || r->data().size() != 6u + n)
            return std::nullopt;
        const Bytes b = r->data();
        content.insert(content.end(), b.begin() + 6, b.end());
    }
    r = request(0x69, {});
    if (!r || r->status() != 0 || r->data() != md5_of(content))
        return std::nullopt;
    return content;
}

Bytes md5_of(const Bytes& data)
{
    const QByteArray h = QCryptographicHash::hash(
        QByteArray(reinterpret_cast<const char*>(data.data()), int(data.size())), QCryptographicHash::Md5);
    return Bytes(h.begin(), h.end());
}

namespace {
int wait_read(int fd, uint8_t* buf, size_t cap, int timeout_ms, bool socket)
{
    pollfd p{fd, POLLIN, 0};
    const int pr = ::poll(&p, 1, timeout_ms);
    if (pr == 0)
        return 0;
    if (pr < 0)
        return errno == EINTR ? 0 : -1;
    const ssize_t n = socket ? ::recv(fd, buf, cap, 0) : ::read(fd, buf, cap);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return 0;
    return n <= 0 ? -1 : int(n);
}

sockaddr_in loopback(uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// Binds a socket to `from`, or to the next loopback address of 127.0.0.2..127.0.0.254.
void bind_source(int fd, const char* from)
{
    static std::atomic<unsigned> next{0};
    sockaddr_in a = loopback(0);
    if (from)
        ::inet_pton(AF_INET, from, &a.sin_addr);
    else
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK + 1 + next++ % 253);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
}
}  // namespace

// ---- TCP ----------------------------------------------------------------------------------

TcpRemoteClient::~TcpRemoteClient() { close(); }

bool TcpRemoteClient::connect(uint16_t port, int timeout_ms, const char* from)
{
    close();
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    do {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        bind_source(fd_, from);
        sockaddr_in a = loopback(port);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
            const int one = 1;
            ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            return true;
        }
        close();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (std::chrono::steady_clock::now() < until);
    return false;
}

void TcpRemoteClient::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool TcpRemoteClient::send_bytes(const Bytes& wire)
{
    return fd_ >= 0 && ::send(fd_, wire.data(), wire.size(), MSG_NOSIGNAL) == ssize_t(wire.size());
}

int TcpRemoteClient::read_some(uint8_t* buf, size_t cap, int timeout_ms)
{
    return fd_ < 0 ? -1 : wait_read(fd_, buf, cap, timeout_ms, true);
}

// ---- UDP ----------------------------------------------------------------------------------

UdpRemoteClient::UdpRemoteClient(uint16_t device_port) : port_(device_port)
{
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopback(0);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
}

UdpRemoteClient::~UdpRemoteClient()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool UdpRemoteClient::send_bytes(const Bytes& wire)
{
    sockaddr_in a = loopback(port_);
    return ::sendto(fd_, wire.data(), wire.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a) ==
           ssize_t(wire.size());
}

int UdpRemoteClient::read_some(uint8_t* buf, size_t cap, int timeout_ms)
{
    const int n = wait_read(fd_, buf, cap, timeout_ms, true);
    return n < 0 ? 0 : n;  // a datagram socket has no end of stream
}

std::optional<std::string> UdpRemoteClient::exchange_text(const std::string& text, int timeout_ms)
{
    if (!send_bytes(text_bytes(text)))
        return std::nullopt;
    uint8_t buf[2048];
    const int n = wait_read(fd_, buf, sizeof buf, timeout_ms, true);
    if (n <= 0)
        return std::nullopt;
    return std::string(reinterpret_cast<char*>(buf), size_t(n));
}

// ---- pseudo-terminal ---------------------------------------------------------------------

PtyRemoteClient::PtyRemoteClient()
{
    fd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0 || ::grantpt(fd_) != 0 || ::unlockpt(fd_) != 0) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        return;
    }
    slave_ = ::ptsname(fd_);
    slave_fd_ = ::open(slave_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    ::tcgetattr(slave_fd_, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave_fd_, TCSANOW, &t);
}

PtyRemoteClient::~PtyRemoteClient()
{
    if (slave_fd_ >= 0)
        ::close(slave_fd_);
    if (fd_ >= 0)
        ::close(fd_);
}

bool PtyRemoteClient::link_as(const std::string& link)
{
    ::unlink(link.c_str());
    return ::symlink(slave_.c_str(), link.c_str()) == 0;
}

bool PtyRemoteClient::send_bytes(const Bytes& wire)
{
    return fd_ >= 0 && ::write(fd_, wire.data(), wire.size()) == ssize_t(wire.size());
}

int PtyRemoteClient::read_some(uint8_t* buf, size_t cap, int timeout_ms)
{
    return fd_ < 0 ? -1 : wait_read(fd_, buf, cap, timeout_ms, false);
}

}  // namespace testutil
