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

void FrameReassembler::drop_overlong()
{
    writeLogMsg(LOG_DEBUG, "remote: frame longer than " + std::to_string(kMaxWire) + " wire bytes dropped");
    reset();
}

u32 decode_checked(protocol_phy& phy, const u8* wire, u32 length, u8* out)
{
    u8 complete = 0;
    const u32 n = phy.data_transf_meaning(wire, out, length, &complete);
    if (!complete || n < kMinFrame || n > kMaxFrame) {
        writeLogMsg(LOG_DEBUG, "remote: frame of " + std::to_string(n) + " bytes dropped");
        return 0;
    }
    if (phy.bad_escape()) {
        writeLogMsg(LOG_DEBUG, "remote: frame with an undefined escape dropped");
        return 0;
    }
    if (Utils::BCC(out, n - 1) != out[n - 1]) {
        writeLogMsg(LOG_DEBUG, "remote: frame with bad checksum dropped");
        return 0;
    }
    return n;
}

}  // namespace remote
