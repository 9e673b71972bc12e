#include "remote/file_transfer.h"

#include "remote/file_install.h"

#include <QDir>
#include <QFileInfo>
#include <cstring>
#include <atomic>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

#include "core/log.h"
#include "core/md5.h"
#include "platform/board.h"

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
constexpr size_t kWriteChunk = 256u << 10;  // received file bytes held back before a write

std::mutex g_file_mutex;  // guards g_tlx_file_deal_para and md5
TlxFileDeal& st = g_tlx_file_deal_para;
// Platform-clock time at which the open transfer is abandoned, 0 with none open. Written
// under the mutex, read without it by the receive loops' waits.
std::atomic<uint64_t> g_deadline_us{0};

const FileTarget* find_target(const u8* code)
{
    for (const FileTarget& f : kFiles)
        if (std::memcmp(f.code, code, 4) == 0)
            return &f;
    return nullptr;
}

uint64_t now_us() { return platform::clock().now_us(); }

// Marks the transfer active now: its idle deadline moves on.
void touch()
{
    st.last_us = now_us();
    g_deadline_us = st.last_us + kFileIdleUs + 1;
}
bool active() { return st.kind != TlxFileDeal::NONE; }
bool busy_for(Requester owner) { return active() && st.owner != owner; }

u32 reply(u8* out, u8 status)
{
    out[0] = status;
    return 1;
}

// The disk and digest side of a file write; never destroyed (its thread runs to the end).
ChunkWriter& writer()
{
    static ChunkWriter* w = new ChunkWriter;
    return *w;
}

void abandon()
{
    writer().drain();  // no chunk may be written to a closed descriptor
    if (st.fd >= 0)
        ::close(st.fd);
    if (!st.temp.empty())
        ::unlink(st.temp.c_str());
    if (st.kind == TlxFileDeal::APP)
        g_update_flag = 0;
    st = TlxFileDeal();
    g_deadline_us = 0;
}

void expire_locked()
{
    if (active() && now_us() - st.last_us > kFileIdleUs) {
        writeLogMsg(LOG_WARNING, std::string("remote: file transfer ") + st.code +
                                     " idle for 30 s, abandoned");
        abandon();
    }
}

// Every handler works under the transfer mutex and first abandons a transfer left idle.
struct Locked {
    std::lock_guard<std::mutex> lk{g_file_mutex};
    Locked() { expire_locked(); }
};

// Checks shared by both starts: enough data, a code that names a file of the wanted
// direction, no other requester's transfer.
u8 check_target(Requester owner, const u8* data, u32 dlen, u32 need, bool write, const FileTarget** f)
{
    if (dlen < need)
        return ST_REFUSED;
    *f = find_target(data);
    if (!*f || !(write ? (*f)->can_write : (*f)->can_read))
        return ST_REFUSED;
    return busy_for(owner) ? ST_BUSY : ST_DONE;
}

// check_target, then the requester's own earlier transfer is abandoned.
u8 check_start(Requester owner, const u8* data, u32 dlen, u32 need, bool write, const FileTarget** f)
{
    const u8 status = check_target(owner, data, dlen, need, write, f);
    if (status == ST_DONE && active())
        abandon();
    return status;
}

// Checks shared by the commands that continue a transfer: the requester owns it and it runs
// in the wanted direction.
u8 check_running(Requester owner, bool write)
{
    if (busy_for(owner))
        return ST_BUSY;
    return active() && st.writing == write ? ST_DONE : ST_REFUSED;
}

// Block request of both directions: u32 offset, u16 length (1..1024), then (write) the bytes.
struct Block {
    u32 offset;
    u32 len;
};

u8 check_block(Requester owner, const u8* data, bool write, Block* b)
{
    b->offset = get_u32(data);
    b->len = get_u16(data + 4);
    const u8 status = check_running(owner, write);
    if (status != ST_DONE)
        return status;
    return b->len >= 1 && b->len <= kMaxRamBlock ? ST_DONE : ST_REFUSED;
}

