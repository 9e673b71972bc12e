#pragma once
// SPI through spidev: one device node, one configuration, one message per transfer.
#include <cstddef>
#include <cstdint>

namespace platform {

struct SpiConfig {
    uint8_t mode = 0;
    uint8_t bits = 8;
    uint32_t speed_hz = 0;
};

class SpiDevice {
public:
    virtual ~SpiDevice() = default;
    // Sets mode, word size and speed and reads them back into *got. 0 done, -1 failed.
    virtual int configure(const SpiConfig& want, SpiConfig* got) = 0;
    // One message of len bytes: full duplex when rx is given, transmit only when rx is null.
    // 0 done, -1 failed.
    virtual int transfer(const uint8_t* tx, uint8_t* rx, size_t len) = 0;
};

}  // namespace platform
