// IT6805 register access over the SoC's first I2C bus, and the receiver switch.
// Drv_I2C0 answers 1 for success; these primitives answer 0 for a good write (hdmirxwr) and
// 1 for a good block read (cecbrd_it6805): each result is mapped explicitly below.
#include <cstdio>

#include "core/globals.h"
#include "platform/board.h"
#include "video_io/Drv_I2C0.h"
#include "video_io/it6805_regs.h"
#include "video_io/ite6805_sys.h"

using namespace it6805;

// ---- primitives -----------------------------------------------------------------------------

// The receiver's own failures count apart from its CEC controller's.
void ite6805_i2c_rdwr::count_failure(uint8_t addr, uint8_t device, bool read)
{
    const int d = device & 1;
    if (addr == ADDR_CEC)
        ++sys_->cec_failures[d];
    else
        ++(read ? sys_->read_failures : sys_->write_failures)[d];
}

uint8_t ite6805_i2c_rdwr::rd(uint8_t addr, uint8_t reg, uint8_t device, bool* ok)
{
    uint8_t v = 0;
    const bool good = Drv_I2C0::p_drv_i2c0 && Drv_I2C0::p_drv_i2c0->i2c_read(sys_->fd, addr, reg, &v, 1) == 1;
    if (!good) {
        count_failure(addr, device, true);
        v = 0;
    }
    if (ok)
        *ok = good;
    return v;
}

int ite6805_i2c_rdwr::wr(uint8_t addr, uint8_t reg, const uint8_t* data, uint8_t count, uint8_t device)
{
    uint8_t buf[256];
    for (unsigned i = 0; i < count; ++i)
        buf[i] = data[i];
    const bool good = Drv_I2C0::p_drv_i2c0 && Drv_I2C0::p_drv_i2c0->i2c_write(sys_->fd, addr, reg, buf, count) == 1;
    if (!good)
        count_failure(addr, device, false);
    return good ? 0 : 1;
}

// Read-modify-write of the bits in `mask`.
void ite6805_i2c_rdwr::set(uint8_t addr, uint8_t reg, uint8_t mask, uint8_t value, uint8_t device)
{
    bool ok = false;
    const uint8_t old = rd(addr, reg, device, &ok);
    if (!ok)
        return;  // never write back a value the chip did not give
    const uint8_t v = uint8_t((old & ~mask) | (value & mask));
    wr(addr, reg, &v, 1, device);
}

uint8_t ite6805_i2c_rdwr::hdmirxrd(uint8_t reg, uint8_t device, bool* ok) { return rd(ADDR_RX, reg, device, ok); }

int ite6805_i2c_rdwr::hdmirxwr(uint8_t reg, uint8_t value, uint8_t device)
{
    return wr(ADDR_RX, reg, &value, 1, device);
}

void ite6805_i2c_rdwr::hdmirxset(uint8_t reg, uint8_t mask, uint8_t value, uint8_t device)
{
    set(ADDR_RX, reg, mask, value, device);
}

int ite6805_i2c_rdwr::hdmirxbwr(uint8_t reg, uint8_t count, const uint8_t* buffer, uint8_t device)
{
    return count ? wr(ADDR_RX, reg, buffer, count, device) : 0;
}

void ite6805_i2c_rdwr::hdimrx_write_init(const uint8_t (*table)[3], uint8_t device)
{
    for (int i = 0; table[i][0] != 0xFF; ++i)
        hdmirxset(table[i][0], table[i][1], table[i][2], device);
}

uint8_t ite6805_i2c_rdwr::cecrd_6805(uint8_t reg, uint8_t device, bool* ok) { return rd(ADDR_CEC, reg, device, ok); }

int ite6805_i2c_rdwr::cecwr_6805(uint8_t reg, uint8_t value, uint8_t device)
{
    return wr(ADDR_CEC, reg, &value, 1, device);
}

void ite6805_i2c_rdwr::cecset_6805(uint8_t reg, uint8_t mask, uint8_t value, uint8_t device)
{
    set(ADDR_CEC, reg, mask, value, device);
}

int ite6805_i2c_rdwr::cecbrd_it6805(uint8_t reg, uint8_t count, uint8_t* out, uint8_t device)
{
    if (count == 0)
        return 1;
    const bool good = Drv_I2C0::p_drv_i2c0 &&
                      Drv_I2C0::p_drv_i2c0->i2c_read(sys_->fd, ADDR_CEC, reg, out, count) == 1;
    if (!good)
        count_failure(ADDR_CEC, device, true);
    return good ? 1 : 0;
}

int ite6805_i2c_rdwr::cecbwr_it6805(uint8_t reg, uint8_t count, const uint8_t* buffer, uint8_t device)
{
    return count ? wr(ADDR_CEC, reg, buffer, count, device) : 0;
}

// ---- the receiver switch --------------------------------------------------------------------

// A switch has no register: its control byte is read with a plain one-byte read, which the
// register transfers of Drv_I2C0 cannot do (their register byte would be taken as a new
// control byte). So this one read goes to the bus directly.
int ite6805_sys::read_switch()
{
    if (!switch_bus_)
        switch_bus_ = platform::board().open_i2c("/dev/i2c-0");
    if (!switch_bus_)
        return -1;
    uint8_t v = 0;
    platform::I2cMsg m;
    m.addr = ADDR_RX_SWITCH >> 1;
    m.read = true;
    m.buf = &v;
    m.len = 1;
    return switch_bus_->transfer(&m, 1) == 0 ? v : -1;
}

bool ite6805_sys::write_switch(uint8_t channels)
{
    return Drv_I2C0::p_drv_i2c0 && Drv_I2C0::p_drv_i2c0->i2c_write(fd, ADDR_RX_SWITCH, 0x00, &channels, 1) == 1;
}

bool ite6805_sys::channel_selected(uint8_t device) { return read_switch() == channel(device); }

// Called by the supervision's hot-plug commands with any receiver's channel selected: the
// command bytes must reach this device only, and the supervision's selection survives.
void ite6805_drv::iTE6805_Set_HPD_Ctrl(uint8_t port, uint8_t level, uint8_t device)
{
    device &= 1;
    if (sys_->in_fsm()) {
        hpd_ctrl(port, level, device);
        return;
    }
    const int before = sys_->read_switch();
    if (!sys_->write_switch(ite6805_sys::channel(device))) {
        std::printf("iTE6805_Set_HPD_Ctrl dev %d: switch channel not selected, skipped\n", device);
        return;
    }
    sys_->set_in_fsm(true);
    hpd_ctrl(port, level, device);
    sys_->set_in_fsm(false);
    if (before >= 0)
        sys_->write_switch(uint8_t(before));
}
