#include "sim/c331_osd_flash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "sim/device.h"
#include "sim/sim_board.h"

namespace sim {

namespace {
constexpr uint8_t kBank = 0x04;
// Bank 4 registers.
constexpr uint8_t kEngCmd = 0x08, kEngColour = 0x0B, kEngSrc = 0x0D, kEngDst = 0x11, kEngStatus = 0x17;
constexpr uint8_t kEngWidth = 0x1E, kEngHeight = 0x20, kChrLast = 0x24, kChrParamLo = 0x27, kChrParamHi = 0x28;
constexpr uint8_t kChrParamData = 0x29;
constexpr uint8_t kSflCmd = 0x48, kSflProgOp = 0x49, kSflEraseOp = 0x4B, kSflAddr = 0x4E, kSflData = 0x52;
constexpr uint8_t kSflXfer = 0x53, kSflStat = 0x54, kSflRdsr = 0x55, kSflDmaLen = 0x56, kSflDmaMode = 0x5A;
constexpr uint8_t kProgramOpcode = 0x12, kWriteDisableOpcode = 0x04;
constexpr uint8_t kCmdDma = 2, kCmdErase = 4, kCmdWriteDisable = 5;
constexpr uint8_t kRdsrWel = 0x02;
constexpr uint8_t kPaletteBank = 0x09, kPaletteIndex = 0x1F;

std::string hex(uint32_t v)
{
    char b[16];
    std::snprintf(b, sizeof b, "0x%X", v);
    return b;
}
}  // namespace

C331OsdFlash::C331OsdFlash(SimBoard& board, const uint8_t (*regs)[128], TxnRecord& record)
    : board_(board), regs_(regs), record_(record), path_(board.sim_dir() + "/c331_flash.bin")
{
}

C331OsdFlash::~C331OsdFlash()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void C331OsdFlash::reset()
{
    pointer_ = 0;
    wel_ = false;
    params_open_ = false;
    params_.clear();
}

uint32_t C331OsdFlash::value(uint8_t bank, uint8_t reg, int count) const
{
    uint32_t v = 0;
    for (int i = 0; i < count; ++i)
        v |= uint32_t(regs_[bank][(reg + i) & 0x7F]) << (8 * i);
    return v;
}

void C331OsdFlash::refresh_config()
{
    const uint64_t gen = board_.config_generation();
    if (gen != config_gen_) {
        const QJsonObject c = board_.config();
        flash_stuck_ = c.value("c331_flash_stuck").toBool(false);
        engine_stuck_ = c.value("c331_engine_stuck").toBool(false);
        wel_sticks_ = c.value("c331_flash_wel_sticks").toBool(false);
        config_gen_ = gen;
    }
}

bool C331OsdFlash::stuck(const char* key)
{
    refresh_config();
    return key[0] == 'f' ? flash_stuck_ : engine_stuck_;
}

bool C331OsdFlash::read(uint8_t bank, uint8_t reg, uint8_t* out)
{
    if (bank != kBank)
        return false;
    switch (reg) {
    case kEngStatus: *out = stuck("engine") ? 0x01 : 0x00; return true;
    case kSflXfer: *out = stuck("flash") ? 0xA0 : 0x20; return true;
    case kSflStat: *out = stuck("flash") ? 0x0B : 0x00; return true;
    case kSflRdsr: *out = stuck("flash") ? 0x03 : wel_ ? kRdsrWel : 0x00; return true;
    case kSflData:
        *out = flash_read(pointer_);
        pointer_ = (pointer_ + 1) % kFlashSize;
        return true;
    default: return false;
    }
}

void C331OsdFlash::wrote(uint8_t bank, uint8_t reg, uint8_t v)
{
    if (bank != kBank)
        return;
    if (reg >= kSflAddr && reg < kSflAddr + 4) {
        pointer_ = value(kBank, kSflAddr, 4) % kFlashSize;
    } else if (reg == kSflData) {
        if (regs_[kBank][kSflProgOp] == kProgramOpcode) {
            const uint8_t b = uint8_t(flash_read(pointer_) & v);
            flash_store(pointer_, &b, 1);
            pointer_ = (pointer_ + 1) % kFlashSize;
            latch_after_write();
        }
    } else if (reg == kSflCmd) {
        if (v == kCmdErase) {
            erase_at_pointer();
            latch_after_write();
        } else if (v == kCmdWriteDisable && regs_[kBank][kSflEraseOp] == kWriteDisableOpcode) {
            wel_ = false;
        } else if (v == kCmdDma) {
            record_dma();
        }
    } else if (reg == kChrParamHi) {
        params_open_ = value(kBank, kChrParamLo, 2) == 0;
        params_.clear();
    } else if (reg == kChrParamData) {
        if (params_open_)
            params_.push_back(v);
    } else if (reg == kEngCmd && v >= 1 && v <= 3) {
        record_engine(v);
    }
}

// The controller sends a write enable before each program or erase; the flash clears the
// latch when done, unless the board makes it stick.
void C331OsdFlash::latch_after_write()
{
    refresh_config();
    wel_ = wel_sticks_;
}

void C331OsdFlash::record_engine(uint8_t cmd)
{
    const uint32_t w = value(kBank, kEngWidth, 2) + 1, h = value(kBank, kEngHeight, 2) + 1;
    const std::string dst = " dst=" + hex(value(kBank, kEngDst, 4));
    if (cmd == 1) {
        record_.add("fill" + dst + " w=" + std::to_string(w) + " h=" + std::to_string(h) +
                    " colour=" + hex(value(kBank, kEngColour, 2)));
    } else if (cmd == 2) {
        record_.add("copy src=" + hex(value(kBank, kEngSrc, 4)) + dst + " w=" + std::to_string(w) +
                    " h=" + std::to_string(h));
    } else {
        const uint32_t n = value(kBank, kChrLast, 1) + 1;
        std::string glyphs;
        for (uint32_t k = 0; k < n && 5 * k + 1 < params_.size(); ++k)
            glyphs += (k ? "," : "") + std::to_string(params_[5 * k] | params_[5 * k + 1] << 8);
        record_.add("string src=" + hex(value(kBank, kEngSrc, 4)) + dst + " n=" + std::to_string(n) +
                    " glyphs=" + glyphs);
    }
}

void C331OsdFlash::record_dma()
{
    const uint32_t mode = regs_[kBank][kSflDmaMode];
    uint32_t dst = 0;
    if (mode == 0)
        dst = value(kBank, kEngDst, 4);
    else if (mode == 1)
        dst = value(kBank, kChrParamLo, 2);
    else if (mode == 4)
        dst = regs_[kPaletteBank][kPaletteIndex];
    record_.add("dma mode=" + std::to_string(mode) + " flash=" + hex(value(kBank, kSflAddr, 4)) +
                " len=" + hex(value(kBank, kSflDmaLen, 4) & 0x7FFFFFFF) + " dst=" + hex(dst));
}

void C331OsdFlash::erase_at_pointer()
{
    uint32_t size = 0;
    switch (regs_[kBank][kSflEraseOp]) {
    case 0x20: size = 4u << 10; break;
    case 0x52: size = 32u << 10; break;
    case 0xD8: size = 64u << 10; break;
    default: return;   // not an erase opcode (e.g. the write-disable set-up)
    }
    const uint32_t at = pointer_ & ~(size - 1);
    const std::vector<uint8_t> ff(size, 0xFF);
    flash_store(at, ff.data(), size);
    record_.add("erase addr=" + hex(at) + " size=" + hex(size));
}

bool C331OsdFlash::open_file(bool create)
{
    if (fd_ >= 0)
        return true;
    fd_ = ::open(path_.c_str(), O_RDWR | (create ? O_CREAT : 0), 0644);
    return fd_ >= 0;
}

uint8_t C331OsdFlash::flash_read(uint32_t addr)
{
    uint8_t b = 0xFF;
    if (open_file(false) && ::pread(fd_, &b, 1, addr) != 1)
        b = 0xFF;   // past the end: erased
    return b;
}

void C331OsdFlash::flash_store(uint32_t addr, const uint8_t* p, uint32_t n)
{
    if (!open_file(true))
        return;
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && uint64_t(st.st_size) < addr) {
        // Grow with erased bytes up to the write.
        const std::vector<uint8_t> ff(64u << 10, 0xFF);
        for (uint64_t off = uint64_t(st.st_size); off < addr;) {
            const size_t chunk = size_t(std::min<uint64_t>(ff.size(), addr - off));
            if (::pwrite(fd_, ff.data(), chunk, off_t(off)) != ssize_t(chunk))
                return;
            off += chunk;
        }
    }
    if (::pwrite(fd_, p, n, off_t(addr)) != ssize_t(n))
        std::fprintf(stderr, "sim c331: flash file write failed at 0x%X\n", addr);
}

std::vector<uint8_t> C331OsdFlash::flash_bytes(uint32_t addr, uint32_t len)
{
    std::vector<uint8_t> v(len);
    for (uint32_t i = 0; i < len; ++i)
        v[i] = flash_read((addr + i) % kFlashSize);
    return v;
}

void C331OsdFlash::seed(uint32_t addr, const std::vector<uint8_t>& bytes)
{
    flash_store(addr, bytes.data(), uint32_t(bytes.size()));
}

}  // namespace sim
