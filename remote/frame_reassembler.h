#pragma once
// Reassembles the frames of one byte stream (a serial line, a TCP connection, a UDP peer).
// Bytes are taken one at a time, so a frame may be split anywhere and several frames may
// arrive in one read. A frame runs from its last 0xA5 to the next 0x5A; a frame that grows
// past the largest possible wire size is dropped and the stream waits for the next 0xA5.
#include <functional>
#include <vector>

#include "core/protocol_phy.h"
#include "remote/remote_proto.h"

namespace remote {

class FrameReassembler {
public:
    // The general form of a sink; feed takes any callable of this shape.
    using Sink = std::function<void(const u8* wire, u32 length)>;

    FrameReassembler();
    // Calls sink(wire, length) with the wire bytes of each frame completed by these bytes:
    // 0xA5, the escaped body, 0x5A. The bytes stay valid only during the call.
    template <class Sink>
    void feed(const u8* data, size_t length, Sink&& sink)
    {
        for (size_t i = 0; i < length; ++i) {
            if (take(data[i])) {
                sink(buf_.data(), u32(buf_.size()));
                reset();
            }
        }
    }
    void reset();
    bool in_frame() const { return open_; }

private:
    // Takes one byte; true when it closed a frame (held in buf_ until reset).
    bool take(u8 b)
    {
        if (b == phy::kStart) {
            // A start byte (re)opens the frame: the codec decodes from the last one anyway.
            buf_.clear();
            buf_.push_back(b);
            open_ = true;
            return false;
        }
        if (!open_)
            return false;
        buf_.push_back(b);
        if (b == phy::kEnd)
            return true;
        if (buf_.size() >= kMaxWire)
            drop_overlong();
        return false;
    }
    void drop_overlong();

    std::vector<u8> buf_;
    bool open_ = false;
};

// Decodes one wire frame and checks it: length 11 to kMaxFrame (8192) and a good checksum.
// Returns the decoded length, or 0 when the frame is to be dropped (a DEBUG line says why).
// `out` needs room for kMaxWire bytes.
u32 decode_checked(protocol_phy& phy, const u8* wire, u32 length, u8* out);

}  // namespace remote
