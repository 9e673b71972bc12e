#pragma once
// The file side of the remote file transfer: reading a file whole, writing blocks, and
// installing a received file once its digest matched (atomic replace of a file, erase and
// write of an MTD partition, and what each target needs afterwards).
#include <condition_variable>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

#include "remote/file_transfer.h"

namespace remote {

// Size of an MTD partition, 0 when it cannot be asked.
u32 mtd_size(const std::string& path);
// Writes all n bytes at offset off; false on a write error.
bool write_all_at(int fd, const u8* p, size_t n, off_t off);
// Writes the held-back chunks of a file write and hashes them into `md5` on a thread of its
// own, so that the blocks' round trips wait neither for the disk nor for the digest. One chunk
// is in hand at a time. Used under the transfer mutex.
class ChunkWriter {
public:
    // Waits for the chunk in hand, then takes `chunk` (left empty) to write at `offset` of
    // fd. False when a write has failed since the last drain.
    bool hand_over(int fd, std::vector<u8>& chunk, off_t offset);
    // Waits until the chunk in hand is written and hashed; false when a write failed since
    // the last drain (which clears the failure).
    bool drain();

private:
    void run();
    std::mutex mu_;
    std::condition_variable cv_;
    std::vector<u8> work_;
    int fd_ = -1;
    off_t offset_ = 0;
    bool busy_ = false;
    bool failed_ = false;
    bool started_ = false;
};

// Reads a whole file; stops reading once more than `max` bytes have come (the caller refuses
// such a file). False when the file cannot be opened or read.
bool read_whole(const std::string& path, size_t max, std::vector<u8>* out);
// Puts a fully received, digest-checked file in place: a file's temporary is synced and
// renamed over its target, a partition is erased and written; then the target's follow-up
// (program made executable with its start command and a restart; OSD menus reloaded).
// A JSON file must first pass its readers' check (core/json_file.h), and a program is put in
// place only once its start command is written: otherwise false, and the old file stays.
// Leaves st.fd closed and st.temp empty when the rename was done.
bool install_received(TlxFileDeal& st);

}  // namespace remote
