// The C331's own serial NOR flash (fonts, the OSD bitmap), reached byte-wise through the chip's
// flash controller. Every wait on the controller is bounded: at the bound the command is ended,
// a warning logged and -1 returned, so a dead flash cannot hang the scaler thread or a remote
// handler.
#include <QMutexLocker>
#include <cstdio>

#include "core/log.h"
#include "scaler/c331_drv.h"
#include "scaler/c331_manage.h"
#include "scaler/c331_osd_regs.h"
#include "scaler/dbg_print.h"

namespace {

constexpr uint64_t kReadStartLimitUs = 100000;
constexpr uint64_t kPageLimitUs = 100000;
constexpr uint64_t kEraseLimitUs = 5000000;   // per unit
constexpr uint32_t kPage = 256;

// Debug print table entry 6 (group "C331"): flash progress lines, off at start.
bool flash_prints_on() { return scaler_debug_on() && (c331_manage::prnEn[0][5] & 0x80); }

}  // namespace

void c331_manage::flash_pin_setup(int fd)
{
    drv->write_C331(fd, c331::SFL_PIN_A, 85, 0);
    drv->write_C331(fd, c331::SFL_PIN_B, 768, 0);
    drv->write_C331(fd, c331::SFL_PIN_C, 768, 0);
    drv->write_C331(fd, c331::SFL_PIN_D, 1023, 0);
    if (flash_prints_on())
        std::printf("GIO setting OK.\n");
}

int c331_manage::read_flash(int fd, uint32_t addr, uint32_t len, uint8_t* buf)
{
    QMutexLocker lk(&osd_flash_mutex);
    flash_pin_setup(fd);
    drv->write_C331(fd, c331::SFL_CMD, c331::SFL_CMD_IDLE, 0);
    drv->write_C331(fd, c331::SFL_MODE, c331::SFL_MODE_RESET, 0);
    drv->write_C331(fd, c331::SFL_MODE, c331::SFL_MODE_BYTES, 0);
    drv->write_C331(fd, c331::SFL_READ_OP, c331::SFL_OP_FASTREAD4, 0);
    drv->write_C331(fd, c331::SFL_BYTE_ACCESS, 1, 0);
    drv->write_C331(fd, c331::SFL_CMD, c331::SFL_CMD_IDLE, 0);
    drv->write_C331(fd, c331::SFL_CLEAR, 0, 0);

    drv->write_C331(fd, c331::SFL_ADDR, addr, 0);
    drv->write_C331(fd, c331::SFL_XFER, c331::SFL_XFER_START, 0);
    const bool started = wait_reg(fd, c331::SFL_XFER, c331::SFL_XFER_BUSY, 0, kReadStartLimitUs, c331::SFL_CMD,
                                  "serial flash read start");
    drv->write_C331(fd, c331::SFL_XFER, 0, 0);
    if (!started)
        return -1;
    const bool dbg = flash_prints_on();
    for (uint32_t i = 0; i < len; ++i) {
        buf[i] = uint8_t(drv->read_C331(fd, c331::SFL_DATA, 0));
        if (dbg && (i + 1) % 1024 == 0)
            std::printf("#### %8u byte of %8u byte read finish. ###\n", i + 1, len);
    }
    if (dbg)
        std::printf("#### %8u byte of %8u byte read finish. ###\n", len, len);
    drv->write_C331(fd, c331::SFL_ADDR, addr, 0);
    return 0;
}

// Write-disable when the flash left its write-enable latch set.
bool c331_manage::flash_clear_wel(int fd)
{
    if (flash_prints_on())
        std::printf("B4_SFLRDSR WEL is 1, and have to clear WEL bit.\nSerial Flash WRDI command process start.\n");
    drv->write_C331(fd, c331::SFL_ERASE_OP, c331::SFL_OP_WRDI, 0);
    drv->write_C331(fd, c331::SFL_CMD, c331::SFL_CMD_WRDI, 0);
    if (!wait_reg(fd, c331::SFL_RDSR, c331::SFL_RDSR_WEL, 0, kPageLimitUs, c331::SFL_CMD, "serial flash WRDI"))
        return false;
    drv->write_C331(fd, c331::SFL_CMD, c331::SFL_CMD_IDLE, 0);
    return true;
}

// The controller has sent the page, the flash has programmed it and its latch is clear.
bool c331_manage::flash_page_end(int fd)
{
    uint32_t status = 0;
    if (!wait_reg(fd, c331::SFL_XFER, c331::SFL_XFER_WEMPTY, c331::SFL_XFER_WEMPTY, kPageLimitUs, c331::SFL_CMD,
                  "serial flash write buffer") ||
        !wait_reg(fd, c331::SFL_STAT, c331::SFL_STAT_WBUSY, 0, kPageLimitUs, c331::SFL_CMD, "serial flash write") ||
        !wait_reg(fd, c331::SFL_RDSR, c331::SFL_RDSR_WIP, 0, kPageLimitUs, c331::SFL_CMD, "serial flash program",
                  &status))
        return false;
    return (status & c331::SFL_RDSR_WEL) ? flash_clear_wel(fd) : true;
}

