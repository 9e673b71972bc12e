// Frame codec: the wire vectors, round trips over bodies dense with delimiter and escape bytes,
// garbage before a frame, and agreement with a plain byte-at-a-time decoder on noisy input.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "core/protocol_phy.h"

namespace {

using Bytes = std::vector<u8>;

Bytes encode(const Bytes& body)
{
    protocol_phy phy;
    Bytes out(2 * body.size() + 4);
    u8 flag = 0xEE;
    out.resize(phy.data_re_transf_meaning(out.data(), body.data(), u32(body.size()), &flag));
    EXPECT_EQ(flag, 0);
    return out;
}

Bytes decode(const Bytes& wire, u8* complete, bool* bad_escape = nullptr)
{
    protocol_phy phy;
    Bytes out(wire.size());
    out.resize(phy.data_transf_meaning(wire.data(), out.data(), u32(wire.size()), complete));
    if (bad_escape)
        *bad_escape = phy.bad_escape();
    return out;
}

// The decoding rules applied one byte at a time, with no fast path.
Bytes reference_decode(const Bytes& in, u8* complete, bool* bad)
{
    enum { Out, In, A6, B5 } st = Out;
    Bytes out;
    *complete = 0;
    *bad = false;
    for (u8 b : in) {
        if (b == 0xA5) { st = In; *complete = 0; *bad = false; out.clear(); continue; }
        if (st == Out) continue;
        if ((st == A6 || st == B5) && b != 0x01 && b != 0x02) *bad = true;
        if (b == 0x5A) { *complete = 1; break; }
        if (b == 0xA6) { st = A6; continue; }
        if (b == 0x5B) { st = B5; continue; }
        if (b == 0x01) out.push_back(st == A6 ? 0xA6 : st == B5 ? 0x5B : 0x01);
        else if (b == 0x02) out.push_back(st == A6 ? 0xA5 : st == B5 ? 0x5A : 0x02);
        else out.push_back(b);
        st = In;
    }
    return out;
}

// Random bytes drawn mostly from the delimiters, escapes and their second bytes.
Bytes dense_bytes(std::mt19937& rng, size_t n)
{
    static const u8 alphabet[] = {0xA5, 0xA6, 0x5A, 0x5B, 0x01, 0x02, 0x00, 0xFF, 0xA4, 0xA7};
    std::uniform_int_distribution<int> pick(0, 9);
    Bytes b(n);
    for (auto& x : b)
        x = alphabet[pick(rng)];
    return b;
}

// Plain runs of random length (0..40) with escape-relevant bytes between them, so that both
// the word-at-a-time path and the byte path are taken, at every alignment.
Bytes mixed_bytes(std::mt19937& rng, size_t n)
{
    std::uniform_int_distribution<int> run(0, 40), byte(0, 255);
    Bytes b = dense_bytes(rng, n);
    for (size_t i = 0; i < n;) {
        size_t r = size_t(run(rng));
        for (; r > 0 && i < n; --r, ++i) {
            u8 v = u8(byte(rng));
            while (v == 0xA5 || v == 0xA6 || v == 0x5A || v == 0x5B)
                v = u8(byte(rng));
            b[i] = v;
        }
        ++i;  // keep one byte of the dense alphabet
    }
    return b;
}

TEST(FrameCodec, WireVectors)
{
    EXPECT_EQ(encode({0x5A, 0x01}), (Bytes{0xA5, 0xA5, 0xA5, 0x5B, 0x02, 0x01, 0x5A}));
    EXPECT_EQ(encode({}), (Bytes{0xA5, 0xA5, 0xA5, 0x5A}));
    EXPECT_EQ(encode({0xA5, 0xA6, 0x5A, 0x5B}),
              (Bytes{0xA5, 0xA5, 0xA5, 0xA6, 0x02, 0xA6, 0x01, 0x5B, 0x02, 0x5B, 0x01, 0x5A}));

    u8 complete = 0;
    EXPECT_EQ(decode({0xA5, 0xA5, 0xA5, 0x5B, 0x02, 0x01, 0x5A}, &complete), (Bytes{0x5A, 0x01}));
    EXPECT_EQ(complete, 1);
    EXPECT_EQ(decode({0x00, 0xA5, 0x11, 0xA5, 0x22, 0x5A}, &complete), (Bytes{0x22}));
    EXPECT_EQ(complete, 1);
    EXPECT_EQ(decode({0xA5, 0x11, 0x22}, &complete), (Bytes{0x11, 0x22}));
    EXPECT_EQ(complete, 0);
    EXPECT_EQ(decode({0xA5, 0x01, 0x02, 0x5A}, &complete), (Bytes{0x01, 0x02}));  // plain 01/02
    // Only the four escapes are defined: a prefix before any other byte marks the frame bad.
    struct Escape {
        Bytes wire;
        bool bad;
    };
    for (const Escape& e : {Escape{{0xA5, 0xA6, 0x01, 0x5B, 0x02, 0x5A}, false},
                            Escape{{0xA5, 0x11, 0xA6, 0x00, 0x22, 0x5A}, true},
                            Escape{{0xA5, 0x11, 0x5B, 0x00, 0x22, 0x5A}, true},
                            Escape{{0xA5, 0xA6, 0x03, 0x5A}, true},
                            Escape{{0xA5, 0x5B, 0xA6, 0x02, 0x5A}, true},  // a prefix after a prefix
                            Escape{{0xA5, 0x11, 0xA6, 0x5A}, true},        // a prefix before the end
                            Escape{{0xA5, 0xA6, 0x00, 0xA5, 0x11, 0x5A}, false}}) {  // a new frame starts
        for (u8 pad = 0; pad < 9; ++pad) {  // at every alignment of the word-at-a-time path
            Bytes wire(pad + 1u, 0x30);
            wire[0] = 0xA5;
            wire.insert(wire.end(), e.wire.begin() + 1, e.wire.end());
            bool bad = !e.bad;
            decode(wire, &complete, &bad);
            EXPECT_EQ(bad, e.bad) << testing::PrintToString(wire);
        }
    }
    EXPECT_EQ(decode({0x11, 0x5A, 0x22}, &complete), Bytes{});  // no start byte: nothing
    EXPECT_EQ(complete, 0);
    EXPECT_EQ(decode({0xA5, 0x33, 0x5A, 0x44, 0xA5, 0x55, 0x5A}, &complete), (Bytes{0x33}));

    u8 head[] = {0x00, 0xF1, 0x10, 0xF0, 0x77};
    protocol_phy::swap_phy_head(head);
    EXPECT_EQ(Bytes(head, head + 5), (Bytes{0x10, 0xF0, 0x00, 0xF1, 0x77}));
}

TEST(FrameCodec, RoundTripsEscapeDenseBodies)
{
    std::mt19937 rng(7);
    // Lengths around the 8-byte strides of the fast path and a few larger ones.
    for (size_t n : {0, 1, 2, 7, 8, 9, 15, 16, 17, 63, 64, 65, 1000, 4099}) {
        for (int rep = 0; rep < 20; ++rep) {
            const Bytes body = rep % 2 ? dense_bytes(rng, n) : mixed_bytes(rng, n);
            const Bytes wire = encode(body);
            // Between the delimiters no start or end byte may remain.
            for (size_t i = 3; i + 1 < wire.size(); ++i)
                ASSERT_TRUE(wire[i] != 0xA5 && wire[i] != 0x5A) << "n=" << n << " at " << i;
            u8 complete = 0;
            ASSERT_EQ(decode(wire, &complete), body) << "n=" << n;
            ASSERT_EQ(complete, 1);
        }
    }
    // Every single byte value, alone and inside plain text.
    for (int v = 0; v < 256; ++v) {
        const Bytes body = {0x10, u8(v), 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80, u8(v)};
        u8 complete = 0;
        ASSERT_EQ(decode(encode(body), &complete), body) << v;
    }
}

TEST(FrameCodec, GarbageBeforeAFrameAndInPlaceDecoding)
{
    std::mt19937 rng(11);
    for (int rep = 0; rep < 200; ++rep) {
        const Bytes body = mixed_bytes(rng, 1 + rep % 50);
        // Line noise without a start byte, then a broken frame that was never closed.
        Bytes noise = dense_bytes(rng, rep % 40);
        for (auto& b : noise)
            if (b == 0xA5) b = 0x00;
        noise.insert(noise.end(), {0xA5, 0x12, 0xA6, 0x34});
        Bytes wire = noise;
        const Bytes frame = encode(body);
        wire.insert(wire.end(), frame.begin(), frame.end());
        wire.insert(wire.end(), {0x99, 0xA5, 0x77});  // trailing bytes are ignored

        u8 complete = 0;
        ASSERT_EQ(decode(wire, &complete), body);
        ASSERT_EQ(complete, 1);

        // The transports may decode into their receive buffer itself.
        Bytes buf = wire;
        protocol_phy phy;
        const u32 n = phy.data_transf_meaning(buf.data(), buf.data(), u32(buf.size()), &complete);
        ASSERT_EQ(Bytes(buf.begin(), buf.begin() + n), body);
    }
}

TEST(FrameCodec, AgreesWithByteAtATimeDecoderOnNoise)
{
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> len(0, 300);
    for (int rep = 0; rep < 6000; ++rep) {
        const size_t n = size_t(len(rng));
        const Bytes wire = rep % 2 ? dense_bytes(rng, n) : mixed_bytes(rng, n);
        u8 want_complete = 0, got_complete = 0;
        bool want_bad = false, got_bad = false;
        const Bytes want = reference_decode(wire, &want_complete, &want_bad);
        ASSERT_EQ(decode(wire, &got_complete, &got_bad), want) << "rep " << rep;
        ASSERT_EQ(got_complete, want_complete) << "rep " << rep;
        ASSERT_EQ(got_bad, want_bad) << "rep " << rep;
        Bytes buf = wire;
        protocol_phy phy;
        const u32 got = phy.data_transf_meaning(buf.data(), buf.data(), u32(buf.size()), &got_complete);
        ASSERT_EQ(Bytes(buf.begin(), buf.begin() + got), want) << "in place, rep " << rep;
    }
}

}  // namespace
