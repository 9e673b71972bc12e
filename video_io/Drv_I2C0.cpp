// The SoC's first I2C bus through the platform layer. A "descriptor" is a handle to a bus
// opened by initialize(): the platform gives bus objects, the callers keep integers.
#include "video_io/Drv_I2C0.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/board.h"

Drv_I2C0* Drv_I2C0::p_drv_i2c0 = nullptr;

namespace {

constexpr const char* kBusPath = "/dev/i2c-0";

std::mutex g_bus_mutex;
std::vector<std::unique_ptr<platform::I2cBus>>& buses()
{
    static std::vector<std::unique_ptr<platform::I2cBus>> v;  // index = descriptor
    return v;
}

platform::I2cBus* bus_of(int fd)
{
    std::lock_guard<std::mutex> lk(g_bus_mutex);
    if (fd < 0 || fd >= int(buses().size()))
        return nullptr;
    return buses()[size_t(fd)].get();
}

}  // namespace

int Drv_I2C0::initialize()
{
    auto bus = platform::board().open_i2c(kBusPath);
    if (!bus)
        return -1;
    std::lock_guard<std::mutex> lk(g_bus_mutex);
    buses().push_back(std::move(bus));
    return int(buses().size()) - 1;
}

int Drv_I2C0::i2c_write(int fd, unsigned char address, unsigned char reg, unsigned char* data, unsigned int count)
{
    platform::I2cBus* bus = bus_of(fd);
    if (!bus || count > kMaxWrite || (count && !data))
        return 0;
    unsigned char buf[kMaxWrite + 1];
    buf[0] = reg;
    if (count)
        std::memcpy(buf + 1, data, count);
    platform::I2cMsg msg;
    msg.addr = uint16_t(address >> 1);
    msg.buf = buf;
    msg.len = uint16_t(count + 1);
    return bus->transfer(&msg, 1) == 0 ? 1 : 0;
}

int Drv_I2C0::i2c_read(int fd, unsigned char address, unsigned char reg, unsigned char* out, int count)
{
    platform::I2cBus* bus = bus_of(fd);
    if (!bus || count > kMaxRead || (count > 0 && !out))
        return 0;
    unsigned char regbuf = reg;
    unsigned char rx[kMaxRead] = {};
    platform::I2cMsg msgs[2];
    msgs[0].addr = msgs[1].addr = uint16_t(address >> 1);
    msgs[0].buf = &regbuf;
    msgs[0].len = 1;
    msgs[1].read = true;
    msgs[1].buf = rx;
    msgs[1].len = uint16_t(count > 0 ? count : 0);
    if (bus->transfer(msgs, 2) != 0)
        return 0;
    if (count > 0)
        std::memcpy(out, rx, size_t(count));
    return 1;
}
