#include "video_io/fpga_drv.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/globals.h"
#include "core/log.h"
#include "core/utils.h"
#include "platform/board.h"
#include "platform/clock.h"
#include "platform/spi.h"
#include "video_io/fpga_regs.h"
#include "video_io/soc_pads.h"

namespace {

const char* const kDevicePaths[fpga_drv::kDevices] = {
    "/dev/spidev32766.1",  // FPGA chip 0: registers and RAM
    "/dev/spidev32766.2",  // FPGA chip 1 (never opened)
    "/dev/spidev32766.3",  // configuration flash of chip 0
    "/dev/spidev32766.4",  // configuration flash of chip 1 (never opened)
};
constexpr int kFlashIndex = 2;

// ---- flash commands ----
constexpr uint8_t FL_WRITE_ENABLE = 0x06;
constexpr uint8_t FL_READ_STATUS = 0x05;
constexpr uint8_t FL_STATUS_WIP = 0x01;
constexpr uint8_t FL_PAGE_PROGRAM = 0x02;
constexpr uint8_t FL_FAST_READ = 0x0B;
constexpr uint8_t FL_READ_UID = 0x4B;
constexpr uint8_t kEraseCmd[3] = {0x20, 0x52, 0xD8};
constexpr uint32_t kEraseSectors[3] = {1, 8, 16};  // 4 KiB sectors per unit
constexpr uint32_t kSectorCount = fpga::kFlashSize / fpga::kFlashSector;  // 2048
constexpr uint32_t kHeader = 4;      // command + 24-bit address
constexpr uint32_t kReadHeader = 5;  // ... + one dummy byte
constexpr uint64_t kBusyPollUs = 1000;       // a page program is done within a few polls ...
constexpr uint64_t kBusySlowPollUs = 10000;  // ... an erase takes tens of milliseconds
constexpr int kBusyFastPolls = 20;

bool debug() { return g_debugSwitch == 254; }

// One command on the configuration flash at a time with its busy wait (a page program, the erase
// of one unit, a read). The busy waits let the bus go, and a flash busy with one thread's program
// or erase ignores another thread's write enable, program and erase (and answers no read):
// without this lock a tool's write or a record's store on one transport, landing in another's
// erase, would be answered done and never be in the flash. Taken in the order asked and let go
// between two pages or two units, so a long write or erase and the steps of a record store take
// turns with the other threads' flash commands. Taken before Utils::_spi_mutex; one flash on the
// board, so one lock for every driver.
FairMutex g_flash_cmd_mutex;

void put_addr(uint8_t* p, uint8_t cmd, uint32_t address)
{
    p[0] = cmd;
    p[1] = uint8_t(address >> 16);
    p[2] = uint8_t(address >> 8);
    p[3] = uint8_t(address);
}

// A read or program of `length` bytes at `address`: at least one byte, all inside the flash.
bool flash_span_ok(uint32_t address, uint32_t length)
{
    return length != 0 && uint64_t(address) + length <= fpga::kFlashSize;
}

}  // namespace

fpga_drv::fpga_drv()
{
    writeLogMsg(LOG_INFO, "====fpga_drv::fpga_drv()=====");
}

fpga_drv::~fpga_drv() = default;

int fpga_drv::initialize_vbyne1(unsigned char index)
{
    // The second chip and its flash are never brought up: nothing is opened for them.
    if (index >= kDevices || index == 1 || index == 3)
        return -1;
    if (debug())
        std::printf("\n fpga_drv SPI - Open Succeed. Start Init SPI...");
    dev_[index] = platform::board().open_spi(kDevicePaths[index]);
    if (!dev_[index]) {
        writeLogMsg(LOG_ERROR, std::string("fpga: cannot open ") + kDevicePaths[index]);
        return -1;
    }
    platform::SpiConfig want;
    want.mode = 3;
    want.bits = 8;
    want.speed_hz = kSpeedHz;
    platform::SpiConfig got;
    if (dev_[index]->configure(want, &got) != 0)
        std::perror("can't set spi mode");
    return index;
}

