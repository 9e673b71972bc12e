// Page refresh and persistence after a change of the parameter image (GUI thread).
#include "core/SyncUpdate.h"

#include <QMutexLocker>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/TlxRamPara.h"
#include "core/c331_shared.h"
#include "core/log.h"
#include "core/page_registry.h"
#include "core/pending_writes.h"
#include "core/store_files.h"
#include "core/shell_hooks.h"
#include "core/utils.h"
#include "platform/board.h"
#include "platform/clock.h"

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
    QMutexLocker lk(&c331_shared::c331_lock);
    store->end_remote_slot_change();
}

}  // namespace

namespace {
// The persistences taken (under c331_lock) and the last one ended, for wait_for_store.
std::atomic<uint32_t> g_store_tickets{0};
std::mutex g_result_mutex;
std::condition_variable g_result_cv;
uint32_t g_result_ticket = 0;  // under g_result_mutex
bool g_result_kept = true;     // under g_result_mutex

// Whether input p's record in `image` is the timing its EEPROM was found to hold after a
// write it did not keep (caller holds c331_lock).
bool eeprom_holds(const u8* image, int p)
{
    const c331_shared::EepromHeld& held = c331_shared::eeprom_held[p];
    const uint32_t a = ram_edid_addr(p);
    return held.valid && ram_rd16(image, a) == held.timing[0] && ram_rd16(image, a + 2) == held.timing[1] &&
           ram_rd16(image, a + 4) == held.timing[2];
}

// The EDID records the file could not take are set back to the ones it holds (the shadow's),
// unless a newer record came meanwhile or the record is what an EEPROM that did not keep a
// write holds: the apply pass then writes the EEPROMs from them again, so what a source is
// offered is what the record shows, now and after a restart.
void set_back_edid_records(TlxRamPara* store, const u8* snapshot, const u8* shadow)
{
    QMutexLocker lk(&c331_shared::c331_lock);
    bool any = false;
    for (int p = 0; p < RAM_INPUTS; ++p) {
        const uint32_t a = ram_edid_addr(p);
        if (std::memcmp(snapshot + a, shadow + a, RAM_EDID_STRIDE) == 0 ||
            std::memcmp(store->ram_image + a, snapshot + a, RAM_EDID_STRIDE) != 0 || eeprom_holds(snapshot, p))
            continue;
        for (uint32_t o = 0; o < RAM_EDID_STRIDE; o += 2)
            ram_wr16(store->ram_image, a + o, ram_rd16(shadow, a + o));
        writeLogMsg(LOG_WARNING, "EDID record of input " + std::to_string(p) + " set back to " +
                                     std::to_string(ram_rd16(shadow, a)) + "x" + std::to_string(ram_rd16(shadow, a + 2)) +
                                     "@" + std::to_string(ram_rd16(shadow, a + 4)) +
                                     ", the one the parameter file holds: the new one was not stored");
        any = true;
    }
    if (any)
        c331_raise_own_change_locked(1);
}
}  // namespace

uint32_t SyncUpdate::store_ticket_locked() { return g_store_tickets.load(); }

void SyncUpdate::publish_result(uint32_t ticket, bool kept)
{
    {
        std::lock_guard<std::mutex> lk(g_result_mutex);
        g_result_ticket = ticket;
        g_result_kept = kept;
    }
    g_result_cv.notify_all();
}

SyncUpdate::StoreResult SyncUpdate::wait_for_store(uint32_t ticket, uint32_t bound_ms)
{
    const uint64_t start = platform::clock().now_us();
    std::unique_lock<std::mutex> lk(g_result_mutex);
    for (;;) {
        if (static_cast<int32_t>(g_result_ticket - ticket) > 0)
            return g_result_kept ? StoreResult::Kept : StoreResult::Failed;
        const uint64_t waited = platform::clock().now_us() - start;
        if (waited >= uint64_t(bound_ms) * 1000)
            return StoreResult::TimedOut;
        platform::clock().wait_us(g_result_cv, lk, std::min<uint64_t>(uint64_t(bound_ms) * 1000 - waited, 10000));
    }
}

bool SyncUpdate::asked_change_in(const u8* snapshot, const u8* shadow, uint32_t asked) const
{
    if (asked == asked_seen_)
        return false;
    // The last result's image: the shadow when it was kept, else the snapshot that failed.
    const u8* before = failing_ ? failed_snapshot_ : shadow;
    for (uint32_t a = RAM_VOLATILE_END; a < RAM_IMAGE_SIZE; ++a)
        if (snapshot[a] != before[a] && snapshot[a] != shadow[a])
            return true;
    return false;
}

