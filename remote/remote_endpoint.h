#pragma once
// What every transport shares: its frame codec and its dispatcher. The receive thread feeds
// the bytes of one stream through a FrameReassembler; each good frame marks remote activity,
// is routed (processor commands to message_deal, receiving-card frames to the pass-through)
// and its reply is encoded into a buffer the endpoint reuses and handed to the stream's sink.
#include <netinet/in.h>
#include <poll.h>
#include <sys/epoll.h>
#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

#include "core/protocol_phy.h"
#include "remote/frame_reassembler.h"
#include "remote/message_deal.h"

namespace remote {

class BusWorker;

// Where the replies of one stream go: any callable taking (const u8* bytes, size_t length),
// referred to (not copied) for the length of one receive call, so no reply allocates.
class ReplySink {
public:
    template <class F>
    ReplySink(F& f)  // NOLINT: built implicitly from the transport's lambda
        : obj_(&f), call_([](void* o, const u8* b, size_t n) { (*static_cast<F*>(o))(b, n); })
    {
    }
    void operator()(const u8* bytes, size_t length) const { call_(obj_, bytes, length); }

private:
    void* obj_;
    void (*call_)(void*, const u8*, size_t);
};

// One wait of a receive loop: blocks until a descriptor is ready, `cap_ms` has passed (-1:
// no cap of the caller's own), or the open file transfer's idle deadline is reached; then
// abandons that transfer when it is due. With no transfer open and no cap it waits without a
// time-out, so an idle device does not wake. Returns what poll returned.
int wait_for_input(pollfd* fds, size_t count, int cap_ms = -1);
// The same wait on an epoll set (the TCP server's many clients): returns what epoll_wait did.
int wait_for_events(int epoll_fd, epoll_event* events, int max, int cap_ms = -1);
// The shorter of two poll time-outs, -1 meaning none.
int earliest_ms(int a, int b);

class RemoteEndpoint {
public:
    explicit RemoteEndpoint(u8 transport);

    // Feeds received bytes of one stream; each reply goes to `reply` at once. `peer` tells
    // apart the requesters of this transport. Runs on the transport's receive thread.
    // Returns the number of frames taken (whole, checked, from a requester): what counts as
    // a peer's activity, as bytes of a frame that never ends do not.
    size_t receive(FrameReassembler& stream, const u8* data, size_t length, ReplySink reply, uint64_t peer = 0);
    // The same, one frame at a time: feeds the bytes up to the end of the first frame they
    // complete (all of them when they complete none) and returns how many it used; `taken`
    // tells whether that frame counts as activity. A server serving several peers in turns
    // keeps the rest for the peer's next turn.
    size_t receive_one(FrameReassembler& stream, const u8* data, size_t length, ReplySink reply, uint64_t peer,
                       bool& taken);

    protocol_phy phy;
    message_deal deal;

    // A server serving its peers in turns (receive_one) hands their frames that need the bus
    // to `worker` (not owned; null: serves them itself): the frame's stream is away until the
    // server takes the worker's result for it.
    void set_bus_worker(BusWorker* worker) { worker_ = worker; }

    // ---- pass-through to the receiving cards (remote/pass_through.cpp) ----
    // Card frames are outstanding for kPassWaitUs after the last went to the FPGA, until no
    // card owes this transport an answer: meanwhile the receive loop waits at most
    // pass_wait_ms() and then calls poll_pass_through(), which runs the FPGA's answer
    // processing once.
    static constexpr uint64_t kPassWaitUs = 3000000;
    static constexpr int kPassPollMs = 5;
    bool pass_outstanding() const;
    // The receive loop's wait cap: kPassPollMs while outstanding, 0 while an answer waits to
    // be handed over, -1 (none) otherwise.
    int pass_wait_ms() const;
    void poll_pass_through();
    // The FPGA's relay of a card's answer (installed by the transport; any thread): encoded
    // and kept for `peer`, the requester whose frame it answers.
    void relay(const u8* frame, u32 length, uint64_t peer);
    // Hands the kept answers to the transport: sink(requester, wire bytes, length).
    using RelaySink = std::function<void(uint64_t peer, const u8* bytes, size_t length)>;
    void take_relayed(const RelaySink& sink);

private:
    friend class BusWorker;
    bool on_frame(const u8* wire, u32 length, ReplySink reply, uint64_t peer, FrameReassembler* stream = nullptr);
    void serve(u8* frame, u32 n, ReplySink reply, uint64_t peer, std::vector<u8>* rest);
    bool hand_to_worker(FrameReassembler& stream, const u8* frame, u32 n, uint64_t peer);
    void pass_through(u8* frame, u32 length, uint64_t peer);

    u8 transport_;
    BusWorker* worker_ = nullptr;
    std::vector<u8> decoded_;
    std::vector<u8> reply_;
    std::vector<u8> wire_;  // the encoded reply

    std::mutex relay_mutex_;  // the fields below
    protocol_phy relay_phy_;
    struct Relayed {
        uint64_t peer;
        std::vector<u8> wire;
    };
    std::vector<Relayed> relayed_;
    std::atomic<uint64_t> pass_deadline_us_{0};
    std::atomic<bool> relay_waiting_{false};
};

}  // namespace remote
