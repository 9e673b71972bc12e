// Page refresh and persistence after a change of the parameter image (GUI thread).
#include "core/SyncUpdate.h"

#include <QMutexLocker>
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

constexpr int kPageMain = 1;

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
    if (page == kPageMain && shell_hooks::take_pending_tip && shell_hooks::take_pending_tip() && shell_hooks::tip_create)
        shell_hooks::tip_create(1);
}

void write_mode_file(int slot, int from_sync)
{
    if (shell_hooks::mode_file_write)
        shell_hooks::mode_file_write(slot, from_sync);
}

// Marks the slot saved with a copy of image 0x380..0xFFF. Caller holds c331_lock.
void fill_slot_from_image(TlxRamPara* store, int slot)
{
    MODE_SLOT& ms = store->mode_slot[slot];
    ms.mark(MODE_MARKER_SAVED);
    ms.copy_in(MODE_SLOT_IMAGE, store->ram_image + RAM_MODE_BASE, RAM_MODE_LEN);
}

// A save request of 1..16 stores the image into that mode; any other value is cleared.
void pending_mode_save(TlxRamPara* store)
{
    int slot = -1;
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        const u16 r = ram_rd16(store->ram_image, ram_mode_save_request);
        if (r > MODE_SLOTS) {
            writeLogMsg(LOG_WARNING, "mode save request " + std::to_string(r) + " names no mode: cleared");
            ram_wr16(store->ram_image, ram_mode_save_request, 0);
            return;
        }
        if (r == 0 || r == ram_rd16(store->ram_shadow, ram_mode_save_request))
            return;
        slot = r - 1;
        fill_slot_from_image(store, slot);
        ram_wr16(store->ram_image, ram_current_mode, r);
        ram_wr16(store->ram_image, ram_mode_save_request, 0);
    }
    write_mode_file(slot, 0);
    if (g_debugSwitch == 254)
        std::printf("\n user mode save change ,%#x \n", ram_rd8(store->mode_slot[slot].bytes[0]));
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
                fill_slot_from_image(store, slot);
            }
        }
        if (action == Write)
            write_mode_file(slot, 1);
        else if (action == Delete)
            store->mode_file_deal(slot, 1);
    }
}

// Writes image 0x300..0xFFF to the parameter file when the image differs from the shadow.
// Nothing is persisted while a change waits for the scaler, so the file holds only what the
// wall has been given; the signal of the next apply pass persists it. (The scaler finds its
// changes against its own applied copy, so the shadow may lag behind it.)
void persist(TlxRamPara* store)
{
    u8 snapshot[RAM_IMAGE_SIZE];
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        store->note_change_flag_seen();
        if (c331_shared::param_changed.load() != 0 || store->remote_write_pending())
            return;
        if (std::memcmp(store->ram_image, store->ram_shadow, RAM_IMAGE_SIZE) == 0)
            return;
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
        writeLogMsg(LOG_ERROR, std::string("cannot write ") + store_files::kParamFile + " (" + std::strerror(err) +
                                   "): kept for the next change signal");
        return;
    }
    platform::board().shell().run("sync");
    QMutexLocker lk(&c331_shared::c331_lock);
    std::memcpy(store->ram_shadow, snapshot, RAM_IMAGE_SIZE);
}

}  // namespace

void SyncUpdate::para_sync(int code)
{
    TlxRamPara* store = TlxRamPara::p_tlxrampara_config;
    if (!store)
        return;
    refresh_page(store);
    pending_mode_save(store);
    if (code == 2)
        remote_slot_change(store);
    persist(store);
}
