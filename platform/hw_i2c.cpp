// i2c-dev: one I2C_RDWR call carries the whole combined transaction.
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <sys/ioctl.h>

#include "platform/hw_board.h"

namespace platform {

int HwI2cBus::transfer(I2cMsg* msgs, int count)
{
    constexpr int kMaxMsgs = 2;  // a register write, or a register address then a read
    if (count < 1 || count > kMaxMsgs || !msgs)
        return -1;
    i2c_msg m[kMaxMsgs];
    for (int i = 0; i < count; ++i) {
        m[i].addr = msgs[i].addr;
        m[i].flags = msgs[i].read ? I2C_M_RD : 0;
        m[i].len = msgs[i].len;
        m[i].buf = msgs[i].buf;
    }
    i2c_rdwr_ioctl_data data{m, uint32_t(count)};
    // The call returns the number of messages done; anything less is a NACK or bus error.
    return ioctl(fd(), I2C_RDWR, &data) == count ? 0 : -1;
}

}  // namespace platform
