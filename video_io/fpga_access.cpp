// Register and RAM access to the FPGA over the shared SPI bus, the register mirror and the
// RAM pages kept in memory.
#include <cstdio>
#include <vector>

#include "core/log.h"
#include "core/utils.h"
#include "platform/board.h"
#include "video_io/fpga_drv.h"
#include "video_io/fpga_manage.h"
#include "video_io/soc_pads.h"

using namespace fpga;

// ---- command words ---------------------------------------------------------------------------

uint32_t fpga_manage::fpga_reg_cmd_to_spi_data(u8 type, u8 block, u8 r, u8 read, u8 mask)
{
    return uint32_t(u8((type << 1) | (read & 1))) | uint32_t(block) << 8 | uint32_t(r) << 16 |
           uint32_t(read ? 0 : mask) << 24;
}

uint32_t fpga_manage::fpga_cmd_to_spi_data(u8 type, u8 block, uint32_t address, u8 read)
{
    const uint32_t a = address & kRamAddrMask;
    return uint32_t(u8((type << 1) | (read & 1))) | uint32_t(block) << 8 | (a & 0xFF) << 16 | ((a >> 8) & 0x0F) << 24;
}

// ---- one framed access -------------------------------------------------------------------------

namespace {

// Steers the bus to the chip, clocks the command word with the select pad high, then the data
// with it low, and leaves the bus idle. Chip 1 has no descriptor: nothing is sent for it.
void framed_access(fpga_drv* drv, int fd, u8 chip, uint32_t word, const u8* tx, u8* rx, uint32_t n)
{
    if (chip != 0 || !drv || fd < 0 || n == 0)
        return;
    std::lock_guard<FairMutex> lk(Utils::_spi_mutex);
    platform::RegWindow& soc = platform::board().soc_window();
    soc.write16(pads::PAD_FPGA0_SEL, pads::kHigh);
    soc.write16(pads::PAD_SPI_MUX_B, pads::kLow);
    soc.write16(pads::PAD_SPI_MUX_A, pads::kHigh);
    const u8 w[4] = {u8(word), u8(word >> 8), u8(word >> 16), u8(word >> 24)};
    drv->SPI_Transfer_Write(fd, w, 4);
    soc.write16(pads::PAD_FPGA0_SEL, pads::kLow);
    drv->SPI_Transfer(fd, tx, rx, int(n));
    soc.write16(pads::PAD_SPI_MUX_A, pads::kHigh);
    soc.write16(pads::PAD_SPI_MUX_B, pads::kHigh);
}

bool fpga_register(unsigned r) { return r <= REG_LAST && (r < REG_LOCAL_FIRST || r > REG_LOCAL_LAST); }

}  // namespace

void fpga_manage::read_fpga_register(unsigned int r, unsigned char* value, unsigned char chip)
{
    const u8 tx = 0xFF;
    u8 rx = 0;
    framed_access(drv, spi_fd, chip, fpga_reg_cmd_to_spi_data(kTypeReg, 0, u8(r), kDirRead, 0), &tx, &rx, 1);
    if (value)
        *value = rx;
}

void fpga_manage::write_fpga_register(unsigned int r, unsigned char value, unsigned char chip, unsigned char mask)
{
    u8 rx = 0;
    framed_access(drv, spi_fd, chip, fpga_reg_cmd_to_spi_data(kTypeReg, 0, u8(r), kDirWrite, mask), &value, &rx, 1);
}

void fpga_manage::write_fpga_ram(const unsigned char* data, unsigned int address, unsigned int length,
                                 unsigned char block, unsigned char chip)
{
    std::vector<u8> rx(length);
    framed_access(drv, spi_fd, chip, fpga_cmd_to_spi_data(kTypeRam, block, address, kDirWrite), data, rx.data(),
                  length);
}

void fpga_manage::read_fpga_ram(unsigned char* out, unsigned int address, unsigned int length, unsigned char block,
                                unsigned char chip)
{
    std::vector<u8> tx(length, 0xFF);
    framed_access(drv, spi_fd, chip, fpga_cmd_to_spi_data(kTypeRam, block, address, kDirRead), tx.data(), out,
                  length);
}

// ---- the mirror ------------------------------------------------------------------------------------

