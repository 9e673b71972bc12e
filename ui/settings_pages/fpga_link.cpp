#include "fpga_link.h"

#include <QMutexLocker>

#include "core/utils.h"
#include "scaler/requests.h"

// This build has no FPGA component yet: the pages see the FPGA stopped.
namespace fpga_link {

int run_state() { return 0; }

uint16_t link_bitmap() { return 0; }

PortArea port_area(int port)
{
    (void)port;
    return PortArea{};
}

void start_led_handshake_locked()
{
    if (run_state() != 3)
        return;
    QMutexLocker lk(&Utils::_led_para_init_mutex);
    g_set_led_para = 1;
}

}  // namespace fpga_link
