#pragma once
// Files of the parameter store: paths and crash-safe writes.
//
// A write goes to a temporary file in the same directory, is flushed to disk, renamed over
// the old file and the directory is flushed, so a power cut leaves either the old or the new
// contents, never a mix. Paths are device paths ("/data/..."), rooted here.
#include <cstddef>
#include <cstdint>
#include <string>

namespace store_files {

constexpr const char* kParamFile = "/data/ram_device_info";
constexpr const char* kModeDir = "/data/modes";
constexpr const char* kNetworkFile = "/data/configs/tcpip.ini";

// "/data/modes/custom_mode<slot+1>" for slot 0..15.
std::string mode_file_path(int slot);
// "/data/modes/MO<xx>.json" with slot+1 as two lower-case hexadecimal digits.
std::string mode_osd_path(int slot);

// Replaces the whole file at device path `path` with `len` bytes. False (errno kept) on failure;
// the old file is then untouched.
bool write_atomic(const std::string& path, const uint8_t* data, size_t len);

// Whether write_atomic could replace the file at device path `path` with `len` bytes now: a
// temporary file of that size is written, flushed and removed. False (errno kept) when the
// partition refuses it. For a change of two files that must be made both or neither.
bool can_replace(const std::string& path, size_t len);

// Flushes the directory holding the rooted file `real_path` to disk, so that a rename into it
// survives a power cut.
void sync_parent_dir(const std::string& real_path);

// Removes what a power cut during write_atomic can leave behind: the parameter file's and
// the user modes' "<file>.tmp". Called once at start, before anything writes them.
void remove_stale_temporaries();

// Reads up to `len` bytes from the start of the file; the number read, or -1 when it cannot
// be opened.
long read_prefix(const std::string& path, uint8_t* out, size_t len);

// Rewrites bytes 2..3329 of the parameter file with image 0x300..0xFFF (`persisted`, 3328
// bytes), keeping the file's other bytes; a missing or short file has them completed from
// the factory image. False on failure (the old file stays).
bool write_param_file(const uint8_t* persisted);

}  // namespace store_files
