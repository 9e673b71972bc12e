#pragma once
// I2C through i2c-dev: one I2C_RDWR call of one or two messages.
#include <cstdint>

namespace platform {

struct I2cMsg {
    uint16_t addr = 0;      // 7-bit address
    bool read = false;
    uint8_t* buf = nullptr;
    uint16_t len = 0;
};

class I2cBus {
public:
    virtual ~I2cBus() = default;
    // Performs the messages as one combined transaction. 0 done, -1 failed (a NACK included).
    virtual int transfer(I2cMsg* msgs, int count) = 0;
};

}  // namespace platform
