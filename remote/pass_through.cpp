// The transports' side of the pass-through to the LED receiving cards: a card frame goes to the
// FPGA under its frame-exchange mutex with its requester; the card's answer comes back with
// that requester through the relay this transport installed (on whichever thread collects it)
// and waits here until the transport's receive loop hands it to the requester.
#include "core/fpga_wake.h"
#include "core/log.h"
#include "platform/clock.h"
#include "remote/remote_endpoint.h"
#include "video_io/fpga_manage.h"

namespace remote {

namespace {
constexpr size_t kMaxKept = 16;  // answers nobody collects are not kept beyond this
}

void RemoteEndpoint::pass_through(u8* frame, u32 length, uint64_t peer)
{
    fpga_manage* f = fpga_manage::p_fpga_manage;
    if (!f) {
        writeLogMsg(LOG_DEBUG, "remote: receiving-card frame dropped (no FPGA)");
        return;
    }
    std::lock_guard<std::mutex> lk(f->frame_mutex);
    f->reg_IRQ_Dealwith(0, 0);  // answers already in reach their requester before this frame replaces it
    // From here on an answer relayed to this transport answers this frame and ends the wait.
    pass_deadline_us_ = platform::clock().now_us() + kPassWaitUs;
    g_passby_trans_port = transport_;
    f->pass_relayed = 0;
    f->Dealwith1_PC_to_eth(length, frame, peer);
    fpga_wake();  // the FPGA thread serves the answer at its 1 ms pace from now on
}

bool RemoteEndpoint::pass_outstanding() const
{
    const uint64_t deadline = pass_deadline_us_.load();
    return deadline != 0 && platform::clock().now_us() < deadline;
}

// The deadline is read first: it closes only in poll_pass_through, on the loop's own thread,
// so an answer relayed meanwhile is seen by the loop's next wait.
int RemoteEndpoint::pass_wait_ms() const
{
    if (pass_outstanding())
        return kPassPollMs;
    return relay_waiting_.load() ? 0 : -1;
}

void RemoteEndpoint::poll_pass_through()
{
    fpga_manage* f = fpga_manage::p_fpga_manage;
    if (!f || !pass_outstanding())
        return;
    std::lock_guard<std::mutex> lk(f->frame_mutex);
    f->reg_IRQ_Dealwith(0, 0);
    f->pass_relayed = 0;
    if (!f->pass_owed_to(transport_))
        pass_deadline_us_ = 0;  // every answer this transport awaits came or was given up
}

void RemoteEndpoint::relay(const u8* frame, u32 length, uint64_t peer)
{
    std::lock_guard<std::mutex> lk(relay_mutex_);
    if (relayed_.size() >= kMaxKept)
        relayed_.erase(relayed_.begin());
    Relayed r{peer, std::vector<u8>(2 * size_t(length) + 4)};
    u8 flag = 0;
    r.wire.resize(relay_phy_.data_re_transf_meaning(r.wire.data(), frame, length, &flag));
    relayed_.push_back(std::move(r));  // appended: an answer not yet handed over stays
    relay_waiting_ = true;
}

void RemoteEndpoint::take_relayed(const RelaySink& sink)
{
    if (!relay_waiting_.load())
        return;  // the usual case: no lock taken in every pass of the receive loop
    std::vector<Relayed> out;
    {
        std::lock_guard<std::mutex> lk(relay_mutex_);
        out.swap(relayed_);
        relay_waiting_ = false;
    }
    for (const Relayed& r : out)
        sink(r.peer, r.wire.data(), r.wire.size());
}

}  // namespace remote
