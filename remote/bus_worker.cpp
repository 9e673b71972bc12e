#include "remote/bus_worker.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include "platform/thread_name.h"
#include "remote/fpga_commands.h"
#include "remote/thread_start.h"

namespace remote {

namespace {

// Frames that change the FPGA or a flash. They may hold the bus, or wait for the flash, for
// seconds (a register write may run the command page, which may store a record), and they
// stay in the order they came in, as on one thread: a command page one tool wrote is run
// before another tool's write replaces it.
bool changes(const u8* frame)
{
    const u8 cmd = frame[FRAME_CMD];
    if (get_u16(frame + FRAME_DST) == kAddrFpga0)
        return cmd == CMD_REG_WRITE || cmd == CMD_RAM_WRITE;
    return cmd == CMD_REG_WRITE || cmd == CMD_FLASH_WRITE || cmd == CMD_FLASH_ERASE || cmd == CMD_SAVE_LED_PAGE;
}

}  // namespace

BusWorker::BusWorker(u8 transport) : lanes_{Lane(transport), Lane(transport)} {}

bool BusWorker::needs_bus(const u8* frame, u32 length)
{
    if (length < kMinFrame)
        return false;
    const u16 dst = get_u16(frame + FRAME_DST);
    if (dst == kAddrFpga0)
        return true;
    if (dst != kAddrProcessor0 && dst != kAddrProcessor1)
        return false;
    const u8 cmd = frame[FRAME_CMD];
    if (cmd == CMD_REG_WRITE)
        return message_deal::register_write_reaches_chip(frame + kHeaderLen, length - kHeaderLen - 1);
    return cmd >= CMD_FLASH_READ && cmd <= CMD_SAVE_LED_PAGE;
}

// The descriptor is made first: a lane reports each result through it.
bool BusWorker::start(const char* const (&names)[2])
{
    wake_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_fd_ < 0)
        return false;
    for (int i = 0; i < 2; ++i) {
        const std::string thread = names[i];
        if (!start_thread("BusWorker", names[i], [this, i, thread] {
                platform::name_this_thread(thread.c_str());
                run(lanes_[i]);
            }))
            return false;  // a lane that started waits for frames never handed to it
    }
    return true;
}

void BusWorker::submit(uint64_t peer, const u8* frame, u32 length)
{
    Lane& lane = lanes_[changes(frame) ? 1 : 0];
    {
        std::lock_guard<std::mutex> lk(mu_);
        lane.jobs.push_back(Job{peer, std::vector<u8>(frame, frame + length)});
    }
    lane.cv.notify_one();
}

void BusWorker::run(Lane& lane)
{
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lk(mu_);
            lane.cv.wait(lk, [&lane] { return !lane.jobs.empty(); });
            job = std::move(lane.jobs.front());
            lane.jobs.pop_front();
        }
        Result r{job.peer, {}, {}};
        auto reply = [&r](const u8* bytes, size_t length) { r.wire.assign(bytes, bytes + length); };
        lane.ep.serve(job.frame.data(), u32(job.frame.size()), reply, job.peer, &r.rest);
        {
            std::lock_guard<std::mutex> lk(mu_);
            results_.push_back(std::move(r));
        }
        const uint64_t one = 1;
        (void)!::write(wake_fd_, &one, sizeof one);
    }
}

void BusWorker::take_results(const std::function<void(Result&)>& sink)
{
    uint64_t count;
    (void)!::read(wake_fd_, &count, sizeof count);
    std::vector<Result> out;
    {
        std::lock_guard<std::mutex> lk(mu_);
        out.swap(results_);
    }
    for (Result& r : out)
        sink(r);
}

}  // namespace remote