int fpga_drv::SPI_Transfer(int fd, const unsigned char* tx, unsigned char* rx, int len)
{
    const bool ok = fd >= 0 && fd < kDevices && dev_[fd] && len > 0 &&
                    dev_[fd]->transfer(tx, rx, size_t(len), kSpeedHz) == 0;
    if (!ok) {
        std::perror("can't send spi message");
        return -1;
    }
    return len;
}

int fpga_drv::SPI_Transfer_Write(int fd, const unsigned char* tx, int len)
{
    return SPI_Transfer(fd, tx, nullptr, len);
}

// ---- flash selection -------------------------------------------------------------------------

bool fpga_drv::select_flash(unsigned char flash)
{
    if (flash != fpga::kFlashChip0 || !dev_[kFlashIndex])
        return false;
    Utils::_spi_mutex.lock();
    platform::RegWindow& soc = platform::board().soc_window();
    soc.write16(pads::PAD_SPI_MUX_A, pads::kHigh);
    soc.write16(pads::PAD_SPI_MUX_B, pads::kLow);
    soc.write16(pads::PAD_FLASH0_CS, pads::kLow);
    return true;
}

void fpga_drv::release_flash()
{
    platform::RegWindow& soc = platform::board().soc_window();
    soc.write16(pads::PAD_FLASH0_CS, pads::kHigh);
    soc.write16(pads::PAD_SPI_MUX_A, pads::kHigh);
    soc.write16(pads::PAD_SPI_MUX_B, pads::kHigh);
    Utils::_spi_mutex.unlock();
}

bool fpga_drv::take_flash(unsigned char flash)
{
    if (flash != fpga::kFlashChip0 || !dev_[kFlashIndex])
        return false;
    g_flash_cmd_mutex.lock();
    return select_flash(flash);
}

void fpga_drv::give_flash()
{
    release_flash();
    g_flash_cmd_mutex.unlock();
}

// A flash that never becomes idle would hold the bus (and the scaler) for good: the wait is
// bounded and sleeps between polls. A flash busy with a program or an erase needs no bus, so
// the bus is let go while the wait sleeps: the scaler, the FPGA's registers and the other
// tools reach it meanwhile, however slow the flash.
int fpga_drv::FPGA_SPI_WAIT_BUSY(int fd)
{
    const uint64_t start = platform::clock().now_us();
    for (int polls = 0;; ++polls) {
        const uint8_t tx[2] = {FL_READ_STATUS, 0xFF};
        uint8_t rx[2] = {0, 0};
        if (SPI_Transfer(fd, tx, rx, 2) > 0 && !(rx[1] & FL_STATUS_WIP))
            return 1;
        if (platform::clock().now_us() - start >= kBusyTimeoutUs) {
            writeLogMsg(LOG_ERROR, "fpga: configuration flash stays busy, operation given up");
            return 0;
        }
        release_flash();
        platform::sleep_us(polls < kBusyFastPolls ? kBusyPollUs : kBusySlowPollUs);
        select_flash(fpga::kFlashChip0);  // the flash the caller selected: always taken again
    }
}

// ---- erase -------------------------------------------------------------------------------------

