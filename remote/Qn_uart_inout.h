#pragma once
// Serial transport of the remote protocol: "/dev/ttyS<port>" (port 2) at g_BPS, 8N1, raw.
#include <string>

#include "remote/remote_endpoint.h"

class Qn_uart_inout {
public:
    static Qn_uart_inout* pInstance();  // opens port 2 and starts the receive thread once
    static Qn_uart_inout* p_uart_inout;

    // Opens "/dev/ttyS<port>" at bps, 8N1 raw, and starts receive_thread: 0, 1 when the
    // port cannot be opened, 255 when the thread cannot start.
    int usart1_init(int port, int bps);

    remote::RemoteEndpoint endpoint;

private:
    Qn_uart_inout();
    void receive_thread();
    int fd_ = -1;
    remote::FrameReassembler stream_;
};
