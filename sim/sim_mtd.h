#pragma once
// MTD partitions of the simulated board: "/dev/mtdN" (rooted) is backed by the file
// $K57_ROOT/sim/mtdN.bin, created erased (0xFF) at the partition's size. Flash rules:
// an erase covers whole erase blocks inside the partition; a write can only clear bits
// (new = old & data), so writing over data that was not erased shows up in the file.
// Descriptors are real file descriptors; other descriptors fail MEMGETINFO like a non-MTD
// node does (ENOTTY).
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "platform/mtd.h"

namespace sim {

class BoardConfig;

class SimMtd : public platform::Mtd {
public:
    SimMtd(std::string sim_dir, const BoardConfig& cfg);

    int open(const char* path, int flags) override;
    int close(int fd) override;
    int getinfo(int fd, platform::MtdInfo* info) override;
    int unlock(int fd, uint32_t start, uint32_t length) override;
    int erase(int fd, uint32_t start, uint32_t length) override;
    ssize_t pwrite(int fd, const void* data, size_t len, off_t offset) override;

    // Failure injection for tests: the nth (1 = next) call of the operation fails with EIO.
    enum class Op { GetInfo, Unlock, Erase, Write };
    void fail_nth(Op op, int nth);

    // Operation counts since construction (tests check how a routine split its work).
    struct Counts { int getinfo = 0, unlock = 0, erase = 0, write = 0; };
    Counts counts() const;

    // Geometry of "mtdN" from board.json "mtd", else the defaults; false when unknown.
    bool geometry(const std::string& name, platform::MtdInfo* info) const;
    std::string backing_file(const std::string& name) const { return sim_dir_ + "/" + name + ".bin"; }

private:
    bool injected(Op op);  // counts the call; true when it must fail (errno EIO)
    // Counts the call and finds fd's partition geometry: kOurs with *info, kForeign for a
    // descriptor that is no partition of this board, kFailed for an injected failure.
    enum { kOurs, kForeign, kFailed };
    int lookup(Op op, int fd, platform::MtdInfo* info);

    std::string sim_dir_;
    const BoardConfig& cfg_;
    mutable std::mutex mu_;
    std::map<int, platform::MtdInfo> open_;  // fd -> geometry
    std::map<Op, int> fail_at_;
    Counts counts_;
};

}  // namespace sim
