#pragma once
// The SoC's first I2C bus ("/dev/i2c-0"): one register write or one register read per call,
// as one combined transfer (no stop between the register byte and the data). Addresses are
// 8-bit (7-bit address << 1). No state: the descriptor is held by the callers.
#include <cstdint>

class Drv_I2C0 {
public:
    static Drv_I2C0* p_drv_i2c0;  // created by zeltasource's constructor

    static constexpr unsigned kMaxWrite = 255;  // data bytes after the register byte
    static constexpr int kMaxRead = 100;

    // Opens the bus; the descriptor, or -1.
    int initialize();
    // 1 when the transfer succeeded, 0 when it failed or was refused (over the limits).
    int i2c_write(int fd, unsigned char address, unsigned char reg, unsigned char* data, unsigned int count);
    // 1 and count bytes in out on success; 0 and out untouched on failure.
    int i2c_read(int fd, unsigned char address, unsigned char reg, unsigned char* out, int count);
};
