#pragma once
// The processor's side of the remote protocol: command codes, reply status bytes, size limits
// and the little-endian field helpers the handlers share. Frame field offsets (FRAME_DST ...)
// and the byte codec live in core/protocol_phy.h.
#include <cstdint>
#include <cstring>

#include "core/globals.h"

namespace remote {

// Destination addresses the processor answers to.
constexpr u16 kAddrProcessor0 = 0xF100;
constexpr u16 kAddrProcessor1 = 0xF101;
// A frame for a receiving card: destination below kCardDstLimit and source kCardSrc.
constexpr u16 kCardDstLimit = 0xF000;
constexpr u16 kCardSrc = 0xF010;

// Decoded frame sizes: 10 header bytes + data + checksum.
constexpr u32 kHeaderLen = 10;
constexpr u32 kMinFrame = 11;
constexpr u32 kMaxFrame = 8192;  // a whole 4098-byte user-mode slot write fits in one frame
// Largest wire form of a frame: three start bytes, every byte escaped, one end byte.
constexpr u32 kMaxWire = 3 + 2 * kMaxFrame + 1;

// Command byte (FRAME_CMD) of the processor's commands.
enum Cmd : u8 {
    CMD_RAM_WRITE = 0x60,
    CMD_RAM_READ = 0x61,
    CMD_REG_WRITE = 0x62,
    CMD_REG_READ = 0x63,
    CMD_FILE_WRITE_START = 0x64,
    CMD_FILE_WRITE_BLOCK = 0x65,
    CMD_FILE_WRITE_END = 0x66,
    CMD_FILE_READ_START = 0x67,
    CMD_FILE_READ_BLOCK = 0x68,
    CMD_FILE_READ_END = 0x69,
    CMD_DEVICE_INFO = 0x6A,
    CMD_NET_SETTINGS = 0x6B,
};

// First byte of every reply's data.
enum Status : u8 {
    ST_DONE = 0,
    ST_REFUSED = 1,   // address, length, register, code or argument out of range
    ST_UNKNOWN = 2,   // unknown command
    ST_FAILED = 3,    // I/O error, digest mismatch
    ST_BUSY = 4,      // a file transfer is under way elsewhere
};

// Transport numbers (also the values of g_passby_trans_port).
enum Transport : u8 { TR_SERIAL = 1, TR_TCP = 2, TR_UDP = 3 };

// Who asked: the transport in bits 48..55, the requester on that transport (a TCP client, a
// UDP sender's address and port) in bits 0..47. The file transfer belongs to one requester.
using Requester = uint64_t;
inline Requester requester(u8 transport, uint64_t peer)
{
    return (Requester(transport) << 48) | (peer & 0xFFFFFFFFFFFFull);
}

constexpr u32 kMaxRamBlock = 1024;   // RAM read and file block length limit
constexpr u32 kRegisterCount = 170;  // registers 0..169

inline u16 get_u16(const u8* p) { return u16(p[0] | (p[1] << 8)); }
inline u32 get_u32(const u8* p) { return u32(p[0]) | (u32(p[1]) << 8) | (u32(p[2]) << 16) | (u32(p[3]) << 24); }
inline void put_u16(u8* p, u16 v) { p[0] = u8(v); p[1] = u8(v >> 8); }
inline void put_u32(u8* p, u32 v) { p[0] = u8(v); p[1] = u8(v >> 8); p[2] = u8(v >> 16); p[3] = u8(v >> 24); }

// A reply that is its status byte alone; returns the reply data length.
inline u32 status_only(u8* out, u8 status)
{
    out[0] = status;
    return 1;
}

// The 4-byte address and 2-byte length that open a RAM or flash request.
struct AddrLen {
    u32 addr;
    u16 len;
};

// Reads the request's address and length and echoes both into the reply after its status byte.
inline AddrLen echo_addr_len(const u8* data, u8* out)
{
    const AddrLen r{get_u32(data), get_u16(data + 4)};
    put_u32(out + 1, r.addr);
    put_u16(out + 5, r.len);
    return r;
}

// Answers a register read (first register, count): echoes both after the status byte and
// refuses an empty run or one reaching past `limit`; otherwise `read(first, count, values)`
// puts the values after the echo. Returns the reply data length.
template <class Read>
u32 register_read_reply(const u8* data, u32 dlen, u8* out, u32 limit, Read read)
{
    if (dlen < 2)
        return status_only(out, ST_REFUSED);
    const u32 first = data[0], count = data[1];
    out[1] = u8(first);
    out[2] = u8(count);
    if (count < 1 || first + count > limit) {
        out[0] = ST_REFUSED;
        return 3;
    }
    read(first, count, out + 3);
    out[0] = ST_DONE;
    return 3 + count;
}

}  // namespace remote
