#include "remote/file_transfer.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include "core/c331_shared.h"
#include "core/log.h"
#include "core/md5.h"
#include "core/utils.h"
#include "platform/board.h"
#include "remote/remote_hooks.h"

TlxFileDeal g_tlx_file_deal_para;

namespace remote {
namespace {

struct FileTarget {
    const char* code;
    const char* path;
    TlxFileDeal::Kind kind;  // of a write
    bool can_write;
    bool can_read;
    u32 max;                 // largest accepted write (MTD: the partition's size)
};

const FileTarget kFiles[] = {
    {"APPL", "/data/app/tlxK57N", TlxFileDeal::APP, true, true, kAppMaxSize},
    {"KERN", "/dev/mtd10", TlxFileDeal::MTD, true, false, 0},
    {"LOGO", "/dev/mtd8", TlxFileDeal::MTD, true, false, 0},
    {"OSDS", "/data/configs/omenu.json", TlxFileDeal::JSON, true, true, kJsonMaxSize},
    {"ALIS", "/data/configs/alias.json", TlxFileDeal::JSON, true, true, kJsonMaxSize},
    {"PARA", "/data/ram_device_info", TlxFileDeal::READ, false, true, 0},
    {"LOGF", "/data/zeltaqn/log/kivEnglneLog", TlxFileDeal::READ, false, true, 0},
};
constexpr u32 kReadMaxSize = 64u << 20;
constexpr const char* kLoadConfig = "/data/configs/led_load_config.ini";
constexpr const char* kAppStartCommand = "/data/app/tlxK57N -platform linuxfb";

std::mutex g_file_mutex;  // guards g_tlx_file_deal_para and md5
TlxFileDeal& st = g_tlx_file_deal_para;

const FileTarget* find_target(const u8* code)
{
    for (const FileTarget& f : kFiles)
        if (std::memcmp(f.code, code, 4) == 0)
            return &f;
    return nullptr;
}

uint64_t now_us() { return platform::clock().now_us(); }
bool active() { return st.kind != TlxFileDeal::NONE; }
bool busy_for(u32 owner) { return active() && st.owner != owner; }

u32 reply(u8* out, u8 status)
{
    out[0] = status;
    return 1;
}

void abandon()
{
    if (st.fd >= 0)
        ::close(st.fd);
    if (!st.temp.empty())
        ::unlink(st.temp.c_str());
    if (st.kind == TlxFileDeal::APP)
        g_update_flag = 0;
    st = TlxFileDeal();
}

void expire_locked()
{
    if (active() && now_us() - st.last_us > kFileIdleUs) {
        writeLogMsg(LOG_WARNING, std::string("remote: file transfer ") + st.code +
                                     " idle for 30 s, abandoned");
        abandon();
    }
}

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

bool read_whole(const std::string& path, std::vector<u8>* out)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    out->clear();
    u8 buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0 && out->size() <= kReadMaxSize)
        out->insert(out->end(), buf, buf + n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

// The received file replaces its target: data on disk first, then the atomic rename.
bool commit_file()
{
    const bool synced = ::fsync(st.fd) == 0;
    ::close(st.fd);
    st.fd = -1;
    if (!synced || ::rename(st.temp.c_str(), st.target.c_str()) != 0)
        return false;
    st.temp.clear();
    return true;
}

bool install_app()
{
    ::chmod(st.target.c_str(), 0755);
    QSettings ini(QString::fromStdString(platform::rooted(kLoadConfig)), QSettings::IniFormat);
    ini.setValue(QStringLiteral("app-1/app_path"), QString::fromLatin1(kAppStartCommand));
    ini.sync();
    if (ini.status() != QSettings::NoError)
        writeLogMsg(LOG_ERROR, "remote: cannot rewrite the start command");
    G_reboot_tickTicks = G_timeTicks.load();
    g_app_reset_flag = 1;
    writeLogMsg(LOG_INFO, "remote: application update installed, restarting");
    return true;
}

bool write_partition()
{
    platform::Mtd& mtd = platform::board().mtd();
    const int fd = mtd.open(st.target.c_str(), O_RDWR);
    if (fd < 0)
        return false;
    if (Utils::non_region_erase(fd, 0, int(st.total), 1) != 0)
        return false;  // the erase closed the device
    const int rc = Utils::non_region_write(fd, st.data.data(), int(st.total), 0);
    mtd.close(fd);
    return rc == 0;
}

bool commit()
{
    switch (st.kind) {
    case TlxFileDeal::APP: return commit_file() && install_app();
    case TlxFileDeal::MTD: return write_partition();
    case TlxFileDeal::JSON:
        if (!commit_file())
            return false;
        if (std::strcmp(st.code, "OSDS") == 0) {
            QMutexLocker lk(&c331_shared::c331_lock);
            hook_osd_update();
            c331_shared::param_changed = std::max(c331_shared::param_changed.load(), 1);
        }
        return true;
    default: return false;
    }
}

}  // namespace

void file_transfer_expire()
{
    std::lock_guard<std::mutex> lk(g_file_mutex);
    expire_locked();
}

u32 file_write_start(u32 owner, const u8* data, u32 dlen, u8* out)
{
    std::lock_guard<std::mutex> lk(g_file_mutex);
    expire_locked();
    if (dlen < 8)
        return reply(out, ST_REFUSED);
    const FileTarget* f = find_target(data);
    if (!f || !f->can_write)
        return reply(out, ST_REFUSED);
    if (busy_for(owner))
        return reply(out, ST_BUSY);
    if (active())
        abandon();  // the same requester starts over
    const u32 total = get_u32(data + 4);
    const std::string target = platform::rooted(f->path);
    const u32 max = f->kind == TlxFileDeal::MTD ? mtd_size(target) : f->max;
    if (f->kind == TlxFileDeal::MTD && max == 0)
        return reply(out, ST_FAILED);
    if (total == 0 || total > max)
        return reply(out, ST_REFUSED);

    st.kind = f->kind;
    st.writing = true;
    std::memcpy(st.code, f->code, 4);
    st.target = target;
    st.total = total;
    st.owner = owner;
    st.last_us = now_us();
    if (f->kind == TlxFileDeal::MTD) {
        st.data.reserve(total);
    } else {
        QDir().mkpath(QFileInfo(QString::fromStdString(target)).absolutePath());
        st.temp = target + ".part";
        st.fd = ::open(st.temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (st.fd < 0) {
            writeLogMsg(LOG_ERROR, "remote: cannot create " + st.temp);
            st.temp.clear();
            abandon();
            return reply(out, ST_FAILED);
        }
    }
    if (f->kind == TlxFileDeal::APP)
        g_update_flag = 1;
    md5.reset();
    writeLogMsg(LOG_INFO, std::string("remote: file write ") + st.code + " of " +
                              std::to_string(total) + " bytes started");
    return reply(out, ST_DONE);
}

u32 file_write_block(u32 owner, const u8* data, u32 dlen, u8* out)
{
    std::lock_guard<std::mutex> lk(g_file_mutex);
    expire_locked();
    if (dlen < 6)
        return reply(out, ST_REFUSED);
    const u32 offset = get_u32(data);
    const u32 len = get_u16(data + 4);
    put_u32(out + 1, offset);
    if (busy_for(owner)) {
        out[0] = ST_BUSY;
        return 5;
    }
    if (!active() || !st.writing || len < 1 || len > kMaxRamBlock || dlen - 6 < len ||
        offset != st.done || len > st.total - st.done) {
        out[0] = ST_REFUSED;
        return 5;
    }
    const u8* bytes = data + 6;
    if (st.kind == TlxFileDeal::MTD) {
        st.data.insert(st.data.end(), bytes, bytes + len);
    } else if (!write_all_at(st.fd, bytes, len, off_t(offset))) {
        writeLogMsg(LOG_ERROR, "remote: write error on " + st.temp);
        abandon();
        out[0] = ST_FAILED;
        return 5;
    }
    md5.update(bytes, len);
    st.done += len;
    st.last_us = now_us();
    out[0] = ST_DONE;
    return 5;
}

u32 file_write_end(u32 owner, const u8* data, u32 dlen, u8* out)
{
    std::lock_guard<std::mutex> lk(g_file_mutex);
    expire_locked();
    if (busy_for(owner))
        return reply(out, ST_BUSY);
    if (!active() || !st.writing || dlen < 16)
        return reply(out, ST_REFUSED);
    if (st.done != st.total) {
        abandon();
        return reply(out, ST_REFUSED);
    }
    std::memcpy(out + 1, md5.digest(), 16);
    u8 status = ST_DONE;
    if (std::memcmp(out + 1, data, 16) != 0) {
        writeLogMsg(LOG_WARNING, std::string("remote: file ") + st.code + " MD5 mismatch, discarded");
        status = ST_FAILED;
    } else if (!commit()) {
        writeLogMsg(LOG_ERROR, std::string("remote: file ") + st.code + " could not be installed");
        status = ST_FAILED;
    }
    abandon();  // ends the transfer; a committed file has no temporary left
    out[0] = status;
    return 17;
}

u32 file_read_start(u32 owner, const u8* data, u32 dlen, u8* out)
{
    std::lock_guard<std::mutex> lk(g_file_mutex);
    expire_locked();
    if (dlen < 4)
        return reply(out, ST_REFUSED);
    const FileTarget* f = find_target(data);
    if (!f || !f->can_read)
        return reply(out, ST_REFUSED);
    if (busy_for(owner))
        return reply(out, ST_BUSY);
    if (active())
        abandon();
    std::vector<u8> snapshot;
    if (!read_whole(platform::rooted(f->path), &snapshot))
        return reply(out, ST_FAILED);
    if (snapshot.size() > kReadMaxSize)
        return reply(out, ST_REFUSED);
    st.kind = TlxFileDeal::READ;
    st.writing = false;
    std::memcpy(st.code, f->code, 4);
    st.target = platform::rooted(f->path);
    st.total = u32(snapshot.size());
    st.data.swap(snapshot);
    st.owner = owner;
    st.last_us = now_us();
    out[0] = ST_DONE;
    put_u32(out + 1, st.total);
    return 5;
}

u32 file_read_block(u32 owner, const u8* data, u32 dlen, u8* out)
{
    std::lock_guard<std::mutex> lk(g_file_mutex);
    expire_locked();
    if (dlen < 6)
        return reply(out, ST_REFUSED);
    const u32 offset = get_u32(data);
    const u32 len = get_u16(data + 4);
    put_u32(out + 1, offset);
    put_u16(out + 5, u16(len));
    if (busy_for(owner)) {
        out[0] = ST_BUSY;
        return 7;
    }
    if (!active() || st.writing || len < 1 || len > kMaxRamBlock || offset > st.total ||
        len > st.total - offset) {
        out[0] = ST_REFUSED;
        return 7;
    }
    std::memcpy(out + 7, st.data.data() + offset, len);
    st.last_us = now_us();
    out[0] = ST_DONE;
    return 7 + len;
}

u32 file_read_end(u32 owner, const u8*, u32, u8* out)
{
    std::lock_guard<std::mutex> lk(g_file_mutex);
    expire_locked();
    if (busy_for(owner))
        return reply(out, ST_BUSY);
    if (!active() || st.writing)
        return reply(out, ST_REFUSED);
    md5.reset();
    md5.update(st.data.data(), st.total);
    std::memcpy(out + 1, md5.digest(), 16);
    abandon();
    out[0] = ST_DONE;
    return 17;
}

}  // namespace remote
