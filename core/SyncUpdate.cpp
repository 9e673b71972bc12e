// Page refresh and persistence after a change of the parameter image (GUI thread).
#include "core/SyncUpdate.h"

#include <QMutexLocker>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/TlxRamPara.h"
#include "core/c331_shared.h"
#include "core/log.h"
#include "core/page_registry.h"
#include "core/store_files.h"
#include "core/shell_hooks.h"
#include "core/utils.h"
#include "platform/board.h"

SyncUpdate* SyncUpdate::p_SyncUpdate = nullptr;

SyncUpdate* SyncUpdate::pInstance()
{
    if (!p_SyncUpdate)
        p_SyncUpdate = new SyncUpdate();
    return p_SyncUpdate;
}

namespace {

// Page codes that have a refresh: 0..14, 16..20, 22, 23.
bool page_has_refresh(int page)
{
    return page >= 0 && page <= 23 && page != 15 && page != 21;
}

void refresh_page(TlxRamPara* store)
{
    const int page = g_page_focus.load();
    const bool refreshed = page_has_refresh(page) && page_registry::call(page);
    if (!refreshed)
        store->TlxLanguageChanged();  // g_language still follows ram_language
}

// Writes the mode file from the image; the slot takes the copy only when the file was written.
bool write_mode_file(TlxRamPara* store, int slot, int from_sync)
{
    if (shell_hooks::mode_file_write)
        return shell_hooks::mode_file_write(slot, from_sync) == 1;
    return store->mode_file_save(slot, from_sync == 0) == 1;
}

enum class ModeSave { None, Saved, Failed };

// A save request of 1..16 stores the image into that mode; any other value is cleared. The
// slot, its marker and the current mode change only once the mode file is written, so what
// the panel and the tool see is what the next start finds.
ModeSave pending_mode_save(TlxRamPara* store)
{
    int slot = -1;
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        const u16 r = ram_rd16(store->ram_image, ram_mode_save_request);
        if (r > MODE_SLOTS) {
            writeLogMsg(LOG_WARNING, "mode save request " + std::to_string(r) + " names no mode: cleared");
            ram_wr16(store->ram_image, ram_mode_save_request, 0);
            return ModeSave::None;
        }
        if (r == 0 || r == ram_rd16(store->ram_shadow, ram_mode_save_request))
            return ModeSave::None;
        slot = r - 1;
        ram_wr16(store->ram_image, ram_mode_save_request, 0);
    }
    if (!write_mode_file(store, slot, 0))
        return ModeSave::Failed;
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        ram_wr16(store->ram_image, ram_current_mode, static_cast<u16>(slot + 1));
    }
    if (g_debugSwitch == 254)
        std::printf("\n user mode save change ,%#x \n", ram_rd8(store->mode_slot[slot].bytes[0]));
    return ModeSave::Saved;
}

// After a remote change of the slots: of the slots the remote tool wrote since the last
// time, rewrite the saved ones from the image and delete the emptied ones. Saved modes it
// did not touch keep their slot and file.
void remote_slot_change(TlxRamPara* store)
{
    u32 marks;
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        marks = store->take_remote_slot_marks();
    }
    for (int slot = 0; slot < MODE_SLOTS; ++slot) {
        if (!(marks & (1u << slot)))
            continue;
        enum { Keep, Write, Delete } action = Keep;
        {
            QMutexLocker lk(&c331_shared::c331_lock);
            const u8 m0 = store->mode_slot[slot].bytes[0];
            const u8 m1 = store->mode_slot[slot].bytes[1];
            if (m0 == MODE_MARKER_EMPTY || m1 == MODE_MARKER_EMPTY) {
                action = Delete;
                ram_wr16(store->ram_image, ram_mode_save_request, 0);
            } else if (m0 == MODE_MARKER_SAVED || m1 == MODE_MARKER_SAVED) {
                action = Write;
            }
        }
        // A mode file that cannot be written leaves the slot as its file is (the old mode, or
        // empty), so a tool that reads the slot's marker back learns that it was not kept.
        if (action == Write && !write_mode_file(store, slot, 1))
            store->mode_file_deal(slot, 0);
        else if (action == Delete)
            store->mode_file_deal(slot, 1);
    }
}

}  // namespace

