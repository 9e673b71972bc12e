#pragma once
// MTD flash partitions, reached through an open descriptor as the device code keeps one.
#include <cstddef>
#include <cstdint>
#include <sys/types.h>

namespace platform {

struct MtdInfo {
    uint32_t size = 0;        // whole partition, bytes
    uint32_t erasesize = 0;   // erase block, bytes
    uint32_t writesize = 0;   // write page, bytes
};

class Mtd {
public:
    virtual ~Mtd() = default;
    // Opens a (rooted by the caller) partition path; -1 on failure.
    virtual int open(const char* path, int flags) = 0;
    virtual int close(int fd) = 0;
    // 0 done, -1 failed (MEMGETINFO, MEMUNLOCK, MEMERASE).
    virtual int getinfo(int fd, MtdInfo* info) = 0;
    virtual int unlock(int fd, uint32_t start, uint32_t length) = 0;
    virtual int erase(int fd, uint32_t start, uint32_t length) = 0;
    // Positioned write; returns bytes written or -1.
    virtual ssize_t pwrite(int fd, const void* data, size_t len, off_t offset) = 0;
};

}  // namespace platform
