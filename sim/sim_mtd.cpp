// Flash partitions of the simulated board, backed by files.
#include "sim/sim_mtd.h"

#include <fcntl.h>
#include <unistd.h>

#include <QJsonObject>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/log_hook.h"
#include "platform/paths.h"
#include "sim/board_config.h"

namespace sim {
namespace {

// NAND geometry: 128 KiB erase blocks, 2 KiB pages.
constexpr uint32_t kEraseSize = 0x20000;
constexpr uint32_t kWriteSize = 0x800;

const std::map<std::string, platform::MtdInfo>& default_partitions()
{
    static const std::map<std::string, platform::MtdInfo> d{
        {"mtd8", {0x200000, kEraseSize, kWriteSize}},   // boot logo
        {"mtd10", {0x600000, kEraseSize, kWriteSize}},  // kernel image
    };
    return d;
}

// "<root>/dev/mtd8" -> "mtd8"; empty when the path is not a rooted MTD node.
std::string partition_name(const std::string& path)
{
    const std::string dev = platform::rooted("/dev/");
    if (path.rfind(dev, 0) != 0)
        return {};
    const std::string name = path.substr(dev.size());
    if (name.size() < 4 || name.compare(0, 3, "mtd") != 0 || name.find_first_not_of("0123456789", 3) != std::string::npos)
        return {};
    return name;
}

bool fill_erased(int fd, off_t start, size_t len)
{
    std::vector<uint8_t> ff(std::min<size_t>(len, 0x10000), 0xFF);
    while (len > 0) {
        const size_t n = std::min(len, ff.size());
        if (::pwrite(fd, ff.data(), n, start) != ssize_t(n))
            return false;
        start += off_t(n);
        len -= n;
    }
    return true;
}

}  // namespace

SimMtd::SimMtd(std::string sim_dir, const BoardConfig& cfg) : sim_dir_(std::move(sim_dir)), cfg_(cfg) {}

bool SimMtd::geometry(const std::string& name, platform::MtdInfo* info) const
{
    const QJsonObject part = cfg_.json().value("mtd").toObject().value(QString::fromStdString(name)).toObject();
    auto d = default_partitions().find(name);
    if (part.isEmpty() && d == default_partitions().end())
        return false;
    platform::MtdInfo base = d != default_partitions().end() ? d->second : platform::MtdInfo{0, kEraseSize, kWriteSize};
    info->size = uint32_t(part.value("size").toDouble(base.size));
    info->erasesize = uint32_t(part.value("erasesize").toDouble(base.erasesize));
    info->writesize = uint32_t(part.value("writesize").toDouble(base.writesize));
    return info->size > 0 && info->erasesize > 0 && info->writesize > 0;
}

int SimMtd::open(const char* path, int flags)
{
    const std::string name = partition_name(path ? path : "");
    platform::MtdInfo info;
    if (name.empty() || !geometry(name, &info)) {
        errno = ENOENT;
        return -1;
    }
    const std::string file = backing_file(name);
    int fd = ::open(file.c_str(), (flags & ~(O_CREAT | O_TRUNC | O_APPEND)) | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        // First use: a new, fully erased partition.
        int w = ::open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (w >= 0) {
            const bool ok = fill_erased(w, 0, info.size);
            ::close(w);
            if (!ok) {
                ::unlink(file.c_str());
                errno = EIO;
                return -1;
            }
        }
        fd = ::open(file.c_str(), (flags & ~(O_CREAT | O_TRUNC | O_APPEND)) | O_CLOEXEC);
    }
    if (fd < 0)
        return -1;
    std::lock_guard<std::mutex> lk(mu_);
    open_[fd] = info;
    return fd;
}

int SimMtd::close(int fd)
{
    {
        std::lock_guard<std::mutex> lk(mu_);
        open_.erase(fd);
    }
    return ::close(fd);
}

void SimMtd::fail_nth(Op op, int nth)
{
    std::lock_guard<std::mutex> lk(mu_);
    if (nth > 0)
        fail_at_[op] = nth;
    else
        fail_at_.erase(op);
}

SimMtd::Counts SimMtd::counts() const
{
    std::lock_guard<std::mutex> lk(mu_);
    return counts_;
}

bool SimMtd::injected(Op op)
{
    switch (op) {
    case Op::GetInfo: ++counts_.getinfo; break;
    case Op::Unlock: ++counts_.unlock; break;
    case Op::Erase: ++counts_.erase; break;
    case Op::Write: ++counts_.write; break;
    }
    auto it = fail_at_.find(op);
    if (it == fail_at_.end() || --it->second > 0)
        return false;
    fail_at_.erase(it);
    errno = EIO;
    return true;
}

int SimMtd::lookup(Op op, int fd, platform::MtdInfo* info)
{
    std::lock_guard<std::mutex> lk(mu_);
    if (injected(op))
        return kFailed;
    auto it = open_.find(fd);
    if (it == open_.end())
        return kForeign;
    *info = it->second;
    return kOurs;
}

int SimMtd::getinfo(int fd, platform::MtdInfo* info)
{
    const int r = lookup(Op::GetInfo, fd, info);
    if (r == kForeign)
        errno = ENOTTY;  // as MEMGETINFO on a node that is no flash
    return r == kOurs ? 0 : -1;
}

int SimMtd::unlock(int fd, uint32_t start, uint32_t length)
{
    platform::MtdInfo info;
    const int r = lookup(Op::Unlock, fd, &info);
    if (r != kOurs || uint64_t(start) + length > info.size) {
        if (r != kFailed)
            errno = r == kForeign ? ENOTTY : EINVAL;
        return -1;
    }
    return 0;
}

int SimMtd::erase(int fd, uint32_t start, uint32_t length)
{
    platform::MtdInfo info;
    const int r = lookup(Op::Erase, fd, &info);
    if (r != kOurs) {
        if (r == kForeign)
            errno = ENOTTY;
        return -1;
    }
    // The driver refuses what does not cover whole blocks inside the partition.
    if (start % info.erasesize || length % info.erasesize || length == 0 || uint64_t(start) + length > info.size) {
        errno = EINVAL;
        return -1;
    }
    if (!fill_erased(fd, start, length)) {
        errno = EIO;
        return -1;
    }
    return 0;
}

ssize_t SimMtd::pwrite(int fd, const void* data, size_t len, off_t offset)
{
    platform::MtdInfo info;
    const int r = lookup(Op::Write, fd, &info);
    if (r == kFailed)
        return -1;
    if (r == kForeign)
        return ::pwrite(fd, data, len, offset);  // not ours: a plain file
    if (offset < 0 || uint64_t(offset) >= info.size) {
        errno = ENOSPC;
        return -1;
    }
    // Past the end the write is cut short, as the MTD driver does.
    len = std::min<uint64_t>(len, info.size - uint64_t(offset));
    std::vector<uint8_t> cells(len);
    if (::pread(fd, cells.data(), len, offset) != ssize_t(len))
        return -1;
    const auto* in = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < len; ++i)
        cells[i] &= in[i];  // programming only clears bits
    return ::pwrite(fd, cells.data(), len, offset);
}

}  // namespace sim
