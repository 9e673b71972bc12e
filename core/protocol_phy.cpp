#include "core/protocol_phy.h"

#include <cstring>

namespace {

enum DecodeState : u8 { kOutside = 0, kInside = 1, kAfterA6 = 2, kAfter5B = 3 };

constexpr uint64_t kOnes = 0x0101010101010101ULL;
constexpr uint64_t kLows = 0x7F7F7F7F7F7F7F7FULL;

// High bit set in exactly the bytes of y that are zero.
inline uint64_t zero_bytes(uint64_t y) { return ~(((y & kLows) + kLows) | y | kLows); }

// High bit set in exactly the bytes of w that are a delimiter or an escape prefix.
// 0x5A and 0x5B differ only in bit 0, so one compare covers both.
inline uint64_t special_bytes(uint64_t w)
{
    return zero_bytes((w | kOnes) ^ (kOnes * 0x5B)) | zero_bytes(w ^ (kOnes * 0xA5)) |
           zero_bytes(w ^ (kOnes * 0xA6));
}

// Index (0..7) of the first byte, in memory order, whose high bit is set in mask (mask != 0).
inline u32 first_byte(uint64_t mask)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return u32(__builtin_clzll(mask)) / 8;
#else
    return u32(__builtin_ctzll(mask)) / 8;
#endif
}

inline uint64_t load_word(const u8* p)
{
    uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

inline void store_word(u8* p, uint64_t w) { std::memcpy(p, &w, sizeof w); }

// Wire form of every byte value: up to two bytes and their count, so that escaping needs
// no branch on the byte's value.
struct WireByte {
    u8 bytes[2];
    u8 count;
};
struct WireTable {
    WireByte of[256];
    // Decoding: prefix 1 = A6, 2 = 5B; second byte 1 = 01, 2 = 02; 0 = neither.
    u8 pair_first[256];
    u8 pair_second[256];
    u8 pair_value[2][2];
    constexpr WireTable() : of(), pair_first(), pair_second(), pair_value()
    {
        pair_first[phy::kEscA6] = 1;
        pair_first[phy::kEsc5B] = 2;
        pair_second[phy::kEscLiteral] = 1;
        pair_second[phy::kEscDelim] = 2;
        pair_value[0][0] = phy::kEscA6;
        pair_value[0][1] = phy::kStart;
        pair_value[1][0] = phy::kEsc5B;
        pair_value[1][1] = phy::kEnd;
        for (int v = 0; v < 256; ++v)
            of[v] = WireByte{{u8(v), 0}, 1};
        of[phy::kStart] = WireByte{{phy::kEscA6, phy::kEscDelim}, 2};
        of[phy::kEscA6] = WireByte{{phy::kEscA6, phy::kEscLiteral}, 2};
        of[phy::kEnd] = WireByte{{phy::kEsc5B, phy::kEscDelim}, 2};
        of[phy::kEsc5B] = WireByte{{phy::kEsc5B, phy::kEscLiteral}, 2};
    }
};
constexpr WireTable kWire;

// Writes one body byte as it goes on the wire (always two bytes stored; the output has room
// for every byte doubled); returns the bytes that count (1 or 2).
inline u32 put_escaped(u8* out, u8 b)
{
    const WireByte& w = kWire.of[b];
    out[0] = w.bytes[0];
    out[1] = w.bytes[1];
    return w.count;
}

// Decodes complete escape pairs that follow each other (dense runs stay here instead of
// going through the state machine byte by byte). Returns the input bytes consumed; the
// state stays inside.
inline u32 decode_pairs(const u8* in, u32 avail, u8* out, u32& n)
{
    u32 i = 0;
    for (; avail - i >= 2; i += 2) {
        const u8 first = kWire.pair_first[in[i]];
        const u8 second = kWire.pair_second[in[i + 1]];
        if (!(first && second))
            break;
        out[n++] = kWire.pair_value[first - 1][second - 1];
    }
    return i;
}

// The byte an escape pair stands for; `second` is 0x01 or 0x02.
inline u8 unescape(u8 state, u8 second)
{
    if (state == kAfterA6)
        return second == phy::kEscLiteral ? phy::kEscA6 : phy::kStart;
    if (state == kAfter5B)
        return second == phy::kEscLiteral ? phy::kEsc5B : phy::kEnd;
    return second;
}

// One step of the decoder on byte b. Returns false when the closing byte ends the frame.
// A prefix followed by anything but 01 or 02 (the closing byte and another prefix included)
// is no escape of the protocol: the frame is marked bad, so that a byte changed or inserted
// on the way cannot pass as another frame with the same checksum.
inline bool decode_byte(u8 b, u8& state, u8& done, bool& bad, u8* out, u32& n)
{
    if (b == phy::kStart) {
        // A start byte restarts the frame wherever it appears.
        state = kInside;
        done = 0;
        bad = false;
        n = 0;
        return true;
    }
    if (state == kOutside)
        return true;
    const bool after_prefix = state == kAfterA6 || state == kAfter5B;
    if (after_prefix && b != phy::kEscLiteral && b != phy::kEscDelim)
        bad = true;
    if (b == phy::kEnd) {
        done = 1;
        state = kOutside;
        return false;
    }
    if (b == phy::kEscA6 || b == phy::kEsc5B) {
        state = (b == phy::kEscA6) ? kAfterA6 : kAfter5B;
        return true;
    }
    out[n++] = (b == phy::kEscLiteral || b == phy::kEscDelim) ? unescape(state, b) : b;
    state = kInside;
    return true;
}

}  // namespace

