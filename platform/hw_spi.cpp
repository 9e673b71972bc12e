// spidev: configuration with read-back, one message per transfer.
#include <linux/spi/spidev.h>
#include <sys/ioctl.h>

#include <cstring>

#include "platform/hw_board.h"

namespace platform {

int HwSpiDevice::configure(const SpiConfig& want, SpiConfig* got)
{
    SpiConfig now = want;
    if (ioctl(fd(), SPI_IOC_WR_MODE, &now.mode) < 0 || ioctl(fd(), SPI_IOC_RD_MODE, &now.mode) < 0 ||
        ioctl(fd(), SPI_IOC_WR_BITS_PER_WORD, &now.bits) < 0 ||
        ioctl(fd(), SPI_IOC_RD_BITS_PER_WORD, &now.bits) < 0 ||
        ioctl(fd(), SPI_IOC_WR_MAX_SPEED_HZ, &now.speed_hz) < 0 ||
        ioctl(fd(), SPI_IOC_RD_MAX_SPEED_HZ, &now.speed_hz) < 0)
        return -1;
    cfg_ = now;
    if (got)
        *got = now;
    return 0;
}

int HwSpiDevice::transfer(const uint8_t* tx, uint8_t* rx, size_t len, uint32_t speed_hz)
{
    if (len > UINT32_MAX)
        return -1;
    spi_ioc_transfer t;
    std::memset(&t, 0, sizeof t);
    t.tx_buf = reinterpret_cast<uintptr_t>(tx);
    t.rx_buf = reinterpret_cast<uintptr_t>(rx);
    t.len = uint32_t(len);
    t.speed_hz = speed_hz ? speed_hz : cfg_.speed_hz;
    t.bits_per_word = cfg_.bits;
    return ioctl(fd(), SPI_IOC_MESSAGE(1), &t) < 0 ? -1 : 0;
}

}  // namespace platform
