// Placeholder until the IT6805 driver is built: the supervision calls these hooks.
#include "video_io/ite6805_sys.h"

void ite6805_drv::iTE6805_Set_HPD_Ctrl(uint8_t, uint8_t, uint8_t) {}

ite6805_sys::ite6805_sys() : drv(new ite6805_drv) {}

void ite6805_sys::iTE6805_FSM(uint8_t) {}

void ite6805_sys::ite6805_sys_reset_init()
{
    init_state[0] = init_state[1] = 0;
}