u8 start_write(Requester owner, const u8* data, u32 dlen)
{
    const FileTarget* f = nullptr;
    const u8 status = check_start(owner, data, dlen, 8, true, &f);
    if (status != ST_DONE)
        return status;
    const u32 total = get_u32(data + 4);
    const std::string target = platform::rooted(f->path);
    const u32 max = f->kind == TlxFileDeal::MTD ? mtd_size(target) : f->max;
    if (f->kind == TlxFileDeal::MTD && max == 0)
        return ST_FAILED;
    if (total == 0 || total > max)
        return ST_REFUSED;

    st.kind = f->kind;
    st.writing = true;
    std::memcpy(st.code, f->code, 4);
    st.target = target;
    st.total = total;
    st.owner = owner;
    touch();
    if (f->kind == TlxFileDeal::MTD) {
        st.data.reserve(total);
    } else {
        st.data.reserve(kWriteChunk + kMaxRamBlock);
        QDir().mkpath(QFileInfo(QString::fromStdString(target)).absolutePath());
        st.temp = target + ".part";
        const int fault = platform::write_fault(target);
        st.fd = fault ? -1 : ::open(st.temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (st.fd < 0) {
            writeLogMsg(LOG_ERROR, "remote: cannot create " + st.temp + " (" + std::strerror(fault ? fault : errno) + ")");
            st.temp.clear();
            abandon();
            return ST_FAILED;
        }
    }
    if (f->kind == TlxFileDeal::APP)
        g_update_flag = 1;
    md5.reset();
    writeLogMsg(LOG_INFO, std::string("remote: file write ") + st.code + " of " +
                              std::to_string(total) + " bytes started");
    return ST_DONE;
}

bool flush_pending(bool wait);

// Appends one block of a write (dlen at least 6).
u8 store_block(Requester owner, const u8* data, u32 dlen)
{
    Block b;
    const u8 status = check_block(owner, data, true, &b);
    if (status != ST_DONE)
        return status;
    if (dlen - 6 < b.len || b.offset != st.done || b.len > st.total - st.done)
        return ST_REFUSED;
    const u8* bytes = data + 6;
    st.data.insert(st.data.end(), bytes, bytes + b.len);
    if (st.kind == TlxFileDeal::MTD)
        md5.update(bytes, b.len);  // a file's chunks are hashed by the writer
    st.done += b.len;
    touch();
    if (st.kind != TlxFileDeal::MTD && st.data.size() >= kWriteChunk && !flush_pending(false))
        return ST_FAILED;
    return ST_DONE;
}

// Hands the received bytes a file write holds back to the writer (a chunk at a time, so that
// a block costs no system call and no digest work); with `wait`, until all are written and
// hashed. False, and the transfer abandoned, on a write error.
bool flush_pending(bool wait)
{
    if (st.kind == TlxFileDeal::MTD)
        return true;
    bool ok = st.data.empty() || writer().hand_over(st.fd, st.data, off_t(st.done - st.data.size()));
    st.data.reserve(kWriteChunk + kMaxRamBlock);
    if (wait)
        ok = writer().drain() && ok;
    if (!ok) {
        writeLogMsg(LOG_ERROR, "remote: write error on " + st.temp);
        abandon();
    }
    return ok;
}

}  // namespace

void remove_stale_transfer_files()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Locked lk;
        if (active())
            return;
        for (const FileTarget& f : kFiles) {
            if (!f.can_write || f.kind == TlxFileDeal::MTD)
                continue;  // only files are written through a temporary
            const std::string part = platform::rooted(f.path) + ".part";
            if (::unlink(part.c_str()) == 0)
                writeLogMsg(LOG_INFO, "remote: removed " + std::string(f.path) + ".part left by an interrupted transfer");
        }
    });
}

void file_transfer_expire()
{
    const uint64_t due = g_deadline_us.load();
    if (due != 0 && now_us() >= due)
        Locked lk;
}

void file_transfer_owner_gone(Requester owner)
{
    Locked lk;
    if (!active() || st.owner != owner)
        return;
    writeLogMsg(LOG_WARNING, std::string("remote: file transfer ") + st.code + " abandoned, its connection closed");
    abandon();
}

