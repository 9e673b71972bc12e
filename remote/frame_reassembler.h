#pragma once
// Reassembles the frames of one byte stream (a serial line, a TCP connection, a datagram).
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
    // Called with the wire bytes of one frame: 0xA5, the escaped body, 0x5A.
    using Sink = std::function<void(const u8* wire, u32 length)>;

    FrameReassembler();
    void feed(const u8* data, size_t length, const Sink& sink);
    void reset();
    bool in_frame() const { return open_; }

private:
    std::vector<u8> buf_;
    bool open_ = false;
};

// Decodes one wire frame and checks it: length 11 to kMaxFrame (8192) and a good checksum.
// Returns the decoded length, or 0 when the frame is to be dropped (a DEBUG line says why).
// `out` needs room for kMaxWire bytes.
u32 decode_checked(protocol_phy& phy, const u8* wire, u32 length, u8* out);

}  // namespace remote