int c331_manage::write_flash(int fd, uint32_t addr, uint32_t len, const uint8_t* buf)
{
    QMutexLocker lk(&osd_flash_mutex);
    flash_pin_setup(fd);
    drv->write_C331(fd, c331::SFL_MODE, c331::SFL_MODE_RESET, 0);
    drv->write_C331(fd, c331::SFL_CMD, c331::SFL_CMD_IDLE, 0);
    drv->write_C331(fd, c331::SFL_MODE, c331::SFL_MODE_BYTES, 0);
    drv->write_C331(fd, c331::SFL_WREN_OP, c331::SFL_OP_WREN, 0);
    drv->write_C331(fd, c331::SFL_RDSR_OP, c331::SFL_OP_RDSR, 0);
    drv->write_C331(fd, c331::SFL_PROG_OP, c331::SFL_OP_PROGRAM4, 0);
    drv->write_C331(fd, c331::SFL_BYTE_ACCESS, 1, 0);
    drv->write_C331(fd, c331::SFL_CMD, c331::SFL_CMD_IDLE, 0);
    drv->write_C331(fd, c331::SFL_CLEAR, 0, 0);
    drv->write_C331(fd, c331::SFL_ADDR, addr, 0);
    drv->write_C331(fd, c331::SFL_ADDR, addr, 0);

    const bool dbg = flash_prints_on();
    for (uint32_t i = 0; i < len; ++i) {
        drv->write_C331(fd, c331::SFL_DATA, buf[i], 0);
        const uint32_t next = addr + i + 1;
        if (next % kPage == 0) {
            drv->write_C331(fd, c331::SFL_ADDR, next, 0);
            if (!flash_page_end(fd))
                return -1;
        }
        if (dbg && (i + 1) % 8192 == 0)
            std::printf("#### %8u byte of %8u byte write finish. ###\n", i + 1, len);
    }
    // The last, partial page (a full one was finished in the loop).
    if ((addr + len) % kPage != 0) {
        drv->write_C331(fd, c331::SFL_ADDR, addr + len, 0);
        if (!flash_page_end(fd))
            return -1;
    }
    return 0;
}

// One unit. The write-disable that may end the previous unit puts its own opcode where the
// erase opcode lives, so the erase and write-enable opcodes are set again for every unit.
bool c331_manage::flash_erase_unit(int fd, uint32_t addr, uint32_t opcode)
{
    uint32_t status = 0;
    drv->write_C331(fd, c331::SFL_ERASE_OP, opcode, 0);
    drv->write_C331(fd, c331::SFL_WREN_OP, c331::SFL_OP_WREN, 0);
    drv->write_C331(fd, c331::SFL_ADDR, addr, 0);
    drv->write_C331(fd, c331::SFL_CMD, c331::SFL_CMD_ERASE, 0);
    if (!wait_reg(fd, c331::SFL_STAT, c331::SFL_STAT_EBUSY, 0, kEraseLimitUs, c331::SFL_CMD, "serial flash erase") ||
        !wait_reg(fd, c331::SFL_RDSR, c331::SFL_RDSR_WIP, 0, kEraseLimitUs, c331::SFL_CMD, "serial flash erase (WIP)",
                  &status))
        return false;
    if ((status & c331::SFL_RDSR_WEL) && !flash_clear_wel(fd))
        return false;
    drv->write_C331(fd, c331::SFL_CMD, c331::SFL_CMD_IDLE, 0);
    return true;
}

int c331_manage::erase_flash(int fd, uint32_t sector, uint32_t count, int kind)
{
    static constexpr uint32_t kOpcode[3] = {c331::SFL_OP_ERASE_4K, c331::SFL_OP_ERASE_32K, c331::SFL_OP_ERASE_64K};
    static constexpr uint32_t kUnit[3] = {4096, 32768, 65536};
    const int k = kind == 0 || kind == 1 ? kind : 2;
    QMutexLocker lk(&osd_flash_mutex);
    flash_pin_setup(fd);
    drv->write_C331(fd, c331::SFL_CMD, c331::SFL_CMD_IDLE, 0);
    drv->write_C331(fd, c331::SFL_MODE, c331::SFL_MODE_RESET, 0);
    drv->write_C331(fd, c331::SFL_MODE, c331::SFL_MODE_ERASE, 0);
    drv->write_C331(fd, c331::SFL_ERASE_OP, kOpcode[k], 0);
    drv->write_C331(fd, c331::SFL_WREN_OP, c331::SFL_OP_WREN, 0);
    drv->write_C331(fd, c331::SFL_RDSR_OP, c331::SFL_OP_RDSR, 0);
    drv->write_C331(fd, c331::SFL_BYTE_ACCESS, 1, 0);

    for (uint32_t i = 0; i < count; ++i)
        if (!flash_erase_unit(fd, sector * 4096 + i * kUnit[k], kOpcode[k]))
            return -1;
    return 0;
}
