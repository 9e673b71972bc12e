#include "sim/fpga0_flash_model.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <QJsonArray>
#include <cstring>

#include "sim/sim_board.h"
#include "video_io/soc_pads.h"

namespace sim {

namespace {
uint32_t addr24(const uint8_t* p) { return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]; }

// 64 KiB of erased bytes, the largest erase unit.
const std::vector<uint8_t>& erased_bytes()
{
    static const std::vector<uint8_t> bytes(0x10000, 0xFF);
    return bytes;
}
}  // namespace

Fpga0FlashModel::Fpga0FlashModel(SimBoard& board)
    : SpiModel("fpga0_flash"), board_(board), path_(board.sim_dir() + "/fpga0_flash.bin")
{
}

Fpga0FlashModel::~Fpga0FlashModel()
{
    if (image_)
        ::munmap(image_, kSize);
}

// Mapped on first use, so boards that never reach the flash write no file. A missing or short
// file is completed with erased bytes first: the whole map lies inside the file.
bool Fpga0FlashModel::open_file()
{
    if (image_)
        return true;
    const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const off_t size = ::lseek(fd, 0, SEEK_END);
    const std::vector<uint8_t>& erased = erased_bytes();
    bool ok = size >= 0;
    for (off_t a = size; ok && a < off_t(kSize);) {
        const size_t n = std::min<size_t>(erased.size(), size_t(off_t(kSize) - a));
        ok = ::pwrite(fd, erased.data(), n, a) == ssize_t(n);
        a += off_t(n);
    }
    void* map = ok ? ::mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0) : MAP_FAILED;
    ::close(fd);
    if (map != MAP_FAILED)
        image_ = static_cast<uint8_t*>(map);
    return image_ != nullptr;
}

bool Fpga0FlashModel::selected() const
{
    SocRegs& soc = board_.soc();
    return soc.read16(pads::PAD_FLASH0_CS) == pads::kLow && soc.read16(pads::PAD_SPI_MUX_A) == pads::kHigh &&
           soc.read16(pads::PAD_SPI_MUX_B) == pads::kLow;
}

// Bytes past the end of the flash read as erased.
void Fpga0FlashModel::copy_out(uint32_t addr, uint8_t* out, size_t len) const
{
    std::memset(out, 0xFF, len);
    if (image_ && addr < kSize)
        std::memcpy(out, image_ + addr, std::min<size_t>(len, kSize - addr));
}

std::vector<uint8_t> Fpga0FlashModel::read(uint32_t addr, uint32_t len)
{
    std::lock_guard<std::recursive_mutex> lk(device_lock());  // a test's look beside the device's writes
    open_file();
    std::vector<uint8_t> out(len);
    copy_out(addr, out.data(), len);
    return out;
}

// Programming only clears bits; a byte past the end of the flash is not kept.
void Fpga0FlashModel::program(uint32_t addr, const uint8_t* data, size_t n)
{
    const uint32_t page = addr & ~0xFFu;
    for (size_t i = 0; i < n; ++i) {
        const uint32_t a = page | ((addr + uint32_t(i)) & 0xFF);
        if (a < kSize)
            image_[a] &= data[i];
    }
    ++programs_;
}

void Fpga0FlashModel::erase(uint32_t addr, uint32_t unit)
{
    const uint32_t start = (addr % kSize) & ~(unit - 1);
    for (uint32_t s = start; s < start + unit; s += kSector)
        if (std::memcmp(image_ + s, erased_bytes().data(), kSector) != 0)
            std::memset(image_ + s, 0xFF, kSector);
    ++erases_;
}

int Fpga0FlashModel::transfer(const uint8_t* tx, uint8_t* rx, size_t len)
{
    std::memset(rx, 0xFF, len);
    if (!selected() || len == 0)
        return 0;
    if (!open_file())
        return 0;
    messages_.push(len);
    const bool busy = busy_left_ != 0;
    switch (tx[0]) {
    case 0x06:
        wel_ = true;
        break;
    case 0x05:
        if (len >= 2)
            rx[1] = uint8_t((busy ? 0x01 : 0x00) | (wel_ ? 0x02 : 0x00));
        if (busy_left_ > 0)
            --busy_left_;
        break;
    case 0x02:
    case 0x20:
    case 0x52:
    case 0xD8:
        if (busy || !wel_ || len < 4) {
            note("command " + std::to_string(tx[0]) + " ignored (busy or not write-enabled)");
            break;
        }
        if (writes_left_ == 0) {
            note("command " + std::to_string(tx[0]) + " lost (power cut)");
            break;
        }
        if (writes_left_ > 0)
            --writes_left_;
        if (tx[0] == 0x02)
            program(addr24(tx + 1), tx + 4, len - 4);
        else
            erase(addr24(tx + 1), tx[0] == 0x20 ? 0x1000 : tx[0] == 0x52 ? 0x8000 : 0x10000);
        wel_ = false;
        busy_left_ = board_.config().value("fpga_flash_busy_polls").toInt(2);
        break;
    case 0x0B:
        if (len > 5)
            copy_out(addr24(tx + 1), rx + 5, len - 5);
        break;
    case 0x4B: {
        const QJsonArray uid = board_.config().value("fpga_flash_uid").toArray(QJsonArray{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88});
        for (size_t i = 5; i < len && i < 13; ++i)
            rx[i] = uint8_t(i - 5 < size_t(uid.size()) ? uid[int(i - 5)].toInt() : 0);
        break;
    }
    default:
        note("unknown command " + std::to_string(tx[0]));
        break;
    }
    return 0;
}

QJsonObject Fpga0FlashModel::state() const
{
    QJsonObject o;
    o.insert("programs", double(programs_));
    o.insert("erases", double(erases_));
    o.insert("busy", busy_left_ != 0);
    return o;
}

SIM_DEVICE_INSTALLER(fpga0_flash)
{
    board.add_spi(Fpga0FlashModel::kPath, std::make_shared<Fpga0FlashModel>(board));
}

}  // namespace sim