// Writes image 0x300..0xFFF to the parameter file when it differs from the shadow's. Nothing
// is persisted while a change waits for the scaler, so the file holds only what the wall has
// been given; the signal of the next apply pass persists it. (The scaler finds its changes
// against its own applied copy, so the shadow may lag behind it.) The volatile part (the
// inputs' measured timings) is never written: a change of it only reaches the shadow. A
// failed write leaves the shadow as it was: the retry and the next change signal try again.
// A tool that toggles a setting as fast as it can while the file fails must not push the log
// out: the error is logged once until the file is written, the other lines are warnings,
// limited by kind.
SyncUpdate::Stored SyncUpdate::persist(TlxRamPara* store)
{
    u8 snapshot[RAM_IMAGE_SIZE];
    u8 shadow[RAM_IMAGE_SIZE];
    bool unchanged;
    uint32_t asked;
    uint32_t ticket;
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        store->note_change_flag_seen();
        if (c331_shared::param_changed.load() != 0 || store->remote_write_pending())
            return Stored::Waiting;
        ticket = g_store_tickets.fetch_add(1) + 1;
        asked = c331_shared::asked_changes.load();
        unchanged = std::memcmp(store->ram_image + RAM_VOLATILE_END, store->ram_shadow + RAM_VOLATILE_END,
                                RAM_PERSIST_LEN) == 0;
        // The file holds what it held: the shadow follows the volatile part.
        std::memcpy(unchanged ? store->ram_shadow : snapshot, store->ram_image, RAM_IMAGE_SIZE);
        if (!unchanged)
            std::memcpy(shadow, store->ram_shadow, RAM_IMAGE_SIZE);
    }
    if (unchanged) {
        // The file holds what the image holds (a change not kept was undone): nothing waits.
        if (failing_) {
            writeLogMsg(LOG_WARNING, std::string(store_files::kParamFile) + " holds the settings again");
            store_kept();
        }
        asked_seen_ = asked;
        publish_result(ticket, true);
        return Stored::Kept;
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
        if (!write_error_logged_)
            writeLogMsg(LOG_ERROR, std::string("cannot write ") + store_files::kParamFile + " (" + std::strerror(err) +
                                       "): the settings are kept in memory and the write is tried again");
        // Told to the panel once: a change a user or a tool asked for, not a value the device
        // filled in itself (a layout computed at start), and not the same change again.
        const bool news = asked_change_in(snapshot, shadow, asked);
        failing_ = true;
        write_error_logged_ = true;
        ++failed_tries_;
        // The back-off of the retry: 1 s, then doubled up to kRetryMaxTicks.
        retry_gap_ = retry_gap_ == 0 ? kRetryFirstTicks : std::min(retry_gap_ * 2, kRetryMaxTicks);
        retry_at_ = G_timeTicks.load() + retry_gap_;
        asked_seen_ = asked;
        std::memcpy(failed_snapshot_, snapshot, RAM_IMAGE_SIZE);
        set_back_edid_records(store, snapshot, shadow);
        publish_result(ticket, false);
        return news ? Stored::Failed : Stored::FailedAgain;
    }
    platform::board().shell().run("sync");
    write_error_logged_ = false;
    if (failing_)
        writeLogMsg(LOG_INFO, std::string(store_files::kParamFile) + " written after " + std::to_string(failed_tries_) +
                                  " failed attempts");
    store_kept();
    asked_seen_ = asked;
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        std::memcpy(store->ram_shadow, snapshot, RAM_IMAGE_SIZE);
    }
    publish_result(ticket, true);
    return Stored::Kept;
}

void SyncUpdate::store_kept()
{
    failing_ = false;
    failed_tries_ = 0;
    retry_gap_ = 0;
}

// The panel's tips follow what was kept: a tip the panel asked for (a mode saved or recalled,
// a new LED size) waits for the store's result and shows the check mark only when it was
// kept, else the "not saved" tip; a change the parameter file could not take shows that tip
// even when no tip was asked for.
void SyncUpdate::report(Stored result, bool mode_saved)
{
    if (result == Stored::Waiting)
        return;
    const bool asked = shell_hooks::take_pending_tip && shell_hooks::take_pending_tip();
    int kind = 0;
    if (result == Stored::Kept)
        kind = asked ? kTipKept : 0;
    else if (mode_saved)
        kind = kTipModeOnlyKept;  // the mode's file was kept: the tip says so
    else if (result == Stored::Failed || asked)
        kind = kTipNotKept;
    if (kind == kTipNotKept || kind == kTipModeOnlyKept)
        writeLogMsg(LOG_WARNING, kind == kTipNotKept ? "front panel: told \"not saved\""
                                                  : "front panel: told \"mode saved, settings not\"");
    if (kind && shell_hooks::tip_create)
        shell_hooks::tip_create(kind);
}

void SyncUpdate::para_sync(int code)
{
    TlxRamPara* store = TlxRamPara::p_tlxrampara_config;
    if (!store)
        return;
    ModeSave mode;
    {
        // A restart waits for the mode files as for the parameter file.
        pending_writes::StoreUnderWay mode_files;
        const u32 asked = store->slot_changes_asked();  // before the marks are taken
        mode = pending_mode_save(store);
        if (code == 2) {
            remote_slot_change(store);
            store->note_slot_changes_done(asked);
        }
    }
    // After the slots and the current mode took the change: the page shows what they hold.
    refresh_page(store);
    const Stored stored = persist(store);
    report(mode == ModeSave::Failed ? Stored::Failed : stored, mode == ModeSave::Saved);
}

void SyncUpdate::retry_tick()
{
    TlxRamPara* store = TlxRamPara::p_tlxrampara_config;
    if (!failing_ || !store)
        return;
    if (!pending_writes::restart_waiting() && static_cast<int32_t>(G_timeTicks.load() - retry_at_) < 0)
        return;
    report(persist(store));
}
