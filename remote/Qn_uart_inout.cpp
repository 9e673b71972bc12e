#include "remote/Qn_uart_inout.h"

#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "core/log.h"
#include "platform/clock.h"
#include "platform/serial.h"
#include "platform/thread_name.h"
#include "remote/net_common.h"
#include "remote/thread_start.h"
#include "video_io/fpga_manage.h"

using namespace remote;

Qn_uart_inout* Qn_uart_inout::p_uart_inout = nullptr;

namespace {
constexpr int kSerialPort = 2;
constexpr int kHangupWaitMs = 50;

}  // namespace

Qn_uart_inout::Qn_uart_inout() : endpoint(TR_SERIAL) {}

Qn_uart_inout* Qn_uart_inout::pInstance()
{
    if (!p_uart_inout) {
        p_uart_inout = new Qn_uart_inout();
        p_uart_inout->usart1_init(kSerialPort, g_BPS);
    }
    return p_uart_inout;
}

int Qn_uart_inout::usart1_init(int port, int bps)
{
    char name[32];
    std::snprintf(name, sizeof name, "/dev/ttyS%d", port);
    fd_ = platform::open_serial(name, bps);
    if (fd_ < 0) {
        std::printf("\n Qn_uart_inout: cannot open %s\n", name);  // the platform logged why
        return 1;
    }
    set_nonblocking(fd_);  // the receive thread waits in poll, never in read
    fpga_manage::set_relay(TR_SERIAL, [](const u8* f, u32 n, uint64_t peer) {
        p_uart_inout->endpoint.relay(f, n, peer);
    });
    if (!start_thread("Qn_uart_inout", "receive_thread", [this] { receive_thread(); }))
        return 255;
    writeLogMsg(LOG_INFO, std::string("Qn_uart_inout: listening on ") + name);
    return 0;
}

void Qn_uart_inout::receive_thread()
{
    platform::name_this_thread("serial-server");
    devlog::limit_this_thread();  // every line here is caused by a peer
    const size_t chunk = size_t(g_dataLen > 0 ? g_dataLen : 32) * 32;
    std::vector<u8> buf(chunk);
    auto write_reply = [this](const u8* bytes, size_t length) {
        if (!send_all(fd_, bytes, length, false))
            writeLogMsg(LOG_DEBUG, "Qn_uart_inout: reply not written");
    };
    auto write_relayed = [&write_reply](uint64_t, const u8* bytes, size_t length) { write_reply(bytes, length); };
    for (;;) {
        pollfd pfd{fd_, POLLIN, 0};
        const int ready = wait_for_input(&pfd, 1, endpoint.pass_wait_ms());
        endpoint.poll_pass_through();
        endpoint.take_relayed(write_relayed);
        if (ready <= 0)
            continue;
        if (pfd.revents & (POLLHUP | POLLERR)) {
            // A pseudo-terminal without its other side reports a hang-up: wait instead of spinning.
            platform::sleep_ms(kHangupWaitMs);
        }
        const ssize_t n = ::read(fd_, buf.data(), buf.size());
        if (n <= 0)
            continue;
        endpoint.receive(stream_, buf.data(), size_t(n), write_reply);
    }
}
