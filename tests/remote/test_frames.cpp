// Frame reassembly and the checks on decoded frames, independent of any transport.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/remote_client.h"
#include "core/protocol_phy.h"
#include "remote/frame_reassembler.h"

using namespace remote;
using testutil::Bytes;
using testutil::operator+;

namespace {

struct Collector {
    std::vector<Bytes> frames;
    FrameReassembler::Sink sink()
    {
        return [this](const u8* w, u32 n) { frames.emplace_back(w, w + n); };
    }
};

Bytes request_wire(u8 cmd, const Bytes& data)
{
    return testutil::encode(testutil::make_frame(0xF100, 0xF011, cmd, data));
}

}  // namespace

TEST(FrameReassembler, FramesSplitAnywhereOrJoinedAllArrive)
{
    // Bytes that need escaping make the wire form longer than the frame and put escape pairs
    // at split points.
    const Bytes a = request_wire(0x61, {0xA5, 0x5A, 0xA6, 0x5B, 0x01, 0x02});
    const Bytes b = request_wire(0x63, {0, 10});
    const Bytes stream = a + b + a;

    for (size_t cut = 1; cut < stream.size(); ++cut) {
        FrameReassembler r;
        Collector c;
        r.feed(stream.data(), cut, c.sink());
        r.feed(stream.data() + cut, stream.size() - cut, c.sink());
        ASSERT_EQ(c.frames.size(), 3u) << "cut at " << cut;
        EXPECT_EQ(testutil::decode(c.frames[0]), testutil::decode(a));
        EXPECT_EQ(testutil::decode(c.frames[1]), testutil::decode(b));
    }

    FrameReassembler r;
    Collector c;
    for (u8 byte : stream)
        r.feed(&byte, 1, c.sink());
    EXPECT_EQ(c.frames.size(), 3u);
}

TEST(FrameReassembler, GarbageAndRunawayFramesAreSkipped)
{
    FrameReassembler r;
    Collector c;
    const Bytes noise{0x00, 0x5A, 0x11, 0x22};
    const Bytes good = request_wire(0x6A, {});
    const Bytes stream = noise + good + noise;
    r.feed(stream.data(), stream.size(), c.sink());
    ASSERT_EQ(c.frames.size(), 1u);

    // A start byte without an end for longer than any frame can be is dropped, and the
    // stream recovers on the next frame.
    Bytes runaway{0xA5};
    runaway.resize(kMaxWire + 100, 0x11);
    r.feed(runaway.data(), runaway.size(), c.sink());
    EXPECT_FALSE(r.in_frame());
    r.feed(good.data(), good.size(), c.sink());
    EXPECT_EQ(c.frames.size(), 2u);
}

TEST(FrameReassembler, AStartByteInsideAnOpenFrameRestartsIt)
{
    // A peer gave up a frame half-way (16,000 wire bytes, no end byte) and sends a good one.
    // Kept as one frame the two would pass the largest wire size and both be dropped.
    Bytes half{0xA5};
    half.resize(16000, 0x11);
    Bytes block(400);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = u8(i);
    const Bytes good = request_wire(0x60, Bytes{0x00, 0x04, 0x00, 0x00, 0x90, 0x01, 0x00, 0x00} + block);
    ASSERT_GT(half.size() + good.size(), kMaxWire);

    for (size_t piece : {half.size() + good.size(), size_t(997)}) {
        const Bytes stream = half + good;
        FrameReassembler r;
        Collector c;
        for (size_t at = 0; at < stream.size(); at += piece)
            r.feed(stream.data() + at, std::min(piece, stream.size() - at), c.sink());
        ASSERT_EQ(c.frames.size(), 1u) << "pieces of " << piece;
        EXPECT_EQ(testutil::decode(c.frames[0]), testutil::decode(good));
        EXPECT_FALSE(r.in_frame());
    }
}

TEST(DecodeChecked, DropsShortLongBadChecksumAndUndefinedEscape)
{
    protocol_phy phy;
    std::vector<u8> out(kMaxWire);

    Bytes ok = testutil::make_frame(0xF100, 0xF011, 0x63, {});  // exactly 11 bytes
    ASSERT_EQ(ok.size(), 11u);
    Bytes wire = testutil::encode(ok);
    EXPECT_EQ(decode_checked(phy, wire.data(), u32(wire.size()), out.data()), 11u);

    Bytes shorter(ok.begin(), ok.begin() + 9);
    shorter.push_back(testutil::bcc(shorter.data(), shorter.size()));
    wire = testutil::encode(shorter);
    EXPECT_EQ(decode_checked(phy, wire.data(), u32(wire.size()), out.data()), 0u);

    Bytes bad = ok;
    bad.back() ^= 0x01;
    wire = testutil::encode(bad);
    EXPECT_EQ(decode_checked(phy, wire.data(), u32(wire.size()), out.data()), 0u);

    // A frame with an undefined escape (a prefix and 00, which changes no checksum) inserted.
    wire = testutil::encode(ok);
    for (u8 prefix : {0xA6, 0x5B}) {
        Bytes altered = wire;
        altered.insert(altered.begin() + 8, {prefix, 0x00});
        EXPECT_EQ(decode_checked(phy, altered.data(), u32(altered.size()), out.data()), 0u) << int(prefix);
    }

    Bytes biggest = testutil::make_frame(0xF100, 0xF011, 0x60, Bytes(8192 - 11, 0xA5));
    wire = testutil::encode(biggest);
    EXPECT_EQ(decode_checked(phy, wire.data(), u32(wire.size()), out.data()), 8192u);
    Bytes too_big = testutil::make_frame(0xF100, 0xF011, 0x60, Bytes(8193 - 11, 0x00));
    wire = testutil::encode(too_big);
    EXPECT_EQ(decode_checked(phy, wire.data(), u32(wire.size()), out.data()), 0u);
}
