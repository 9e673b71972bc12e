#pragma once
// The remote file transfer: one at a time for the whole device, owned by the requester that
// started it. A written file reaches its target only after the end command's MD5 matches
// (temporary file, fsync, rename; MTD partitions are erased and written only then).
// Blocks come in order; a transfer idle for 30 s is abandoned, and so is one whose TCP
// connection closed.
#include <cstdint>
#include <string>
#include <vector>

#include "remote/remote_proto.h"

struct TlxFileDeal {
    enum Kind { NONE, APP, MTD, JSON, READ };
    Kind kind = NONE;
    bool writing = false;
    char code[5] = {0};
    std::string target;       // rooted path of the file or partition
    std::string temp;         // rooted temporary path of a written file
    int fd = -1;              // temporary file of a write
    u32 total = 0;
    u32 done = 0;             // bytes received (write)
    remote::Requester owner = 0;
    uint64_t last_us = 0;     // platform clock of the last command
    std::vector<u8> data;     // MTD image being received, a file's bytes not yet written, or the snapshot being read
    u8 digest[16] = {0};      // MD5 of the snapshot being read
};

extern TlxFileDeal g_tlx_file_deal_para;

namespace remote {

constexpr uint64_t kFileIdleUs = 30ull * 1000 * 1000;
constexpr u32 kAppMaxSize = 64u << 20;
constexpr u32 kJsonMaxSize = 1u << 20;

// Handlers of commands 0x64..0x69: `out` receives the reply data, status first; each returns
// the reply data length.
u32 file_write_start(Requester owner, const u8* data, u32 dlen, u8* out);
u32 file_write_block(Requester owner, const u8* data, u32 dlen, u8* out);
u32 file_write_end(Requester owner, const u8* data, u32 dlen, u8* out);
u32 file_read_start(Requester owner, const u8* data, u32 dlen, u8* out);
u32 file_read_block(Requester owner, const u8* data, u32 dlen, u8* out);
u32 file_read_end(Requester owner, const u8* data, u32 dlen, u8* out);

// Removes the "<target>.part" files a power cut during a transfer left behind. Runs once,
// when the first transport starts; later calls do nothing.
void remove_stale_transfer_files();

// Abandons a transfer idle for 30 s; the transports call it from their receive loops. Takes
// the transfer mutex only when an open transfer has reached its deadline.
void file_transfer_expire();
// Abandons the open transfer when `owner` started it: its connection closed, so nobody can
// finish it. Streams without connections (UDP, serial) keep the idle rule.
void file_transfer_owner_gone(Requester owner);
// Milliseconds until the open transfer's idle deadline (0 when reached), -1 with none open:
// the time-out of a receive loop's wait. Takes no mutex.
int file_transfer_wait_ms();

}  // namespace remote
