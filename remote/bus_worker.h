#pragma once
// The frames of a server that serves several peers on one thread which need the FPGA's bus
// (FPGA commands, the flash commands, a register write that reloads the scaler's fonts or
// prints its state), served on a thread of their own: a bus held by another
// transport (a long erase, in parts) or a long flash operation (a record store on a slow
// flash, a part of an erase) then holds only the peer whose frame waits for it, while the
// server goes on with the others. Two lanes, each a thread serving its frames one at a time
// in the order handed over: one for the frames that change the FPGA or a flash (flash writes,
// erases and saves, FPGA RAM and register writes; a register write may run the command page
// and store a record), which may run long and keep among themselves the order they came in;
// one for the reads, so an FPGA register read waits for the bus, not for another peer's store.
// A peer has at most one frame here (its stream is away until the result is taken), so its
// frames keep their order.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "remote/remote_endpoint.h"

namespace remote {

class BusWorker {
public:
    explicit BusWorker(u8 transport);

    // Whether a decoded frame is one for the worker. Costs a few compares: a processor's read
    // pays nothing more.
    static bool needs_bus(const u8* frame, u32 length);

    // Starts the lanes' threads (named `names`) and makes the wake-up descriptor: false when
    // any fails (the server then serves every frame itself).
    bool start(const char* const (&names)[2]);
    // Readable while results wait to be taken (an eventfd).
    int wake_fd() const { return wake_fd_; }

    // Copies the decoded frame of `peer` for the worker.
    void submit(uint64_t peer, const u8* frame, u32 length);

    struct Result {
        uint64_t peer;
        std::vector<u8> wire;  // the encoded reply; empty: none
        std::vector<u8> rest;  // what is left of a request served in parts; empty: none
    };
    // Hands each finished frame's result to `sink`, on the server's thread.
    void take_results(const std::function<void(Result&)>& sink);

private:
    struct Job {
        uint64_t peer;
        std::vector<u8> frame;
    };
    struct Lane {
        explicit Lane(u8 transport) : ep(transport) {}
        RemoteEndpoint ep;  // its own dispatcher and buffers
        std::condition_variable cv;
        std::deque<Job> jobs;  // under mu_
    };
    void run(Lane& lane);

    Lane lanes_[2];
    int wake_fd_ = -1;
    std::mutex mu_;  // the lanes' jobs and the results
    std::vector<Result> results_;
};

}  // namespace remote
