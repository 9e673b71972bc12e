#include "core/store_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>
#include <vector>

#include "core/ConfigEngine.h"
#include "core/log.h"
#include "core/ram_map.h"
#include "platform/board.h"
#include "platform/paths.h"

namespace store_files {

std::string mode_file_path(int slot)
{
    return std::string(kModeDir) + "/custom_mode" + std::to_string(slot + 1);
}

std::string mode_osd_path(int slot)
{
    char name[16];
    std::snprintf(name, sizeof name, "MO%02x.json", (slot + 1) & 0xFF);
    return std::string(kModeDir) + "/" + name;
}

constexpr const char* kProbeSuffix = ".probe";

static bool write_all(int fd, const uint8_t* data, size_t len)
{
    while (len > 0) {
        ssize_t n = ::write(fd, data, len);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        len -= static_cast<size_t>(n);
    }
    return true;
}

void sync_parent_dir(const std::string& file)
{
    std::string dir = file.substr(0, file.find_last_of('/'));
    if (dir.empty())
        dir = "/";
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool write_atomic(const std::string& path, const uint8_t* data, size_t len)
{
    const std::string real = platform::rooted(path);
    const std::string tmp = real + ".tmp";
    if (const int fault = platform::write_fault(real)) {
        errno = fault;
        return false;
    }
    // A fresh data partition has no "/data/modes" yet: the first saved mode creates it.
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(real).parent_path(), ec);
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    bool ok = write_all(fd, data, len) && ::fsync(fd) == 0;
    int saved = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (ok && ::rename(tmp.c_str(), real.c_str()) == 0) {
        sync_parent_dir(real);
        return true;
    }
    if (ok)
        saved = errno;  // the rename failed
    ::unlink(tmp.c_str());
    errno = saved;
    return false;
}

bool can_replace(const std::string& path, size_t len)
{
    const std::string real = platform::rooted(path);
    const std::string tmp = real + kProbeSuffix;  // not the writers' ".tmp": one may be under way
    if (const int fault = platform::write_fault(real)) {
        errno = fault;
        return false;
    }
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    const std::vector<uint8_t> zeros(len);
    bool ok = write_all(fd, zeros.data(), len) && ::fsync(fd) == 0;
    const int saved = errno;
    ::close(fd);
    ::unlink(tmp.c_str());
    errno = saved;
    return ok;
}

void remove_stale_temporaries()
{
    std::error_code ec;
    std::filesystem::remove(platform::rooted(kParamFile) + ".tmp", ec);
    std::filesystem::remove(platform::rooted(kParamFile) + kProbeSuffix, ec);
    std::filesystem::remove(platform::rooted(kNetworkFile) + kProbeSuffix, ec);
    for (const auto& entry : std::filesystem::directory_iterator(platform::rooted(kModeDir), ec)) {
        if (entry.path().extension() == ".tmp") {
            writeLogMsg(LOG_INFO, "removed " + entry.path().filename().string() + " left by an interrupted write");
            std::filesystem::remove(entry.path(), ec);
        }
    }
}

long read_prefix(const std::string& path, uint8_t* out, size_t len)
{
    int fd = ::open(platform::rooted(path).c_str(), O_RDONLY);
    if (fd < 0)
        return -1;
    size_t got = 0;
    while (got < len) {
        ssize_t n = ::read(fd, out + got, len - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    return static_cast<long>(got);
}

bool write_param_file(const uint8_t* persisted)
{
    uint8_t file[PARA_FILE_SIZE];
    std::memcpy(file, ConfigEngine::default_para_ramlist, sizeof file);
    long have = read_prefix(kParamFile, file, sizeof file);
    if (have > 0 && static_cast<size_t>(have) < sizeof file) {
        // Complete a short file from the factory bytes beyond what it held.
        std::memcpy(file + have, ConfigEngine::default_para_ramlist + have, sizeof file - have);
    }
    std::memcpy(file + PARA_FILE_IMAGE_OFFSET, persisted, RAM_PERSIST_LEN);
    return write_atomic(kParamFile, file, sizeof file);
}

}  // namespace store_files