int file_transfer_wait_ms()
{
    const uint64_t due = g_deadline_us.load();
    if (due == 0)
        return -1;
    const uint64_t now = now_us();
    return now >= due ? 0 : int((due - now + 999) / 1000);
}

u32 file_write_start(Requester owner, const u8* data, u32 dlen, u8* out)
{
    Locked lk;
    return reply(out, start_write(owner, data, dlen));
}

u32 file_write_block(Requester owner, const u8* data, u32 dlen, u8* out)
{
    Locked lk;
    if (dlen < 6)
        return reply(out, ST_REFUSED);
    out[0] = store_block(owner, data, dlen);
    put_u32(out + 1, get_u32(data));
    return 5;
}

u32 file_write_end(Requester owner, const u8* data, u32 dlen, u8* out)
{
    Locked lk;
    const u8 running = check_running(owner, true);
    if (running != ST_DONE)
        return reply(out, running);
    if (dlen < 16)
        return reply(out, ST_REFUSED);
    if (st.done != st.total) {
        abandon();
        return reply(out, ST_REFUSED);
    }
    if (!flush_pending(true))
        return reply(out, ST_FAILED);
    std::memcpy(out + 1, md5.digest(), 16);
    u8 status = ST_DONE;
    if (std::memcmp(out + 1, data, 16) != 0) {
        writeLogMsg(LOG_WARNING, std::string("remote: file ") + st.code + " MD5 mismatch, discarded");
        status = ST_FAILED;
    } else if (!install_received(st)) {
        writeLogMsg(LOG_ERROR, std::string("remote: file ") + st.code + " could not be installed");
        status = ST_FAILED;
    }
    abandon();  // ends the transfer; a committed file has no temporary left
    out[0] = status;
    return 17;
}

u32 file_read_start(Requester owner, const u8* data, u32 dlen, u8* out)
{
    {
        Locked lk;
        const FileTarget* f = nullptr;
        const u8 status = check_target(owner, data, dlen, 4, false, &f);
        if (status != ST_DONE)
            return reply(out, status);
    }
    // The file is read and hashed outside the mutex every transport takes: a log of
    // megabytes must not hold up the other transports' commands.
    const FileTarget* f = find_target(data);
    std::vector<u8> snapshot;
    if (!read_whole(platform::rooted(f->path), kReadMaxSize, &snapshot))
        return reply(out, ST_FAILED);
    if (snapshot.size() > kReadMaxSize)
        return reply(out, ST_REFUSED);
    MD5 digest;
    digest.update(snapshot.data(), u32(snapshot.size()));

    Locked lk;
    const u8 status = check_start(owner, data, dlen, 4, false, &f);
    if (status != ST_DONE)
        return reply(out, status);
    st.kind = TlxFileDeal::READ;
    st.writing = false;
    std::memcpy(st.code, f->code, 4);
    st.target = platform::rooted(f->path);
    st.total = u32(snapshot.size());
    st.data.swap(snapshot);
    std::memcpy(st.digest, digest.digest(), sizeof st.digest);
    st.owner = owner;
    touch();
    put_u32(out + 1, st.total);
    out[0] = ST_DONE;
    return 5;
}

u32 file_read_block(Requester owner, const u8* data, u32 dlen, u8* out)
{
    Locked lk;
    if (dlen < 6)
        return reply(out, ST_REFUSED);
    Block b;
    u8 status = check_block(owner, data, false, &b);
    if (status == ST_DONE && (b.offset > st.total || b.len > st.total - b.offset))
        status = ST_REFUSED;
    out[0] = status;
    put_u32(out + 1, b.offset);
    put_u16(out + 5, u16(b.len));
    if (status != ST_DONE)
        return 7;
    std::memcpy(out + 7, st.data.data() + b.offset, b.len);
    touch();
    return 7 + b.len;
}

u32 file_read_end(Requester owner, const u8*, u32, u8* out)
{
    Locked lk;
    const u8 status = check_running(owner, false);
    if (status != ST_DONE)
        return reply(out, status);
    std::memcpy(out + 1, st.digest, 16);
    abandon();
    out[0] = ST_DONE;
    return 17;
}

}  // namespace remote
