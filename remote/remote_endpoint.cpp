#include "remote/remote_endpoint.h"

#include "core/log.h"
#include "remote/file_transfer.h"

namespace remote {

int wait_for_input(pollfd* fds, size_t count)
{
    const int n = ::poll(fds, count, kReceiveWaitMs);
    file_transfer_expire();
    return n;
}

RemoteEndpoint::RemoteEndpoint(u8 transport)
    : deal(transport), transport_(transport), decoded_(kMaxWire), reply_(message_deal::kReplyCapacity)
{
}

void RemoteEndpoint::receive(FrameReassembler& stream, const u8* data, size_t length,
                             const SendRecord& to, uint64_t peer)
{
    stream.feed(data, length, [&](const u8* wire, u32 n) { on_frame(wire, n, to, peer); });
}

void RemoteEndpoint::on_frame(const u8* wire, u32 length, const SendRecord& to, uint64_t peer)
{
    const u32 n = decode_checked(phy, wire, length, decoded_.data());
    if (n == 0)
        return;
    pc_cmd_time = G_timeTicks.load();
    pc_cmd_valid = 1;

    const u16 dst = get_u16(&decoded_[FRAME_DST]);
    const u16 src = get_u16(&decoded_[FRAME_SRC]);
    if (dst < kCardDstLimit && src == kCardSrc) {
        // Receiving-card frames go through the FPGA component, which is not part of this build.
        writeLogMsg(LOG_DEBUG, "remote: receiving-card frame dropped (no pass-through)");
        return;
    }
    const u32 r = deal.message_group_deal(decoded_.data(), n, reply_.data(), peer);
    if (r == 0)
        return;
    SendRecord rec = to;
    rec.bytes.resize(2 * r + 4);
    u8 flag = 0;
    rec.bytes.resize(phy.data_re_transf_meaning(rec.bytes.data(), reply_.data(), r, &flag));
    std::lock_guard<std::mutex> lk(queue_mutex);
    send_queue.push_back(std::move(rec));
}

std::list<SendRecord> RemoteEndpoint::take_queue()
{
    std::lock_guard<std::mutex> lk(queue_mutex);
    std::list<SendRecord> out;
    out.swap(send_queue);
    return out;
}

}  // namespace remote
