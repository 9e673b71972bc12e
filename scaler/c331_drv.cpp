#include "scaler/c331_drv.h"

#include <cstdio>

#include "core/log.h"
#include "core/utils.h"
#include "platform/board.h"
#include "platform/spi.h"
#include "scaler/c331_regs.h"

namespace {
constexpr int kHandle = 0;   // the one descriptor this transport hands out
}

c331_drv::c331_drv()
{
    writeLogMsg(LOG_INFO, "====c331_drv::c331_drv()=====");
}

c331_drv::~c331_drv() = default;

int c331_drv::initialize()
{
    return attach(platform::board().open_spi(kDevicePath));
}

int c331_drv::attach(std::unique_ptr<platform::SpiDevice> dev)
{
    dev_ = std::move(dev);
    bank_ = -1;
    if (!dev_) {
        writeLogMsg(LOG_ERROR, std::string("c331: cannot open ") + kDevicePath);
        return -1;
    }
    platform::SpiConfig want;
    want.mode = 3;
    want.bits = 8;
    want.speed_hz = kSpeedWriteHz;
    platform::SpiConfig got;
    if (dev_->configure(want, &got) != 0)
        writeLogMsg(LOG_WARNING, "c331: spi configuration failed");
    return kHandle;
}

void c331_drv::init_reg_acc_param()
{
    QMutexLocker lk(&Utils::_c331_bnk_mutex);
    bank_ = -1;
}

int c331_drv::transfer(int fd, const unsigned char* tx, unsigned char* rx, int len, uint32_t speed_hz)
{
    std::lock_guard<FairMutex> lk(Utils::_spi_mutex);
    platform::RegWindow& soc = platform::board().soc_window();
    soc.write16(kPadSpiMuxA, kPadC331);
    soc.write16(kPadSpiMuxB, kPadC331);
    int ret = -1;
    if (fd == kHandle && dev_ && len > 0)
        ret = dev_->transfer(tx, rx, static_cast<size_t>(len), speed_hz) == 0 ? len : -1;
    if (ret <= 0)
        perror("can't send spi message");
    return ret;
}

int c331_drv::SPI_Transfer(int fd, const unsigned char* tx, unsigned char* rx, int len)
{
    return transfer(fd, tx, rx, len, kSpeedReadHz);
}

int c331_drv::SPI_Transfer_Write(int fd, const unsigned char* tx, int len)
{
    return transfer(fd, tx, nullptr, len, kSpeedWriteHz);
}

// A failed transfer leaves the chip's bank unknown, so the cache is dropped and the next
// access selects again.
bool c331_drv::select_bank(int fd, int bank)
{
    if (bank_ == bank)
        return true;
    const unsigned char tx[2] = {c331::kFrameWrite, static_cast<unsigned char>(bank & 0xFF)};
    if (SPI_Transfer_Write(fd, tx, 2) <= 0) {
        bank_ = -1;
        return false;
    }
    bank_ = bank;
    return true;
}

void c331_drv::write_locked(int fd, unsigned regid, unsigned value, unsigned choffs)
{
    const int bank = static_cast<int>(c331::id_bank(regid) + choffs);
    if (!select_bank(fd, bank))
        return;
    const unsigned first = c331::id_reg(regid);
    const unsigned count = c331::id_count(regid);
    for (unsigned i = 0; i < count && i < 4; ++i) {
        const unsigned char tx[2] = {static_cast<unsigned char>(c331::kFrameWrite | ((first + i) & 0x7F)),
                                     static_cast<unsigned char>((value >> (8 * i)) & 0xFF)};
        if (SPI_Transfer_Write(fd, tx, 2) <= 0) {
            bank_ = -1;
            return;
        }
        // Register 0 of every bank is the bank select: a data write to it moves the chip
        // to another bank, so the cache follows.
        if (((first + i) & 0x7F) == c331::kBankSelectReg)
            bank_ = tx[1];
    }
}

unsigned c331_drv::read_locked(int fd, unsigned regid, unsigned choffs, bool* ok)
{
    if (ok)
        *ok = false;
    const int bank = static_cast<int>(c331::id_bank(regid) + choffs);
    if (!select_bank(fd, bank))
        return 0;
    const unsigned first = c331::id_reg(regid);
    const unsigned count = c331::id_count(regid);
    unsigned value = 0;
    for (unsigned i = 0; i < count && i < 4; ++i) {
        const unsigned char tx[2] = {static_cast<unsigned char>((first + i) & c331::kFrameReadMask),
                                     c331::kFrameDummy};
        unsigned char rx[2] = {0, 0};
        if (SPI_Transfer(fd, tx, rx, 2) <= 0) {
            bank_ = -1;
            return 0;
        }
        value |= static_cast<unsigned>(rx[1]) << (8 * i);
    }
    if (ok)
        *ok = true;
    return value;
}

void c331_drv::write_C331(int fd, unsigned regid, unsigned value, unsigned choffs)
{
    QMutexLocker lk(&Utils::_c331_bnk_mutex);
    write_locked(fd, regid, value, choffs);
}

unsigned c331_drv::read_C331(int fd, unsigned regid, unsigned choffs)
{
    QMutexLocker lk(&Utils::_c331_bnk_mutex);
    return read_locked(fd, regid, choffs);
}

void c331_drv::write_c331_mask(int fd, unsigned regid, unsigned value, unsigned mask, unsigned choffs)
{
    QMutexLocker lk(&Utils::_c331_bnk_mutex);
    bool ok = false;
    const unsigned old = read_locked(fd, regid, choffs, &ok);
    if (!ok)
        return;   // never write back a value built from a failed read
    write_locked(fd, regid, old ^ ((value ^ old) & mask), choffs);
}
