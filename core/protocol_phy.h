#pragma once
// Byte-level codec of the remote-control protocol's frames.
//
// On the wire a frame is opened by 0xA5 and closed by 0x5A. Inside, the four delimiter and
// escape bytes are escaped: 0xA5 -> A6 02, 0xA6 -> A6 01, 0x5A -> 5B 02, 0x5B -> 5B 01; a
// prefix followed by any other byte is no escape, and its frame is bad.
// A decoded frame starts with the destination and source addresses (16-bit little-endian)
// and ends with the XOR checksum of all bytes before it (Utils::BCC).
#include <cstdint>

#include "core/globals.h"

// Byte offsets of the fields of a decoded frame. The checksum is the last byte.
enum : u32 {
    FRAME_DST = 0,
    FRAME_SRC = 2,
    FRAME_BYTE4 = 4,
    FRAME_BYTE5 = 5,
    FRAME_MODE = 6,
    FRAME_NETPORT = 7,
    FRAME_BYTE8 = 8,
    FRAME_CMD = 9,
};
// Index of the checksum byte in a decoded frame of `length` bytes (length >= 1).
inline u32 FRAME_BCC(u32 length) { return length - 1; }

namespace phy {
constexpr u8 kStart = 0xA5;
constexpr u8 kEnd = 0x5A;
constexpr u8 kEscA6 = 0xA6;  // prefix for 0xA5 (A6 02) and 0xA6 (A6 01)
constexpr u8 kEsc5B = 0x5B;  // prefix for 0x5A (5B 02) and 0x5B (5B 01)
constexpr u8 kEscLiteral = 0x01;  // after a prefix: the prefix byte itself
constexpr u8 kEscDelim = 0x02;    // after a prefix: the delimiter it stands for
constexpr u32 kPreambleLength = 3;  // the encoder opens with three start bytes
}  // namespace phy

class protocol_phy {
public:
    protocol_phy() = default;

    // Decodes the frame in `in` into `out` (room for `length` bytes; `out` may equal `in`).
    // Decoding starts after the last 0xA5 before the first closing 0x5A and stops at that
    // 0x5A; *complete is 1 when a closing byte was seen. Returns the decoded length.
    // A frame split over two calls is not joined.
    u32 data_transf_meaning(const u8* in, u8* out, u32 length, u8* complete);
    // Whether the frame the last decode returned held an escape prefix followed by anything
    // but 01 or 02: such a frame is not one the protocol can send and is to be dropped.
    bool bad_escape() const { return bad_escape_; }

    // Encodes `length` body bytes for sending: A5 A5 A5, the escaped body, 5A.
    // `out` needs room for 2 * length + 4 bytes. *flag is set to 0. Returns the wire length.
    u32 data_re_transf_meaning(u8* out, const u8* in, u32 length, u8* flag);

    // Exchanges the destination and source address words so a request header serves its reply.
    static void swap_phy_head(u8* frame);

private:
    // Kept for inspection only: each call starts from its own fresh state.
    u8 decode_state_ = 0;
    u8 encode_state_ = 0;
    bool bad_escape_ = false;
};
