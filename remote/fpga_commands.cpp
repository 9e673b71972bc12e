#include "remote/fpga_commands.h"

#include <vector>

#include "core/request_hooks.h"
#include "scaler/c331_manage.h"
#include "video_io/fpga_drv.h"
#include "video_io/fpga_manage.h"
#include "video_io/fpga_page_record.h"

namespace remote {

namespace {

constexpr u32 kBlockSpan = 0x1000;       // RAM address = block x 0x1000 + offset
constexpr u8 kToolCommandBits = fpga::BIT(2);  // register 2: run the command page
constexpr u8 kFlashFpga = 0x02, kFlashScaler = 0x00;
constexpr u32 kFlashAddrMask = 0x00FFFFFF;
constexpr uint64_t kEraseSectors[3] = {1, 8, 16};

fpga_manage* fpga() { return fpga_manage::p_fpga_manage; }

// Where a RAM access of the remote protocol lands.
enum class Target { Refused, Page, CommandPage, ExtendPage, Fpga };

Target ram_target(u32 block, u32 offset, u32 len, bool write)
{
    if (len < 1 || len > kMaxRamBlock || uint64_t(offset) + len > kBlockSpan || block > 0xFF)
        return Target::Refused;
    const bool in_page = uint64_t(offset) + len <= fpga::kPageSize;
    if (block == fpga::BLOCK_PARA)
        return in_page ? Target::Page : Target::Refused;
    if (block == kBlockCommandPage)
        return in_page ? Target::CommandPage : Target::Refused;
    if (block == kBlockExtendPage)
        return in_page && !write ? Target::ExtendPage : Target::Refused;
    if ((block >= 2 && block <= 17) || block >= fpga::BLOCK_FIRST_DATA)
        return Target::Fpga;
    return Target::Refused;
}

// Served while the chip does not run: the command page's write (its command waits there for
// its run; the clock command needs no chip) and the extend page's read (the device's own).
// Until the bring-up is whole a write to the chip's blocks would be lost, one to the page
// replaced by the saved page it loads, and a read would answer values not there yet.
bool ram_served_before_bringup(Target t, bool write)
{
    return write ? t == Target::CommandPage : t == Target::ExtendPage;
}

u32 fpga_ram_write(fpga_manage* f, const u8* data, u32 dlen, u8* out)
{
    if (dlen < 8)
        return status_only(out, ST_REFUSED);
    const auto [addr, len] = echo_addr_len(data, out);
    const u32 block = addr / kBlockSpan, off = addr % kBlockSpan;
    const u8* bytes = data + 8;
    const Target target = dlen - 8 < len ? Target::Refused : ram_target(block, off, len, true);
    out[0] = ST_DONE;
    if (target != Target::Refused && !ram_served_before_bringup(target, true) && !f->chip_ready()) {
        out[0] = ST_FAILED;
        return 7;
    }
    switch (target) {
    case Target::Page:
        fpga_manage::page_copy_in(fpga_manage::MCU_RAM_PARA_func[0], off, bytes, len);
        f->push_para(off, len, 0);
        break;
    case Target::CommandPage: f->write_command_page(off, bytes, len); break;
    case Target::Fpga: {
        // The FPGA's data blocks are staged in the default page (block 33) or the zoom page.
        abyte* stage = block == fpga::BLOCK_FIRST_DATA ? fpga_manage::MCU_RAM_DEFAULT : fpga_manage::MCU_RAM_ZOOM;
        std::vector<u8> buf(bytes, bytes + len);
        if (block >= fpga::BLOCK_FIRST_DATA)
            fpga_manage::page_copy_in(stage, 0, bytes, len);
        f->write_fpga_ram(buf.data(), off, len, u8(block), 0);
        break;
    }
    default:
        out[0] = ST_REFUSED;
        break;
    }
    return 7;
}

u32 fpga_ram_read(fpga_manage* f, const u8* data, u32 dlen, u8* out)
{
    if (dlen < 6)
        return status_only(out, ST_REFUSED);
    const auto [addr, len] = echo_addr_len(data, out);
    const u32 block = addr / kBlockSpan, off = addr % kBlockSpan;
    u8* bytes = out + 7;
    const Target target = ram_target(block, off, len, false);
    if (target != Target::Refused && !ram_served_before_bringup(target, false) && !f->chip_ready()) {
        out[0] = ST_FAILED;
        return 7;
    }
    switch (target) {
    case Target::Page: {
        // The input the FPGA measures is read from the chip: the page holds it only from the
        // output start on, and not as it changes later.
        u8 info[fpga::kFpgaInputLen];
        if (off < fpga::PARA_FPGA_INPUT + fpga::kFpgaInputLen && off + len > fpga::PARA_FPGA_INPUT)
            f->take_fpga_input(info);
        u8 page[fpga::kPageSize];
        fpga_manage::page_copy_out(fpga_manage::MCU_RAM_PARA_func[0], 0, page, sizeof page);
        // With one output channel per piece the FPGA measures twice the width the tool expects.
        const c331_manage* m = c331_manage::p_c331_manage;
        if (m && m->use1och)
            put_u16(page + fpga::PARA_FPGA_INPUT, u16(get_u16(page + fpga::PARA_FPGA_INPUT) / 2));
        std::memcpy(bytes, page + off, len);
        break;
    }
    case Target::CommandPage: fpga_manage::page_copy_out(fpga_manage::MCU_RAM_CMD, off, bytes, len); break;
    case Target::ExtendPage: fpga_manage::page_copy_out(fpga_manage::MCU_RAM_EXTEND, off, bytes, len); break;
    case Target::Fpga: f->read_fpga_ram(bytes, off, len, u8(block), 0); break;
    default: out[0] = ST_REFUSED; return 7;
    }
    out[0] = ST_DONE;
    return 7u + len;
}

// The device's own reports: whether the chip runs (80), an on/off record is stored (66), the
// VMF module allows switching the power (67), card answers with a bad checksum (85). A tool
// reads them, never sets them.
bool device_report(u32 r)
{
    return r == fpga::REG_RUN_STATE || r == fpga::REG_ONOFF_STORED || r == fpga::REG_POWER_FILTER ||
           r == fpga::REG_BAD_BCC;
}

bool writable_register(u32 r)
{
    return r <= fpga::REG_LAST && !device_report(r) && (r <= fpga::REG_LOCAL_WRITABLE_LAST || r > fpga::REG_LOCAL_LAST);
}

// Served while the chip does not run. Register 2's bit 2 runs the command page, kept by the
// device (its FPGA bits are the device's own hand-shake, which the bring-up and the output
// start set, and a tool's write never changes). Every other writable register is the chip's,
// whose write would be lost, or one the bring-up sets (64).
bool writable_before_bringup(u32 r) { return r == fpga::REG_COMMAND; }

// Register 80 (tools poll it for the bring-up's end) and 97 to 127, which hold nothing; every
// other register is the chip's or one the bring-up loads.
bool readable_before_bringup(u32 r)
{
    return r == fpga::REG_RUN_STATE || (r > fpga::REG_LOCAL_WRITABLE_LAST && r <= fpga::REG_LOCAL_LAST);
}

u32 fpga_reg_write(fpga_manage* f, const u8* data, u32 dlen, u8* out)
{
    if (dlen < 3)
        return status_only(out, ST_REFUSED);
    const u8 r = data[0], value = data[1], mask = data[2];
    out[1] = r;
    out[2] = f->reg(r);  // a refused write's reply: the device's unchanged copy
    if (!writable_register(r)) {
        out[0] = ST_REFUSED;
        return 3;
    }
    if (!writable_before_bringup(r) && !f->chip_ready()) {
        out[0] = ST_FAILED;
        return 3;
    }
    if (r == fpga::REG_BRIGHT_VALUE) {
        out[0] = f->write_brightness_value(mask, value) ? ST_DONE : ST_REFUSED;
        out[2] = f->reg(r);
        return 3;
    }
    // Register 2's other bits are the device's hand-shake with the chip: a tool's write
    // changes only the bit that runs the command page, and a run the device could not keep
    // is not answered as done.
    fpga_manage::CommandResult command = fpga_manage::CommandResult::Done;
    f->write_to_register(r, r == fpga::REG_COMMAND ? u8(mask & kToolCommandBits) : mask, value, 0, &command);
    out[0] = command == fpga_manage::CommandResult::Done      ? ST_DONE
             : command == fpga_manage::CommandResult::Refused ? ST_REFUSED
                                                              : ST_FAILED;
    out[2] = f->reg(r);
    return 3;
}

u32 fpga_reg_read(fpga_manage* f, const u8* data, u32 dlen, u8* out)
{
    const bool running = f->chip_ready();
    bool ready = true;
    const u32 n = register_read_reply(data, dlen, out, fpga::kRegCount, [&](u32 first, u32 count, u8* values) {
        for (u32 i = 0; i < count && ready; ++i)
            ready = running || readable_before_bringup(first + i);
        for (u32 i = 0; i < count && ready; ++i)
            values[i] = f->read_reg(u8(first + i));  // local registers come from the mirror alone
    });
    if (ready)
        return n;
    out[0] = ST_FAILED;
    return 3;
}

// Without the FPGA component (the first seconds of a start) every request is refused as one
// before the bring-up is: status 3, the register and count (or the address and length).
u32 refuse_without_component(u8 cmd, const u8* data, u32 dlen, u8* out)
{
    out[0] = ST_FAILED;
    switch (cmd) {
    case CMD_RAM_WRITE:
    case CMD_RAM_READ:
        if (dlen < (cmd == CMD_RAM_WRITE ? 8u : 6u))
            return 1;
        echo_addr_len(data, out);
        return 7;
    case CMD_REG_WRITE:
    case CMD_REG_READ:
        if (dlen < (cmd == CMD_REG_WRITE ? 3u : 2u))
            return 1;
        out[1] = data[0];
        out[2] = cmd == CMD_REG_READ ? data[1] : 0;
        return 3;
    default: return 1;
    }
}

}  // namespace

u32 fpga_command(u16 dst, u8 cmd, const u8* data, u32 dlen, u8* out)
{
    fpga_manage* f = fpga();
    if (dst != kAddrFpga0)
        return status_only(out, ST_REFUSED);  // chip 1 is not fitted
    if (!f)
        return refuse_without_component(cmd, data, dlen, out);
    switch (cmd) {
    case CMD_RAM_WRITE: return fpga_ram_write(f, data, dlen, out);
    case CMD_RAM_READ: return fpga_ram_read(f, data, dlen, out);
    case CMD_REG_WRITE: return fpga_reg_write(f, data, dlen, out);
    case CMD_REG_READ: return fpga_reg_read(f, data, dlen, out);
    default: return status_only(out, ST_UNKNOWN);
    }
}

// ---- the processor's flash commands ------------------------------------------------------------

namespace {

fpga_drv* fpga_flash() { return fpga() ? fpga()->drv : nullptr; }

bool fpga_range_ok(u32 addr, uint64_t len) { return uint64_t(addr & kFlashAddrMask) + len <= fpga::kFlashSize; }

// A tool's erase or write that reaches a record's mark byte (the erase issued or not, the
// write done or not): a record it removed from its first copy stays removed (its second copy
// goes too), and register 66, which says whether an on/off record is stored, follows the
// flash, also when the tool reached the second copy, the one a start loads after a store cut
// in its second half.
void follow_record_marks(uint64_t from, uint64_t to)
{
    fpga_manage* f = fpga();
    if (!f)
        return;
    const auto reached = [&](uint32_t sector) {
        const uint64_t mark = uint64_t(sector) * fpga::kFlashSector;
        return mark >= from && mark < to;
    };
    for (const fpga::RecordCopies* copies : {&fpga::kPageRecord, &fpga::kOnOffRecord, &fpga::kBrightRecord}) {
        const bool first = reached(copies->sector[0]);
        if (!first && !reached(copies->sector[1]))
            continue;
        if (first)
            fpga::follow_first_copy(*f->drv, *copies);
        if (copies == &fpga::kOnOffRecord)
            f->set_local(fpga::REG_ONOFF_STORED, fpga::record_stored(*f->drv, *copies) ? 1 : 0);
    }
}

// The scaler chip's flash is 32 MiB, but the top byte of the address chooses the flash: these
// commands reach its first 16 MiB.
constexpr uint64_t kScalerReach = uint64_t(kFlashAddrMask) + 1;
constexpr u32 kScalerSector = 4096;

bool scaler_range_ok(u32 addr, uint64_t len) { return uint64_t(addr & kFlashAddrMask) + len <= kScalerReach; }

// `count` units of the kind from the unit that holds the address.
bool scaler_erase_ok(u32 addr, u16 count, u8 kind)
{
    const uint64_t unit = kEraseSectors[kind] * kScalerSector;
    return (addr & kFlashAddrMask) / unit * unit + count * unit <= kScalerReach;
}

// A scaler flash operation's answer: 2 without the driver, 1 out of reach, else its result.
template <typename Op>
u8 scaler_flash_status(bool in_reach, Op op)
{
    const FlashOps* ops = scaler_flash();
    if (!ops)
        return ST_UNKNOWN;
    if (!in_reach)
        return ST_REFUSED;
    return op(*ops) == 0 ? ST_DONE : ST_FAILED;
}

}  // namespace

u32 flash_read(const u8* data, u32 dlen, u8* out)
{
    if (dlen < 6)
        return status_only(out, ST_REFUSED);
    const auto [addr, len] = echo_addr_len(data, out);
    out[0] = ST_REFUSED;
    if (len < 1 || len > kMaxRamBlock)
        return 7;
    if (addr >> 24 == kFlashFpga) {
        fpga_drv* d = fpga_flash();
        if (!fpga_range_ok(addr, len))
            return 7;
        out[0] = d && d->FPGA_SPI_FLASH_VBYONE_READ(fpga::kFlashChip0, addr & kFlashAddrMask, len, out + 7) ? ST_DONE
                                                                                                       : ST_FAILED;
    } else if (addr >> 24 == kFlashScaler) {
        out[0] = scaler_flash_status(scaler_range_ok(addr, len), [&, a = addr, n = len](const FlashOps& ops) {
            return ops.read(a, out + 7, n);
        });
    }
    return out[0] == ST_DONE ? 7u + len : 7u;
}

u32 flash_write(const u8* data, u32 dlen, u8* out)
{
    if (dlen < 6)
        return status_only(out, ST_REFUSED);
    const u32 addr = get_u32(data);
    const u16 len = get_u16(data + 4);
    put_u32(out + 1, addr);
    out[0] = ST_REFUSED;
    if (len < 1 || len > kMaxRamBlock || dlen - 6 < len)
        return 5;
    if (addr >> 24 == kFlashFpga) {
        fpga_drv* d = fpga_flash();
        if (fpga_range_ok(addr, len)) {
            out[0] = d && d->FPGA_SPI_FLASH_VBYONE_WRITE(fpga::kFlashChip0, addr & kFlashAddrMask, data + 6, len)
                         ? ST_DONE
                         : ST_FAILED;
            follow_record_marks(addr & kFlashAddrMask, uint64_t(addr & kFlashAddrMask) + len);
        }
    } else if (addr >> 24 == kFlashScaler) {
        out[0] = scaler_flash_status(scaler_range_ok(addr, len),
                                     [&](const FlashOps& ops) { return ops.write(addr, data + 6, len); });
    }
    return 5;
}

u32 flash_erase(const u8* data, u32 dlen, u8* out, u16* done)
{
    if (dlen < 7)
        return status_only(out, ST_REFUSED);
    const u32 addr = get_u32(data);
    const u16 count = get_u16(data + 4);
    const u8 kind = data[6];
    if (kind > 2)
        return status_only(out, ST_REFUSED);
    if (addr >> 24 == kFlashFpga) {
        const u32 sector = (addr & kFlashAddrMask) / fpga::kFlashSector;
        if (uint64_t(sector) + uint64_t(count) * kEraseSectors[kind] > fpga::kFlashSize / fpga::kFlashSector)
            return status_only(out, ST_REFUSED);
        fpga_drv* d = fpga_flash();
        if (!d)
            return status_only(out, ST_FAILED);
        // Each unit erased is the aligned one that holds its address; a tool's erase of a
        // record's first byte is followed by the records.
        const auto follow = [&](unsigned int units) {
            const uint64_t unit = kEraseSectors[kind] * fpga::kFlashSector;
            for (uint64_t i = 0; i < units; ++i) {
                const uint64_t at = (sector + i * kEraseSectors[kind]) * fpga::kFlashSector / unit * unit;
                follow_record_marks(at, at + unit);
            }
        };
        if (!done || count == 0) {
            const u8 st = d->FPGA_SPI_FLASH_VBYONE_ERASE(fpga::kFlashChip0, sector, kind, count) ? ST_DONE : ST_FAILED;
            follow(count);
            return status_only(out, st);
        }
        unsigned int erased = 0;
        const bool ok =
            d->FPGA_SPI_FLASH_VBYONE_ERASE(fpga::kFlashChip0, sector, kind, count, nullptr, kErasePartUs, &erased);
        follow(ok ? erased : count);  // a failed part may have erased any of its units
        if (!ok)
            return status_only(out, ST_FAILED);
        if (erased < count) {
            *done = u16(erased);
            return 0;
        }
        return status_only(out, ST_DONE);
    }
    if (addr >> 24 == kFlashScaler)
        return status_only(out, scaler_flash_status(scaler_erase_ok(addr, count, kind), [&](const FlashOps& ops) {
                               return ops.erase(addr, count, kind);
                           }));
    return status_only(out, ST_REFUSED);
}

bool flash_erase_rest(u8* data, u32 dlen, u16 done)
{
    if (dlen < 7 || data[6] > 2 || done >= get_u16(data + 4))
        return false;
    const u32 addr = get_u32(data);
    const u32 sector = (addr & kFlashAddrMask) / fpga::kFlashSector + u32(done * kEraseSectors[data[6]]);
    put_u32(data, (addr & ~kFlashAddrMask) | (sector * fpga::kFlashSector));
    put_u16(data + 4, u16(get_u16(data + 4) - done));
    return true;
}

u32 save_led_page(const u8*, u32, u8* out)
{
    fpga_manage* f = fpga();
    return status_only(out, f && f->save_led_page() ? ST_DONE : ST_FAILED);
}

}  // namespace remote
