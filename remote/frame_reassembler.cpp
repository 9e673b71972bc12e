#include "remote/frame_reassembler.h"

#include <string>

#include "core/log.h"
#include "core/protocol_phy.h"
#include "core/utils.h"

namespace remote {

FrameReassembler::FrameReassembler() { buf_.reserve(kMaxWire); }

void FrameReassembler::reset()
{
    buf_.clear();
    open_ = false;
}

void FrameReassembler::feed(const u8* data, size_t length, const Sink& sink)
{
    for (size_t i = 0; i < length; ++i) {
        const u8 b = data[i];
        if (b == phy::kStart) {
            // A start byte (re)opens the frame: the codec decodes from the last one anyway.
            buf_.clear();
            buf_.push_back(b);
            open_ = true;
            continue;
        }
        if (!open_)
            continue;
        buf_.push_back(b);
        if (b == phy::kEnd) {
            sink(buf_.data(), u32(buf_.size()));
            reset();
        } else if (buf_.size() >= kMaxWire) {
            writeLogMsg(LOG_DEBUG, "remote: frame longer than " + std::to_string(kMaxWire) +
                                       " wire bytes dropped");
            reset();
        }
    }
}

u32 decode_checked(protocol_phy& phy, const u8* wire, u32 length, u8* out)
{
    u8 complete = 0;
    const u32 n = phy.data_transf_meaning(wire, out, length, &complete);
    if (!complete || n < kMinFrame || n > kMaxFrame) {
        writeLogMsg(LOG_DEBUG, "remote: frame of " + std::to_string(n) + " bytes dropped");
        return 0;
    }
    if (Utils::BCC(out, n - 1) != out[n - 1]) {
        writeLogMsg(LOG_DEBUG, "remote: frame with bad checksum dropped");
        return 0;
    }
    return n;
}

}  // namespace remote
