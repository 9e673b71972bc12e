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
    // One message of len bytes: full duplex when rx is given, transmit only when rx is null,
    // clocked at speed_hz (0: the configured speed). 0 done, -1 failed.
    virtual int transfer(const uint8_t* tx, uint8_t* rx, size_t len, uint32_t speed_hz) = 0;
    int transfer(const uint8_t* tx, uint8_t* rx, size_t len) { return transfer(tx, rx, len, 0); }
};

}  // namespace platform
