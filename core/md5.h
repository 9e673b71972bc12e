#pragma once
// MD5 message digest (RFC 1321). The global `md5` serves the remote file transfer in progress:
// reset at each start, updated per block, digest taken at the end.
#include <cstdint>
#include <string>

#include "core/globals.h"

class MD5 {
public:
    MD5();
    // Restarts the digest: initial chaining values, count 0, not finished.
    void reset();
    // Feeds bytes; clears the finished flag.
    void update(const void* data, u32 length);
    void update(const u8* data, u32 length);
    // Finalises on the first call after an update and returns the 16 digest bytes; further
    // calls return the same bytes.
    const u8* digest();
    // The digest as 32 lower-case hexadecimal characters.
    std::string toString();

private:
    void transform(const u8 block[64]);
    void finalize();

    u32 state_[4];
    uint64_t count_;  // message length in bits
    u8 buffer_[64];
    u8 digest_[16];
    bool finished_;
};

extern MD5 md5;
