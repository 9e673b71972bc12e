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

// The round functions and one step of RFC 1321.
inline u32 F(u32 x, u32 y, u32 z) { return z ^ (x & (y ^ z)); }
inline u32 G(u32 x, u32 y, u32 z) { return y ^ (z & (x ^ y)); }
inline u32 H(u32 x, u32 y, u32 z) { return x ^ y ^ z; }
inline u32 I(u32 x, u32 y, u32 z) { return y ^ (x | ~z); }

template <u32 (*Fn)(u32, u32, u32)>
inline void step(u32& a, u32 b, u32 c, u32 d, u32 x, u32 t, int s)
{
    a = b + rotl(a + Fn(b, c, d) + x + t, s);
}

// The sine-derived constants of RFC 1321.
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

    // The 64 steps written out: constant shifts and message indexes let the compiler keep
    // everything in registers (a loop with a switch per step runs at a third of the speed).
    u32 a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    step<F>(a, b, c, d, x[0], kSine[0], 7);
    step<F>(d, a, b, c, x[1], kSine[1], 12);
    step<F>(c, d, a, b, x[2], kSine[2], 17);
    step<F>(b, c, d, a, x[3], kSine[3], 22);
    step<F>(a, b, c, d, x[4], kSine[4], 7);
    step<F>(d, a, b, c, x[5], kSine[5], 12);
    step<F>(c, d, a, b, x[6], kSine[6], 17);
    step<F>(b, c, d, a, x[7], kSine[7], 22);
    step<F>(a, b, c, d, x[8], kSine[8], 7);
    step<F>(d, a, b, c, x[9], kSine[9], 12);
    step<F>(c, d, a, b, x[10], kSine[10], 17);
    step<F>(b, c, d, a, x[11], kSine[11], 22);
    step<F>(a, b, c, d, x[12], kSine[12], 7);
    step<F>(d, a, b, c, x[13], kSine[13], 12);
    step<F>(c, d, a, b, x[14], kSine[14], 17);
    step<F>(b, c, d, a, x[15], kSine[15], 22);
    step<G>(a, b, c, d, x[1], kSine[16], 5);
    step<G>(d, a, b, c, x[6], kSine[17], 9);
    step<G>(c, d, a, b, x[11], kSine[18], 14);
    step<G>(b, c, d, a, x[0], kSine[19], 20);
    step<G>(a, b, c, d, x[5], kSine[20], 5);
    step<G>(d, a, b, c, x[10], kSine[21], 9);
    step<G>(c, d, a, b, x[15], kSine[22], 14);
    step<G>(b, c, d, a, x[4], kSine[23], 20);
    step<G>(a, b, c, d, x[9], kSine[24], 5);
    step<G>(d, a, b, c, x[14], kSine[25], 9);
    step<G>(c, d, a, b, x[3], kSine[26], 14);
    step<G>(b, c, d, a, x[8], kSine[27], 20);
    step<G>(a, b, c, d, x[13], kSine[28], 5);
    step<G>(d, a, b, c, x[2], kSine[29], 9);
    step<G>(c, d, a, b, x[7], kSine[30], 14);
    step<G>(b, c, d, a, x[12], kSine[31], 20);
    step<H>(a, b, c, d, x[5], kSine[32], 4);
    step<H>(d, a, b, c, x[8], kSine[33], 11);
    step<H>(c, d, a, b, x[11], kSine[34], 16);
    step<H>(b, c, d, a, x[14], kSine[35], 23);
    step<H>(a, b, c, d, x[1], kSine[36], 4);
    step<H>(d, a, b, c, x[4], kSine[37], 11);
    step<H>(c, d, a, b, x[7], kSine[38], 16);
    step<H>(b, c, d, a, x[10], kSine[39], 23);
    step<H>(a, b, c, d, x[13], kSine[40], 4);
    step<H>(d, a, b, c, x[0], kSine[41], 11);
    step<H>(c, d, a, b, x[3], kSine[42], 16);
    step<H>(b, c, d, a, x[6], kSine[43], 23);
    step<H>(a, b, c, d, x[9], kSine[44], 4);
    step<H>(d, a, b, c, x[12], kSine[45], 11);
    step<H>(c, d, a, b, x[15], kSine[46], 16);
    step<H>(b, c, d, a, x[2], kSine[47], 23);
    step<I>(a, b, c, d, x[0], kSine[48], 6);
    step<I>(d, a, b, c, x[7], kSine[49], 10);
    step<I>(c, d, a, b, x[14], kSine[50], 15);
    step<I>(b, c, d, a, x[5], kSine[51], 21);
    step<I>(a, b, c, d, x[12], kSine[52], 6);
    step<I>(d, a, b, c, x[3], kSine[53], 10);
    step<I>(c, d, a, b, x[10], kSine[54], 15);
    step<I>(b, c, d, a, x[1], kSine[55], 21);
    step<I>(a, b, c, d, x[8], kSine[56], 6);
    step<I>(d, a, b, c, x[15], kSine[57], 10);
    step<I>(c, d, a, b, x[6], kSine[58], 15);
    step<I>(b, c, d, a, x[13], kSine[59], 21);
    step<I>(a, b, c, d, x[4], kSine[60], 6);
    step<I>(d, a, b, c, x[11], kSine[61], 10);
    step<I>(c, d, a, b, x[2], kSine[62], 15);
    step<I>(b, c, d, a, x[9], kSine[63], 21);
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