u32 protocol_phy::data_transf_meaning(const u8* in, u8* out, u32 length, u8* complete)
{
    u8 state = kOutside;
    u8 done = 0;
    bool bad = false;
    u32 n = 0;
    u32 i = 0;
    bool open = true;  // false once the closing byte was seen
    // Whole-word stores may run ahead of the bytes kept; that is only safe when the output
    // does not overlap the input (decoding in place copies byte runs instead).
    const uintptr_t ib = reinterpret_cast<uintptr_t>(in), ob = reinterpret_cast<uintptr_t>(out);
    const bool separate = ob + length <= ib || ib + length <= ob;

    while (open && i < length) {
        if (state == kOutside) {
            // Nothing counts before a start byte.
            const void* p = std::memchr(in + i, phy::kStart, length - i);
            if (!p)
                break;
            i = static_cast<u32>(static_cast<const u8*>(p) - in);
        }
        if (state == kInside && length - i >= 8) {
            // Plain bytes move a word at a time up to the next delimiter or escape.
            const uint64_t w = load_word(in + i);
            const uint64_t m = special_bytes(w);
            const u32 k = m ? first_byte(m) : 8;
            if (separate)
                store_word(out + n, w);
            else
                std::memmove(out + n, in + i, k);
            n += k;
            i += k;
            if (k == 8)
                continue;
            i += decode_pairs(in + i, length - i, out, n);
            if (i == length)
                break;
        }
        open = decode_byte(in[i++], state, done, bad, out, n);
    }

    decode_state_ = state;
    bad_escape_ = bad;
    if (complete)
        *complete = done;
    return n;
}

u32 protocol_phy::data_re_transf_meaning(u8* out, const u8* in, u32 length, u8* flag)
{
    u32 o = 0;
    for (u32 k = 0; k < phy::kPreambleLength; ++k)
        out[o++] = phy::kStart;

    u32 i = 0;
    while (length - i >= 8) {
        // The word is stored whole; the bytes from the first special one on are overwritten
        // by what follows (the output has room for the worst case, every byte doubled).
        const uint64_t w = load_word(in + i);
        const uint64_t m = special_bytes(w);
        store_word(out + o, w);
        if (!m) {
            o += 8;
            i += 8;
            continue;
        }
        const u32 k = first_byte(m);
        o += k;
        i += k;
        // Escape this byte and any special bytes right after it (dense runs stay here).
        do {
            o += put_escaped(out + o, in[i++]);
        } while (i < length && kWire.of[in[i]].count == 2);
    }
    for (; i < length; ++i)
        o += put_escaped(out + o, in[i]);

    out[o++] = phy::kEnd;
    encode_state_ = 0;
    if (flag)
        *flag = 0;
    return o;
}

void protocol_phy::swap_phy_head(u8* frame)
{
    u8 head[4];
    std::memcpy(head, frame, 4);
    frame[FRAME_DST] = head[2];
    frame[FRAME_DST + 1] = head[3];
    frame[FRAME_SRC] = head[0];
    frame[FRAME_SRC + 1] = head[1];
}
