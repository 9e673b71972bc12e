#pragma once
// What every transport shares: its frame codec, its dispatcher and its send queue. The
// receive thread feeds the bytes of one stream through a FrameReassembler; each good frame
// marks remote activity, is routed (processor commands to message_deal, receiving-card frames
// to the pass-through) and its reply is encoded into the send queue with the stream's address.
#include <list>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <vector>

#include "core/protocol_phy.h"
#include "remote/frame_reassembler.h"
#include "remote/message_deal.h"

namespace remote {

// One encoded reply and where it goes: a descriptor (serial port, TCP client) or, for UDP,
// the address it goes to.
struct SendRecord {
    std::vector<u8> bytes;
    int fd = -1;
    sockaddr_in addr{};
};

// One wait of a receive loop: blocks up to kReceiveWaitMs for the descriptors, then
// abandons a file transfer left idle (also while traffic keeps the loop busy). Returns what
// poll returned.
constexpr int kReceiveWaitMs = 50;
int wait_for_input(pollfd* fds, size_t count);

class RemoteEndpoint {
public:
    explicit RemoteEndpoint(u8 transport);

    // Feeds received bytes of one stream. `to` is copied for each reply; `peer` tells apart
    // the requesters of this transport. Runs on the transport's receive thread.
    void receive(FrameReassembler& stream, const u8* data, size_t length, const SendRecord& to,
                 uint64_t peer = 0);
    // Moves the queued replies out (under the queue mutex).
    std::list<SendRecord> take_queue();

    protocol_phy phy;
    message_deal deal;
    std::mutex queue_mutex;
    std::list<SendRecord> send_queue;

private:
    void on_frame(const u8* wire, u32 length, const SendRecord& to, uint64_t peer);

    u8 transport_;
    std::vector<u8> decoded_;
    std::vector<u8> reply_;
};

}  // namespace remote
