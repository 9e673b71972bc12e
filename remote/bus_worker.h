#pragma once
// The frames of a server that serves several peers on one thread which need the FPGA's bus
// (FPGA commands, the flash commands), served on a thread of their own: a bus held by another
// transport (a long erase, in parts) or a long flash operation (a record store on a slow
// flash, a part of an erase) then holds only the peer whose frame waits for it, while the
// server goes on with the others. One frame at a time, in the order handed over; a peer has
// at most one here (its stream is away until the result is taken), so its frames keep their
// order.
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

    // Whether a decoded frame is one for the worker. Costs two compares: a processor's frame
    // that is not a flash command pays nothing more.
    static bool needs_bus(const u8* frame, u32 length);

    // Starts the thread (named `name`) and makes the wake-up descriptor: false when either fails
    // (the server then serves every frame itself).
    bool start(const char* name);
    bool running() const { return wake_fd_ >= 0; }
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
    void run();

    RemoteEndpoint ep_;  // its own dispatcher and buffers
    int wake_fd_ = -1;
    std::mutex mu_;  // the queues below
    std::condition_variable cv_;
    struct Job {
        uint64_t peer;
        std::vector<u8> frame;
    };
    std::deque<Job> jobs_;
    std::vector<Result> results_;
};

}  // namespace remote
