#pragma once
// A window of 16-bit SoC registers mapped from "/dev/mem". When the window could not be
// mapped, writes are dropped and reads give 0 (logged once by the implementation).
#include <cstdint>

namespace platform {

class RegWindow {
public:
    virtual ~RegWindow() = default;
    virtual bool mapped() const = 0;
    // Offsets are byte offsets into the window.
    virtual uint16_t read16(uint32_t offset) = 0;
    virtual void write16(uint32_t offset, uint16_t value) = 0;
};

}  // namespace platform
