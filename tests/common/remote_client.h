#pragma once
// A client of the device's remote protocol for tests: builds request frames, escapes and
// frames them on its own (independent of the device's codec), sends them over TCP, UDP or a
// pseudo-terminal and reassembles, unescapes and checks the replies.
//
//   testutil::TcpRemoteClient c;
//   ASSERT_TRUE(c.connect(5005));
//   auto r = c.request(0x61, testutil::le32(0x300) + testutil::le16(16) + testutil::le16(0));
//   ASSERT_TRUE(r && r->status() == 0);
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace testutil {

using Bytes = std::vector<uint8_t>;

Bytes le16(uint16_t v);
Bytes le32(uint32_t v);
Bytes operator+(Bytes a, const Bytes& b);
Bytes text_bytes(const std::string& s);

// A decoded frame: dst, src, bytes 4..8, command, data, checksum.
struct Frame {
    Bytes bytes;
    uint16_t dst() const { return uint16_t(bytes[0] | bytes[1] << 8); }
    uint16_t src() const { return uint16_t(bytes[2] | bytes[3] << 8); }
    uint8_t cmd() const { return bytes[9]; }
    // Reply data: status first.
    uint8_t status() const { return bytes.size() > 11 ? bytes[10] : 0xFF; }
    Bytes data() const;          // the bytes after the status, without the checksum
};

constexpr uint16_t kProcessor = 0xF100;
constexpr uint16_t kTool = 0xF010 + 1;  // a PC tool's source address (not the card source)

// The decoded request: header, data, XOR checksum.
Bytes make_frame(uint16_t dst, uint16_t src, uint8_t cmd, const Bytes& data);
// Wire form: A5 A5 A5, escaped body, 5A.
Bytes encode(const Bytes& decoded);
// Unescapes one wire frame (from its last A5 to 5A); empty when not closed.
Bytes decode(const Bytes& wire);
uint8_t bcc(const uint8_t* p, size_t n);

class RemoteClient {
public:
    virtual ~RemoteClient() = default;
    virtual bool send_bytes(const Bytes& wire) = 0;

    // The next good reply frame, waiting up to timeout_ms; nullopt on time-out.
    std::optional<Frame> next_reply(int timeout_ms);
    // Sends one request to the processor and waits for its reply.
    std::optional<Frame> request(uint8_t cmd, const Bytes& data, int timeout_ms = 3000,
                                 uint16_t dst = kProcessor);

    // Shorthands for the common commands.
    std::optional<Frame> ram_write(uint32_t addr, const Bytes& bytes);
    std::optional<Frame> ram_read(uint32_t addr, uint16_t len);
    std::optional<Frame> reg_write(uint8_t reg, uint8_t value, uint8_t mask = 0xFF);
    std::optional<Frame> reg_read(uint8_t first, uint8_t count);
    // Whole file write (start, blocks of `block` bytes, end with `md5`, or the right digest
    // when md5 is empty). Returns the status of the first command that did not succeed,
    // or of the end command.
    int write_file(const std::string& code, const Bytes& content, Bytes md5 = {}, size_t block = 1024);
    // Whole file read; nullopt when a command fails or the digest does not match.
    std::optional<Bytes> read_file(const std::string& code);

protected:
    // Reads what is there within timeout_ms: > 0 bytes, 0 time-out, -1 closed or error.
    virtual int read_some(uint8_t* buf, size_t cap, int timeout_ms) = 0;

private:
    void take(const uint8_t* p, size_t n);
    Bytes stream_;
    bool open_ = false;
    std::deque<Frame> ready_;
};

class TcpRemoteClient : public RemoteClient {
public:
    ~TcpRemoteClient() override;
    // Connects to the device on loopback, retrying until the server listens. Each client
    // comes from its own loopback address (127.0.0.2 onwards, in turn) unless `from` names
    // one, so that the clients of a test count as separate tools (the device limits the
    // connections of one address).
    bool connect(uint16_t port, int timeout_ms = 5000, const char* from = nullptr);
    void close();
    bool send_bytes(const Bytes& wire) override;
    int fd() const { return fd_; }

protected:
    int read_some(uint8_t* buf, size_t cap, int timeout_ms) override;

private:
    int fd_ = -1;
};

class UdpRemoteClient : public RemoteClient {
public:
    explicit UdpRemoteClient(uint16_t device_port);
    ~UdpRemoteClient() override;
    bool send_bytes(const Bytes& wire) override;
    // Raw datagram exchange (the AT channel).
    std::optional<std::string> exchange_text(const std::string& text, int timeout_ms = 3000);

protected:
    int read_some(uint8_t* buf, size_t cap, int timeout_ms) override;

private:
    int fd_ = -1;
    uint16_t port_;
};

// A pseudo-terminal whose other side the device opens as its serial port.
class PtyRemoteClient : public RemoteClient {
public:
    PtyRemoteClient();
    ~PtyRemoteClient() override;
    bool ok() const { return fd_ >= 0; }
    const std::string& slave_path() const { return slave_; }
    // Makes `link` (e.g. "<root>/dev/ttyS2") a symbolic link to the slave side.
    bool link_as(const std::string& link);
    bool send_bytes(const Bytes& wire) override;

protected:
    int read_some(uint8_t* buf, size_t cap, int timeout_ms) override;

private:
    int fd_ = -1;
    int slave_fd_ = -1;  // kept open so that the master never sees a hang-up
    std::string slave_;
};

// MD5 of a byte string (RFC 1321), computed by the client itself.
Bytes md5_of(const Bytes& data);

}  // namespace testutil