// Writes image 0x300..0xFFF to the parameter file when the image differs from the shadow.
// Nothing is persisted while a change waits for the scaler, so the file holds only what the
// wall has been given; the signal of the next apply pass persists it. (The scaler finds its
// changes against its own applied copy, so the shadow may lag behind it.) A failed write
// leaves the shadow as it was: the retry and the next change signal try again.
SyncUpdate::Stored SyncUpdate::persist(TlxRamPara* store)
{
    u8 snapshot[RAM_IMAGE_SIZE];
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        store->note_change_flag_seen();
        if (c331_shared::param_changed.load() != 0 || store->remote_write_pending())
            return Stored::Waiting;
        if (std::memcmp(store->ram_image, store->ram_shadow, RAM_IMAGE_SIZE) == 0)
            return Stored::Kept;
        std::memcpy(snapshot, store->ram_image, RAM_IMAGE_SIZE);
    }
    if (g_debugSwitch == 254)
        std::printf("\n ram_para diffrent !");
    bool ok;
    int err;
    {
        QMutexLocker fl(&Utils::_file_deal_mutex);
        ok = store_files::write_param_file(snapshot + RAM_VOLATILE_END);
        err = errno;
    }
    if (!ok) {
        if (!failing_)
            writeLogMsg(LOG_ERROR, std::string("cannot write ") + store_files::kParamFile + " (" + std::strerror(err) +
                                       "): the settings are kept in memory and the write is tried again");
        failing_ = true;
        ++failed_tries_;
        // The back-off of the retry: 1 s, then doubled up to kRetryMaxTicks.
        retry_gap_ = retry_gap_ == 0 ? kRetryFirstTicks : std::min(retry_gap_ * 2, kRetryMaxTicks);
        retry_at_ = G_timeTicks.load() + retry_gap_;
        // A change not yet reported as lost is told to the panel once.
        const bool news = std::memcmp(snapshot, failed_snapshot_, RAM_IMAGE_SIZE) != 0;
        std::memcpy(failed_snapshot_, snapshot, RAM_IMAGE_SIZE);
        return news ? Stored::Failed : Stored::FailedAgain;
    }
    platform::board().shell().run("sync");
    if (failing_)
        writeLogMsg(LOG_INFO, std::string(store_files::kParamFile) + " written after " + std::to_string(failed_tries_) +
                                  " failed attempts");
    failing_ = false;
    failed_tries_ = 0;
    retry_gap_ = 0;
    std::memset(failed_snapshot_, 0, RAM_IMAGE_SIZE);
    QMutexLocker lk(&c331_shared::c331_lock);
    std::memcpy(store->ram_shadow, snapshot, RAM_IMAGE_SIZE);
    return Stored::Kept;
}

// The panel's tips follow what was kept: a tip the panel asked for (a mode saved or recalled,
// a new LED size) waits for the store's result and shows the check mark only when it was
// kept, else the "not saved" tip; a change the parameter file could not take shows that tip
// even when no tip was asked for.
void SyncUpdate::report(Stored result)
{
    if (result == Stored::Waiting)
        return;
    const bool asked = shell_hooks::take_pending_tip && shell_hooks::take_pending_tip();
    int kind = 0;
    if (result == Stored::Kept)
        kind = asked ? kTipKept : 0;
    else if (result == Stored::Failed || asked)
        kind = kTipNotKept;
    if (kind && shell_hooks::tip_create)
        shell_hooks::tip_create(kind);
}

void SyncUpdate::para_sync(int code)
{
    TlxRamPara* store = TlxRamPara::p_tlxrampara_config;
    if (!store)
        return;
    refresh_page(store);
    const ModeSave mode = pending_mode_save(store);
    if (code == 2)
        remote_slot_change(store);
    const Stored stored = persist(store);
    report(mode == ModeSave::Failed ? Stored::Failed : stored);
}

void SyncUpdate::retry_tick()
{
    TlxRamPara* store = TlxRamPara::p_tlxrampara_config;
    if (!failing_ || !store || static_cast<int32_t>(G_timeTicks.load() - retry_at_) < 0)
        return;
    report(persist(store));
}
