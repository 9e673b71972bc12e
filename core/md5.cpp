#include "core/md5.h"

#include <cstring>

MD5 md5;

namespace {

inline u32 rotl(u32 x, int n) { return (x << n) | (x >> (32 - n)); }

inline u32 load_le32(const u8* p)
{
    return u32(p[0]) | (u32(p[1]) << 8) | (u32(p[2]) << 16) | (u32(p[3]) << 24);
}

inline void store_le32(u8* p, u32 v)
{
    p[0] = u8(v);
    p[1] = u8(v >> 8);
    p[2] = u8(v >> 16);
    p[3] = u8(v >> 24);
}

// Per-step shift amounts (four per round) and the sine-derived constants of RFC 1321.
constexpr int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};
constexpr u32 kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

}  // namespace

MD5::MD5() { reset(); }

void MD5::reset()
{
    state_[0] = 0x67452301;
    state_[1] = 0xefcdab89;
    state_[2] = 0x98badcfe;
    state_[3] = 0x10325476;
    count_ = 0;
    std::memset(buffer_, 0, sizeof buffer_);
    std::memset(digest_, 0, sizeof digest_);
    finished_ = false;
}

void MD5::transform(const u8 block[64])
{
    u32 x[16];
    for (int i = 0; i < 16; ++i)
        x[i] = load_le32(block + 4 * i);

    u32 a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    for (int i = 0; i < 64; ++i) {
        const int round = i / 16;
        u32 f;
        int g;
        switch (round) {
        case 0: f = (b & c) | (~b & d); g = i; break;
        case 1: f = (d & b) | (~d & c); g = (5 * i + 1) % 16; break;
        case 2: f = b ^ c ^ d; g = (3 * i + 5) % 16; break;
        default: f = c ^ (b | ~d); g = (7 * i) % 16; break;
        }
        const u32 next = b + rotl(a + f + kSine[i] + x[g], kShift[round][i % 4]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
}

void MD5::update(const u8* data, u32 length)
{
    finished_ = false;
    size_t used = size_t(count_ / 8 % 64);
    count_ += uint64_t(length) * 8;

    size_t i = 0;
    if (used + length >= 64) {
        const size_t fill = 64 - used;
        std::memcpy(buffer_ + used, data, fill);
        transform(buffer_);
        for (i = fill; i + 64 <= length; i += 64)
            transform(data + i);
        used = 0;
    }
    if (i < length)
        std::memcpy(buffer_ + used, data + i, length - i);
}

void MD5::update(const void* data, u32 length) { update(static_cast<const u8*>(data), length); }

void MD5::finalize()
{
    // Padding and length are run through a copy, so that update() after digest() continues
    // the message as if the digest had not been taken.
    const uint64_t bits = count_;
    const u32 saved[4] = {state_[0], state_[1], state_[2], state_[3]};
    u8 saved_buffer[64];
    std::memcpy(saved_buffer, buffer_, 64);

    static const u8 kPad[64] = {0x80};
    const size_t used = size_t(bits / 8 % 64);
    const size_t pad = used < 56 ? 56 - used : 120 - used;
    update(kPad, u32(pad));
    u8 len[8];
    for (int i = 0; i < 8; ++i)
        len[i] = u8(bits >> (8 * i));
    update(len, 8);
    for (int i = 0; i < 4; ++i)
        store_le32(digest_ + 4 * i, state_[i]);

    count_ = bits;
    std::memcpy(state_, saved, sizeof saved);
    std::memcpy(buffer_, saved_buffer, 64);
}

const u8* MD5::digest()
{
    if (!finished_) {
        finalize();
        finished_ = true;
    }
    return digest_;
}

std::string MD5::toString()
{
    static const char kHex[] = "0123456789abcdef";
    const u8* d = digest();
    std::string s(32, '0');
    for (int i = 0; i < 16; ++i) {
        s[2 * i] = kHex[d[i] >> 4];
        s[2 * i + 1] = kHex[d[i] & 0xF];
    }
    return s;
}
