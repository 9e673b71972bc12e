#pragma once
// Reassembles the frames of one byte stream (a serial line, a TCP connection, a UDP peer).
// Bytes are taken one at a time, so a frame may be split anywhere and several frames may
// arrive in one read. A frame runs from its last 0xA5 to the next 0x5A; a frame that grows
// past the largest possible wire size is dropped and the stream waits for the next 0xA5.
#include <cstdint>
#include <cstring>
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
    // 0xA5, the escaped body, 0x5A. The bytes stay valid only during the call. Stops after
    // `max_frames` frames; returns the number of bytes taken (the rest is for a later call).
    template <class Sink>
    size_t feed(const u8* data, size_t length, Sink&& sink, size_t max_frames = SIZE_MAX)
    {
        const u8* p = data;
        const u8* const end = data + length;
        const u8* next_end = nullptr;  // the first end byte at or after p (end: none), found once
        // The first start or end byte at or after `from`, or end.
        auto delimiter = [&](const u8* from) {
            if (!next_end || next_end < from) {
                const void* e = std::memchr(from, phy::kEnd, size_t(end - from));
                next_end = e ? static_cast<const u8*>(e) : end;
            }
            const void* s = std::memchr(from, phy::kStart, size_t(next_end - from));
            return s ? static_cast<const u8*>(s) : next_end;
        };
        size_t frames = 0;
        while (p < end && frames < max_frames) {
            if (*p == phy::kStart) {
                const u8* q = delimiter(p + 1);
                if (q < end && *q == phy::kEnd && size_t(q - p) < kMaxWire) {
                    // The whole frame lies in these bytes: handed over from there, not copied.
                    reset();
                    sink(p, u32(q + 1 - p));
                    ++frames;
                    p = q + 1;
                    continue;
                }
                if (q < end && *q == phy::kStart) {  // reopened there (the preamble's start bytes)
                    p = q;
                    continue;
                }
                // A start byte (re)opens the frame: the codec decodes from the last one anyway.
                buf_.assign(1, phy::kStart);
                open_ = true;
                ++p;
            } else if (!open_) {
                const void* s = std::memchr(p, phy::kStart, size_t(end - p));
                p = s ? static_cast<const u8*>(s) : end;
            } else {
                const u8* q = delimiter(p);
                if (buf_.size() + size_t(q - p) >= kMaxWire) {
                    drop_overlong();  // the rest waits for the next start byte
                } else {
                    buf_.insert(buf_.end(), p, q);
                    if (q < end && *q == phy::kEnd) {
                        buf_.push_back(*q++);
                        sink(buf_.data(), u32(buf_.size()));
                        reset();
                        ++frames;
                    }
                }
                p = q;
            }
        }
        return size_t(p - data);
    }
    void reset();
    bool in_frame() const { return open_; }

    // A decoded request of this stream carried out in parts (a long flash erase): what is
    // left of it, served before the stream's next frame. Empty: none.
    std::vector<u8> rest;
    // A request of this stream being served off the server's thread: nothing more of the
    // stream is served until the server has taken its result.
    bool away = false;

private:
    void drop_overlong();

    std::vector<u8> buf_;
    bool open_ = false;
};

// Decodes one wire frame and checks it: length 11 to kMaxFrame (8192), no escape but the four
// defined ones, and a good checksum.
// Returns the decoded length, or 0 when the frame is to be dropped (a DEBUG line says why).
// `out` needs room for kMaxWire bytes.
u32 decode_checked(protocol_phy& phy, const u8* wire, u32 length, u8* out);

}  // namespace remote
