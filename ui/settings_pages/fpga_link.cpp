#include "fpga_link.h"

#include "video_io/fpga_manage.h"
#include "video_io/fpga_regs.h"

// The mirrors and pages belong to the FPGA component's object: nothing is read while it does
// not exist. Page words are read byte by byte (several ports' words sit at odd offsets).
namespace fpga_link {

int run_state()
{
    if (!fpga_manage::p_fpga_manage || !fpga_manage::MCU_REG_func[0])
        return 0;
    return fpga_manage::MCU_REG_func[0][fpga::REG_RUN_STATE].load();
}

bool chip_ready()
{
    const fpga_manage* f = fpga_manage::p_fpga_manage;
    return f && f->chip_ready();
}

uint16_t link_bitmap()
{
    fpga_manage* f = fpga_manage::p_fpga_manage;
    return f ? static_cast<uint16_t>(f->get_wlan_state()) : 0;
}

uint16_t link_bitmap_seen()
{
    const fpga_manage* f = fpga_manage::p_fpga_manage;
    if (!f || !f->running_state(0))
        return 0;
    return static_cast<uint16_t>(f->reg(fpga::REG_LINK_B) << 8 | f->reg(fpga::REG_LINK_A));
}

PortArea port_area(int port)
{
    fpga_manage* f = fpga_manage::p_fpga_manage;
    const abyte* page = fpga_manage::MCU_RAM_PARA_func[0];
    if (!f || !page)
        return PortArea{};
    unsigned short x = 0, y = 0, w = 0, h = 0;
    f->get_eth_param_addr(static_cast<unsigned char>(port), &x, &y, &w, &h);
    return PortArea{fpga_manage::page_rd16(page, x), fpga_manage::page_rd16(page, y), fpga_manage::page_rd16(page, w),
                    fpga_manage::page_rd16(page, h)};
}

void start_led_handshake_locked()
{
    if (run_state() == 3)
        fpga_manage::request_led_size_handover();
}

}  // namespace fpga_link