unsigned int fpga_drv::FPGA_SPI_FLASH_VBYONE_ERASE(unsigned char flash, unsigned int sector, unsigned char type,
                                                   unsigned int count, bool* issued, uint64_t part_us,
                                                   unsigned int* done)
{
    const uint64_t start = platform::clock().now_us();
    if (done)
        *done = 0;
    if (type > 2)
        return 0;
    const uint32_t unit = kEraseSectors[type];
    // The end must lie inside the 8 MiB: computed wide, so a huge count cannot wrap.
    if (uint64_t(sector) + uint64_t(count) * unit > kSectorCount)
        return 0;
    if (!take_flash(flash))
        return 0;
    const int fd = kFlashIndex;
    unsigned int ok = FPGA_SPI_WAIT_BUSY(fd);
    for (uint32_t i = 0; ok && i < count; ++i) {
        if (i > 0) {  // another thread's flash command may go between two units
            give_flash();
            take_flash(flash);
        }
        const uint32_t a = (sector + i * unit) * fpga::kFlashSector;
        const uint8_t we = FL_WRITE_ENABLE;
        SPI_Transfer_Write(fd, &we, 1);
        ok = FPGA_SPI_WAIT_BUSY(fd);
        uint8_t cmd[4];
        put_addr(cmd, kEraseCmd[type], a);
        cmd[3] = 0x00;
        if (ok) {
            SPI_Transfer_Write(fd, cmd, 4);
            if (issued)
                *issued = true;
            ok = FPGA_SPI_WAIT_BUSY(fd);
        }
        if (ok && done) {
            *done = i + 1;
            if (i + 1 < count && platform::clock().now_us() - start >= part_us)
                break;
        }
    }
    give_flash();
    return ok;
}

// ---- program -----------------------------------------------------------------------------------

// One page program of n bytes (1..256, inside one page) from a local buffer, so the caller's
// data stay untouched.
int fpga_drv::page_program(int fd, uint32_t address, const unsigned char* data, uint32_t n)
{
    uint8_t buf[kHeader + fpga::kFlashPage];
    const uint8_t we = FL_WRITE_ENABLE;
    SPI_Transfer_Write(fd, &we, 1);
    put_addr(buf, FL_PAGE_PROGRAM, address);
    std::memcpy(buf + kHeader, data, n);
    SPI_Transfer_Write(fd, buf, int(kHeader + n));
    return FPGA_SPI_WAIT_BUSY(fd);
}

unsigned int fpga_drv::FPGA_SPI_FLASH_VBYONE_WRITE(unsigned char flash, unsigned int address,
                                                   const unsigned char* data, unsigned int length)
{
    if (!data || !flash_span_ok(address, length))
        return 0;
    if (!take_flash(flash))
        return 0;
    const int fd = kFlashIndex;
    int ok = 1;
    uint32_t done = 0;
    while (ok && done < length) {
        if (done > 0) {  // another thread's flash command may go between two pages
            give_flash();
            take_flash(flash);
        }
        const uint32_t a = address + done;
        const uint32_t room = fpga::kFlashPage - (a % fpga::kFlashPage);
        const uint32_t n = (length - done) < room ? (length - done) : room;
        ok = page_program(fd, a, data + done, n);
        done += n;
    }
    give_flash();
    return unsigned(ok);
}

// ---- read ----------------------------------------------------------------------------------------

unsigned int fpga_drv::FPGA_SPI_FLASH_VBYONE_READ(unsigned char flash, unsigned int address, unsigned int length,
                                                  unsigned char* out)
{
    if (!out || !flash_span_ok(address, length))
        return 0;
    if (!take_flash(flash))
        return 0;
    const int fd = kFlashIndex;
    const uint32_t chunk = length < kReadChunk ? length : kReadChunk;
    std::vector<uint8_t> tx(chunk + kReadHeader, 0xFF), rx(chunk + kReadHeader);
    for (uint32_t done = 0; done < length;) {
        const uint32_t n = (length - done) < kReadChunk ? (length - done) : kReadChunk;
        put_addr(tx.data(), FL_FAST_READ, address + done);
        tx[4] = 0xFF;  // dummy
        SPI_Transfer(fd, tx.data(), rx.data(), int(n + kReadHeader));
        std::memcpy(out + done, rx.data() + kReadHeader, n);
        done += n;
    }
    give_flash();
    return 1;
}

unsigned int fpga_drv::FPGA_SPI_FLASH_SSTF016B_RD_UID(unsigned char flash, unsigned char* out)
{
    if (!out || !take_flash(flash))
        return 0;
    uint8_t tx[13] = {FL_READ_UID, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    uint8_t rx[13] = {};
    SPI_Transfer(kFlashIndex, tx, rx, 13);
    std::memcpy(out, rx + 5, 8);
    give_flash();
    return 1;
}