void fpga_manage::read_from_register(unsigned char r, unsigned char chip)
{
    if (chip >= kChips || !fpga_register(r))
        return;
    u8 v = 0;
    read_fpga_register(r, &v, chip);
    std::lock_guard<std::mutex> lk(mirror_mutex);
    MCU_REG[chip][r] = v;
}

u8 fpga_manage::read_reg(u8 r, u8 chip)
{
    read_from_register(r, chip);
    return reg(r, chip);
}

void fpga_manage::write_to_register(unsigned char r, unsigned char mask, unsigned char value, unsigned char chip,
                                    CommandResult* command)
{
    if (r > REG_LAST || chip >= kChips)
        return;
    if (r >= REG_LOCAL_FIRST && r <= REG_LOCAL_LAST) {
        if (r > REG_LOCAL_WRITABLE_LAST)
            return;
        std::lock_guard<std::mutex> lk(mirror_mutex);
        MCU_REG[chip][r] = u8((MCU_REG[chip][r] & ~mask) | (value & mask));
        return;
    }
    read_from_register(r, chip);
    u8 merged;
    {
        std::lock_guard<std::mutex> lk(mirror_mutex);
        merged = u8((MCU_REG[chip][r] & ~mask) | (value & mask));
        MCU_REG[chip][r] = merged;
    }
    u8 send = merged;
    if (r == REG_COMMAND) {
        if (merged & BIT(2)) {
            send = u8(send & ~BIT(2));
            const CommandResult done = Dealwith_mcu_ram();
            if (command)
                *command = done;
        }
        send = u8(send & ~BIT(1));
    }
    if (r == REG_OUTPUT_CTRL) {
        ScreenState = (merged & BIT(2)) ? 0 : 1;
        std::lock_guard<std::mutex> lk(mirror_mutex);
        MCU_RAM_EXTEND[EXTEND_SCREEN_STATE] = ScreenState.load();
    }
    write_fpga_register(r, send, chip, mask);
}

// ---- pages ---------------------------------------------------------------------------------------------

u16 fpga_manage::page_rd16(const abyte* page, uint32_t addr)
{
    return u16(page[addr].load() | (page[addr + 1].load() << 8));
}

void fpga_manage::page_wr16(abyte* page, uint32_t addr, u16 v)
{
    page[addr] = u8(v);
    page[addr + 1] = u8(v >> 8);
}

void fpga_manage::page_copy_out(const abyte* page, uint32_t addr, u8* out, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i)
        out[i] = page[addr + i].load();
}

void fpga_manage::page_copy_in(abyte* page, uint32_t addr, const u8* in, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i)
        page[addr + i] = in[i];
}

void fpga_manage::push_para(uint32_t addr, uint32_t n, u8 chip)
{
    if (addr >= kPageSize)
        return;
    if (addr + n > kPageSize)
        n = kPageSize - addr;
    std::vector<u8> buf(n);
    page_copy_out(MCU_RAM_PARA_func[chip], addr, buf.data(), n);
    write_fpga_ram(buf.data(), addr, n, BLOCK_PARA, chip);
}

// ---- screen controls -------------------------------------------------------------------------------------

void fpga_manage::SCREEN_fpgactrl_status(int s)
{
    switch (s) {
    case 0: set_bits(REG_OUTPUT_CTRL, BIT(2)); break;
    case 1: clear_bits(REG_OUTPUT_CTRL, BIT(2)); break;
    case 2: set_bits(REG_OUTPUT_CTRL, BIT(1)); break;
    case 3: clear_bits(REG_OUTPUT_CTRL, BIT(1)); break;
    case 4: set_bits(REG_CONTROL3, BIT(5)); break;
    case 5: clear_bits(REG_CONTROL3, BIT(5)); break;
    case 7: clear_bits(REG_CONTROL23, BIT(0)); break;
    case 8: set_bits(REG_CONTROL23, BIT(0)); break;
    case 9: read_from_register(REG_STATUS, 0); break;
    default: break;
    }
}

void fpga_manage::SCREEN_fpgactrl_status2(int s, unsigned char chip)
{
    switch (s) {
    case 10: set_bits(REG_CONTROL23, BIT(3), chip); break;
    case 11: clear_bits(REG_CONTROL23, BIT(3), chip); break;
    case 4: set_bits(REG_CONTROL3, BIT(5), chip); break;
    default: break;
    }
}
