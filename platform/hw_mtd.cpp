// MTD character devices: geometry, unlock, erase and positioned writes.
#include <fcntl.h>
#include <mtd/mtd-user.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/hw_board.h"

namespace platform {

int HwMtd::open(const char* path, int flags) { return ::open(path, flags | O_CLOEXEC); }

int HwMtd::close(int fd) { return ::close(fd); }

int HwMtd::getinfo(int fd, MtdInfo* info)
{
    mtd_info_user mi{};
    if (ioctl(fd, MEMGETINFO, &mi) < 0)
        return -1;
    info->size = mi.size;
    info->erasesize = mi.erasesize;
    info->writesize = mi.writesize;
    return 0;
}

int HwMtd::unlock(int fd, uint32_t start, uint32_t length)
{
    erase_info_user ei{start, length};
    return ioctl(fd, MEMUNLOCK, &ei) < 0 ? -1 : 0;
}

int HwMtd::erase(int fd, uint32_t start, uint32_t length)
{
    erase_info_user ei{start, length};
    return ioctl(fd, MEMERASE, &ei) < 0 ? -1 : 0;
}

ssize_t HwMtd::pwrite(int fd, const void* data, size_t len, off_t offset) { return ::pwrite(fd, data, len, offset); }

}  // namespace platform
