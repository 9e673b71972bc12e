// The board of the real device.
#include "platform/hw_board.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>

#include "platform/log_hook.h"

namespace platform {

int open_device_node(const std::string& path)
{
    const int fd = ::open(rooted(path).c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        log(kLogError, "can't open " + path + ": " + std::strerror(errno));
    return fd;
}

std::unique_ptr<SpiDevice> HwBoard::open_spi(const std::string& path)
{
    auto d = std::make_unique<HwSpiDevice>(path);
    if (d->fd() < 0)
        return nullptr;
    return d;
}

std::unique_ptr<I2cBus> HwBoard::open_i2c(const std::string& path)
{
    auto b = std::make_unique<HwI2cBus>(path);
    if (b->fd() < 0)
        return nullptr;
    return b;
}

RegWindow& HwBoard::soc_window(WindowStatus* status)
{
    std::call_once(window_once_, [this] { window_ = map_soc_window(&window_status_); });
    if (status)
        *status = window_status_;
    return *window_;
}

std::unique_ptr<RegWindow> HwBoard::map_phys(uint32_t phys_base, uint32_t length)
{
    return map_mem(phys_base, length);
}

}  // namespace platform
