#pragma once
// The two IT6805 HDMI 2.0 receivers (receivers 4 and 5: device 0 and 1). The supervision
// thread selects a device's channel on the receiver switch, then steps its state machine.
#include <cstdint>

class ite6805_drv {
public:
    // Hot-plug of one port of device `device`: level 1 high, 0 low.
    void iTE6805_Set_HPD_Ctrl(uint8_t port, uint8_t level, uint8_t device);
};

class ite6805_sys {
public:
    int fd = -1;                 // "/dev/i2c-0", set by zeltasource::initialize()
    uint8_t init_state[2] = {};  // 0 identify and initialise on the next pass, 1 running
    ite6805_drv* drv = nullptr;

    ite6805_sys();
    void iTE6805_FSM(uint8_t device);  // one supervision pass of one device
    void ite6805_sys_reset_init();     // the supervision reset the chips
};
