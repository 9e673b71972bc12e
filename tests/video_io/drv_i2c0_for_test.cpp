// The bus driver for these tests until the input side's own Drv_I2C0 is built: one register
// write or read per call on the installed board's "/dev/i2c-0"; the descriptor is 0.
#include <cstring>
#include <memory>

#include "platform/board.h"
#include "video_io/Drv_I2C0.h"

Drv_I2C0* Drv_I2C0::p_drv_i2c0 = nullptr;

namespace {
std::unique_ptr<platform::I2cBus>& bus()
{
    static std::unique_ptr<platform::I2cBus> b;
    return b;
}
}  // namespace

int Drv_I2C0::initialize()
{
    bus() = platform::board().open_i2c("/dev/i2c-0");
    return bus() ? 0 : -1;
}

int Drv_I2C0::i2c_write(int, unsigned char address, unsigned char reg, unsigned char* data, unsigned int count)
{
    if (!bus() || count > kMaxWrite)
        return 0;
    unsigned char buf[kMaxWrite + 1];
    buf[0] = reg;
    if (count)
        std::memcpy(buf + 1, data, count);
    platform::I2cMsg m;
    m.addr = address >> 1;
    m.buf = buf;
    m.len = uint16_t(count + 1);
    return bus()->transfer(&m, 1) == 0 ? 1 : 0;
}

int Drv_I2C0::i2c_read(int, unsigned char address, unsigned char reg, unsigned char* out, int count)
{
    if (!bus() || count > kMaxRead || count < 0)
        return 0;
    unsigned char r = reg, buf[kMaxRead] = {};
    platform::I2cMsg m[2];
    m[0].addr = m[1].addr = address >> 1;
    m[0].buf = &r;
    m[0].len = 1;
    m[1].read = true;
    m[1].buf = buf;
    m[1].len = uint16_t(count);
    if (bus()->transfer(m, 2) != 0)
        return 0;
    if (count > 0)
        std::memcpy(out, buf, size_t(count));
    return 1;
}
