#include "remote/file_install.h"

#include <QMutexLocker>
#include <QSettings>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>

#include "core/alias_reader.h"
#include "core/c331_shared.h"
#include "core/fpga_wake.h"
#include "core/json_file.h"
#include "core/log.h"
#include "core/md5.h"
#include "core/store_files.h"
#include "core/utils.h"
#include "platform/board.h"
#include "platform/thread_name.h"
#include "remote/remote_hooks.h"
#include "scaler/omenu_file.h"

namespace remote {

// Size of an MTD partition, 0 when it cannot be asked.
u32 mtd_size(const std::string& path)
{
    platform::Mtd& mtd = platform::board().mtd();
    const int fd = mtd.open(path.c_str(), O_RDWR);
    if (fd < 0)
        return 0;
    platform::MtdInfo info;
    const int rc = mtd.getinfo(fd, &info);
    mtd.close(fd);
    return rc == 0 ? info.size : 0;
}

bool write_all_at(int fd, const u8* p, size_t n, off_t off)
{
    while (n > 0) {
        const ssize_t w = ::pwrite(fd, p, n, off);
        if (w <= 0)
            return false;
        p += w;
        n -= size_t(w);
        off += w;
    }
    return true;
}

bool read_whole(const std::string& path, size_t max, std::vector<u8>* out)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    out->clear();
    u8 buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0 && out->size() <= max)
        out->insert(out->end(), buf, buf + n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

bool ChunkWriter::hand_over(int fd, std::vector<u8>& chunk, off_t offset)
{
    std::unique_lock<std::mutex> lk(mu_);
    if (!started_) {
        std::thread([this] { run(); }).detach();  // lives as long as the process
        started_ = true;
    }
    cv_.wait(lk, [this] { return !busy_; });
    if (failed_)
        return false;
    work_.swap(chunk);
    chunk.clear();
    fd_ = fd;
    offset_ = offset;
    busy_ = true;
    cv_.notify_all();
    return true;
}

bool ChunkWriter::drain()
{
    std::unique_lock<std::mutex> lk(mu_);
    cv_.wait(lk, [this] { return !busy_; });
    const bool ok = !failed_;
    failed_ = false;
    return ok;
}

void ChunkWriter::run()
{
    platform::name_this_thread("file-writer");
    std::unique_lock<std::mutex> lk(mu_);
    for (;;) {
        cv_.wait(lk, [this] { return busy_; });
        lk.unlock();
        // Only this thread touches the chunk and md5 while busy_ is set.
        const bool ok = write_all_at(fd_, work_.data(), work_.size(), offset_);
        md5.update(work_.data(), u32(work_.size()));
        lk.lock();
        failed_ = failed_ || !ok;
        busy_ = false;
        cv_.notify_all();
    }
}

namespace {

constexpr const char* kLoadConfig = "/data/configs/led_load_config.ini";
constexpr const char* kAppStartCommand = "/data/app/tlxK57N -platform linuxfb";
constexpr const char* kAppPathKey = "app-1/app_path";

// The received file replaces its target: data on disk first, then the atomic rename.
bool commit_file(TlxFileDeal& st)
{
    const bool synced = ::fsync(st.fd) == 0;
    ::close(st.fd);
    st.fd = -1;
    if (!synced || ::rename(st.temp.c_str(), st.target.c_str()) != 0)
        return false;
    store_files::sync_parent_dir(st.target);  // the rename itself survives a power cut
    st.temp.clear();
    return true;
}

// The start command names the program the device starts. Set before the program is put in
// place and set back when that fails: a failure leaves the device as it was, and it is not
// restarted.
bool set_start_command(QSettings& ini, const QVariant& command)
{
    if (const int fault = platform::write_fault(ini.fileName().toStdString())) {
        writeLogMsg(LOG_ERROR, "remote: cannot write " + std::string(kLoadConfig) + " (" + std::strerror(fault) + ")");
        return false;
    }
    if (command.isValid())
        ini.setValue(kAppPathKey, command);
    else
        ini.remove(kAppPathKey);
    ini.sync();
    return ini.status() == QSettings::NoError;
}

// A program the device could not start (not an executable file: neither ELF nor a script)
// would leave it without its program at the next start: refused, the old one stays.
bool runnable(const TlxFileDeal& st)
{
    uint8_t head[4] = {};
    const int fd = ::open(st.temp.c_str(), O_RDONLY | O_CLOEXEC);
    const bool got = fd >= 0 && ::pread(fd, head, sizeof head, 0) == ssize_t(sizeof head);
    if (fd >= 0)
        ::close(fd);
    const bool elf = got && std::memcmp(head, "\x7f" "ELF", 4) == 0;
    if (elf || std::memcmp(head, "#!", 2) == 0)
        return true;
    writeLogMsg(LOG_WARNING, "remote: file APPL refused (not an executable program), old program kept");
    return false;
}

bool install_app(TlxFileDeal& st)
{
    if (!runnable(st))
        return false;
    QSettings ini(QString::fromStdString(platform::rooted(kLoadConfig)), QSettings::IniFormat);
    const QVariant old = ini.value(kAppPathKey);
    if (!set_start_command(ini, QString::fromLatin1(kAppStartCommand))) {
        writeLogMsg(LOG_ERROR, "remote: cannot rewrite the start command, application update not installed");
        return false;
    }
    if (!commit_file(st)) {
        set_start_command(ini, old);
        return false;
    }
    ::chmod(st.target.c_str(), 0755);
    G_reboot_tickTicks = request_tick();
    g_app_reset_flag = 1;
    writeLogRecord(LOG_INFO, "remote: application update installed, restarting");
    return true;
}

// A received JSON file replaces the old one only when the reader that applies it would read
// it: an OSD menu its entries, a names file its "namelist".
bool json_acceptable(const TlxFileDeal& st)
{
    const std::string why = std::strcmp(st.code, "OSDS") == 0 ? omenu_file_fault(st.temp)
                            : std::strcmp(st.code, "ALIS") == 0 ? alias_file_fault(st.temp)
                                                                : std::string();
    if (why.empty())
        return true;
    writeLogMsg(LOG_WARNING, std::string("remote: file ") + st.code + " refused (" + why + "), old file kept");
    return false;
}

bool write_partition(const TlxFileDeal& st)
{
    platform::Mtd& mtd = platform::board().mtd();
    const int fd = mtd.open(st.target.c_str(), O_RDWR);
    if (fd < 0)
        return false;
    const bool ok = Utils::non_region_erase(fd, 0, int(st.total), 1) == 0 &&
                    Utils::non_region_write(fd, st.data.data(), int(st.total), 0) == 0;
    mtd.close(fd);
    return ok;
}

}  // namespace

bool install_received(TlxFileDeal& st)
{
    switch (st.kind) {
    case TlxFileDeal::APP: return install_app(st);
    case TlxFileDeal::MTD: return write_partition(st);
    case TlxFileDeal::JSON:
        if (!json_acceptable(st) || !commit_file(st))
            return false;
        if (std::strcmp(st.code, "OSDS") == 0) {
            QMutexLocker lk(&c331_shared::c331_lock);
            hook_osd_update();
            c331_raise_change_locked(1);
        }
        return true;
    default: return false;
    }
}

}  // namespace remote
