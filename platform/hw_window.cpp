// The SoC register window and other "/dev/mem" mappings.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/hw_board.h"
#include "platform/log_hook.h"

namespace platform {
namespace {

int open_mem(const char* path) { return ::open(rooted(path).c_str(), O_RDWR | O_SYNC | O_CLOEXEC); }

// Maps [phys, phys + length) of an open "/dev/mem"; the mapping starts on a page boundary.
std::unique_ptr<RegWindow> map_range(int mem_fd, uint32_t phys, uint32_t length)
{
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    const size_t skip = phys % page;
    const size_t map_len = skip + length;
    void* p = mmap(nullptr, map_len, PROT_READ | PROT_WRITE, MAP_SHARED, mem_fd, off_t(phys - skip));
    if (p == MAP_FAILED)
        return nullptr;
    return std::make_unique<MemWindow>(p, map_len, skip, length);
}

}  // namespace

MemWindow::MemWindow(void* map, size_t map_len, size_t skip, uint32_t length)
    : map_(map), map_len_(map_len), base_(static_cast<volatile uint8_t*>(map) + skip), length_(length)
{
}

MemWindow::~MemWindow()
{
    if (map_)
        munmap(map_, map_len_);
}

bool MemWindow::in_range(uint32_t offset)
{
    if (!base_) {
        log_once(unmapped_logged_, kLogError, "SoC register window not mapped: writes dropped, reads give 0");
        return false;
    }
    if (offset % 2 != 0 || uint64_t(offset) + 2 > length_) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "register offset %#x outside the %#x-byte window: ignored", offset, length_);
        log_once(range_logged_, kLogError, buf);
        return false;
    }
    return true;
}

uint16_t MemWindow::read16(uint32_t offset)
{
    if (!in_range(offset))
        return 0;
    return *reinterpret_cast<volatile uint16_t*>(base_ + offset);
}

void MemWindow::write16(uint32_t offset, uint16_t value)
{
    if (in_range(offset))
        *reinterpret_cast<volatile uint16_t*>(base_ + offset) = value;
}

std::unique_ptr<RegWindow> map_soc_window(WindowStatus* status)
{
    auto fail = [status](WindowStatus s, const char* why) -> std::unique_ptr<RegWindow> {
        if (status)
            *status = s;
        log(kLogError, why);
        return std::make_unique<MemWindow>();
    };
    UniqueFd msys(::open(rooted("/dev/msys").c_str(), O_RDWR | O_SYNC | O_CLOEXEC));
    if (msys.get() < 0)
        return fail(WindowStatus::NoMsys, "can't open /dev/msys");
    UniqueFd mem(open_mem("/dev/mem"));
    if (mem.get() < 0)
        return fail(WindowStatus::NoMem, "can't open /dev/mem");
    MsysRequest req;
    if (ioctl(msys.get(), kMsysRequestWindow, &req) < 0 || req.length == 0)
        return fail(WindowStatus::RequestFailed, "DMEM request failed");
    auto w = map_range(mem.get(), req.phys_base, req.length);
    if (!w)
        return fail(WindowStatus::MapFailed, "SoC register window: mapping failed");
    if (status)
        *status = WindowStatus::Ok;
    return w;
}

std::unique_ptr<RegWindow> map_mem(uint32_t phys_base, uint32_t length)
{
    UniqueFd mem(open_mem("/dev/mem"));
    std::unique_ptr<RegWindow> w;
    if (mem.get() >= 0 && length > 0)
        w = map_range(mem.get(), phys_base, length);
    if (!w) {
        char buf[80];
        std::snprintf(buf, sizeof buf, "can't map /dev/mem at %#x", phys_base);
        log(kLogError, buf);
        return std::make_unique<MemWindow>();
    }
    return w;
}

}  // namespace platform
