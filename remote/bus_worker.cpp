#include "remote/bus_worker.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include "platform/thread_name.h"
#include "remote/fpga_commands.h"
#include "remote/thread_start.h"

namespace remote {

BusWorker::BusWorker(u8 transport) : ep_(transport) {}

bool BusWorker::needs_bus(const u8* frame, u32 length)
{
    if (length < kMinFrame)
        return false;
    const u16 dst = get_u16(frame + FRAME_DST);
    if (dst == kAddrFpga0)
        return true;
    const u8 cmd = frame[FRAME_CMD];
    return (dst == kAddrProcessor0 || dst == kAddrProcessor1) && cmd >= CMD_FLASH_READ && cmd <= CMD_SAVE_LED_PAGE;
}

bool BusWorker::start(const char* name)
{
    const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0)
        return false;
    const std::string thread = name;
    if (!start_thread("BusWorker", name, [this, thread] {
            platform::name_this_thread(thread.c_str());
            run();
        })) {
        ::close(fd);
        return false;
    }
    wake_fd_ = fd;
    return true;
}

void BusWorker::submit(uint64_t peer, const u8* frame, u32 length)
{
    {
        std::lock_guard<std::mutex> lk(mu_);
        jobs_.push_back(Job{peer, std::vector<u8>(frame, frame + length)});
    }
    cv_.notify_one();
}

void BusWorker::run()
{
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lk(mu_);
            cv_.wait(lk, [this] { return !jobs_.empty(); });
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        Result r{job.peer, {}, {}};
        auto reply = [&r](const u8* bytes, size_t length) { r.wire.assign(bytes, bytes + length); };
        ep_.serve(job.frame.data(), u32(job.frame.size()), reply, job.peer, &r.rest);
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
