#include "remote/remote_endpoint.h"

#include "core/fpga_wake.h"
#include "core/log.h"
#include "platform/fd_wait.h"
#include "remote/bus_worker.h"
#include "remote/file_transfer.h"
#include "remote/fpga_commands.h"

namespace remote {

int earliest_ms(int a, int b)
{
    if (a < 0)
        return b;
    if (b < 0)
        return a;
    return a < b ? a : b;
}

int wait_for_input(pollfd* fds, size_t count, int cap_ms)
{
    const int n = platform::poll_fds(fds, count, earliest_ms(file_transfer_wait_ms(), cap_ms));
    file_transfer_expire();
    return n;
}

int wait_for_events(int epoll_fd, epoll_event* events, int max, int cap_ms)
{
    const int n = platform::epoll_wait_fds(epoll_fd, events, max, earliest_ms(file_transfer_wait_ms(), cap_ms));
    file_transfer_expire();
    return n;
}

namespace {

// The device's own addresses never send requests: a frame from one of them is a reply (its
// own, heard back through an echoing line or a broadcast, or another device's), and
// answering it would answer the answer for ever.
bool from_device(u16 src)
{
    return src == kAddrProcessor0 || src == kAddrProcessor1 || src == kAddrFpga0 || src == kAddrFpga1;
}

}  // namespace

RemoteEndpoint::RemoteEndpoint(u8 transport)
    : deal(transport), transport_(transport), decoded_(kMaxWire), reply_(message_deal::kReplyCapacity),
      wire_(2 * message_deal::kReplyCapacity + 4)
{
    remove_stale_transfer_files();  // before this transport's thread can start a transfer
}

size_t RemoteEndpoint::receive(FrameReassembler& stream, const u8* data, size_t length, ReplySink reply,
                               uint64_t peer)
{
    size_t taken = 0;
    stream.feed(data, length, [&](const u8* wire, u32 n) { taken += on_frame(wire, n, reply, peer); });
    return taken;
}

size_t RemoteEndpoint::receive_one(FrameReassembler& stream, const u8* data, size_t length, ReplySink reply,
                                   uint64_t peer, bool& taken)
{
    taken = false;
    if (stream.away)
        return 0;  // its frame is still with the worker
    if (!stream.rest.empty()) {  // a request carried out in parts goes on before the next
        taken = true;
        if (!hand_to_worker(stream, stream.rest.data(), u32(stream.rest.size()), peer))
            serve(stream.rest.data(), u32(stream.rest.size()), reply, peer, &stream.rest);
        return 0;
    }
    return stream.feed(
        data, length, [&](const u8* wire, u32 n) { taken = on_frame(wire, n, reply, peer, &stream); }, 1);
}

// The worker gets a copy of the frame; what was left of it in parts goes with it.
bool RemoteEndpoint::hand_to_worker(FrameReassembler& stream, const u8* frame, u32 n, uint64_t peer)
{
    if (!worker_ || !BusWorker::needs_bus(frame, n))
        return false;
    worker_->submit(peer, frame, n);
    stream.rest.clear();
    stream.away = true;
    return true;
}

bool RemoteEndpoint::on_frame(const u8* wire, u32 length, ReplySink reply, uint64_t peer, FrameReassembler* stream)
{
    const u32 n = decode_checked(phy, wire, length, decoded_.data());
    if (n == 0)
        return false;
    const u16 dst = get_u16(&decoded_[FRAME_DST]);
    const u16 src = get_u16(&decoded_[FRAME_SRC]);
    if (from_device(src)) {
        writeLogMsg(LOG_DEBUG, "remote: frame from a device address dropped (a reply, not a request)");
        return false;
    }
    pc_cmd_time = request_tick();  // a pause counted from this frame, whatever ticks are still due
    pc_cmd_valid = 1;

    if (dst < kCardDstLimit && src == kCardSrc) {
        pass_through(decoded_.data(), n, peer);
        return true;
    }
    if (stream && hand_to_worker(*stream, decoded_.data(), n, peer))
        return true;
    serve(decoded_.data(), n, reply, peer, stream ? &stream->rest : nullptr);
    return true;
}

// A long flash erase is carried out in parts: with `rest` (a server serving peers in turns)
// what is left of it waits there for the peer's next turn; without, it goes on at once.
void RemoteEndpoint::serve(u8* frame, u32 n, ReplySink reply, uint64_t peer, std::vector<u8>* rest)
{
    for (;;) {
        const u32 r = deal.message_group_deal(frame, n, reply_.data(), peer);
        if (deal.take_rest(frame, n)) {
            if (!rest)
                continue;
            if (rest->data() != frame)
                rest->assign(frame, frame + n);
            return;
        }
        if (rest)
            rest->clear();
        if (r == 0)
            return;
        u8 flag = 0;
        const u32 w = phy.data_re_transf_meaning(wire_.data(), reply_.data(), r, &flag);
        reply(wire_.data(), w);
        return;
    }
}

}  // namespace remote
