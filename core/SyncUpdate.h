#pragma once
// Page refresh and persistence after a change of the parameter image. TlxRamPara's
// sig_update_para(int) is connected to para_sync, which therefore runs on the GUI thread.
#include <QObject>

#include "core/ram_map.h"

class TlxRamPara;

class SyncUpdate : public QObject {
    Q_OBJECT
public:
    static SyncUpdate* pInstance();
    static SyncUpdate* p_SyncUpdate;

    // The tips shell_hooks::tip_create is asked for: the check mark, "not saved", and "the
    // mode was saved, the settings were not" (a user mode's file kept, the parameter file not).
    static constexpr int kTipKept = 1;
    static constexpr int kTipNotKept = 2;
    static constexpr int kTipModeOnlyKept = 3;
    // While the parameter file cannot be written, the write is tried again after 1 s, then
    // at doubling intervals up to one minute (panel ticks of 10 ms), until it succeeds.
    static constexpr uint32_t kRetryFirstTicks = 100;
    static constexpr uint32_t kRetryMaxTicks = 6000;

    // One panel tick: tries the parameter file again when a write failed and its retry is due.
    void retry_tick();
    // True while the image holds changes the parameter file could not take.
    bool store_failing() const { return failing_; }

    // For a remote handler that must answer whether its change was stored (any thread). Taken
    // under c331_lock right after the change was written and its flag raised: the ticket of
    // the next persistence, which copies the image with that change in it.
    static uint32_t store_ticket_locked();
    enum class StoreResult { Kept, Failed, TimedOut };
    // Waits (without c331_lock) until a persistence taken after `ticket` has ended, at most
    // `bound_ms`: Kept when the parameter file holds the image's settings, Failed when the
    // write failed, TimedOut when none ended in time (the apply pass or the panel thread did
    // not come to it).
    static StoreResult wait_for_store(uint32_t ticket, uint32_t bound_ms);

public slots:
    // code 1: parameters changed; code 2: the user-mode slots were changed remotely.
    void para_sync(int code);

private:
    SyncUpdate() = default;

    // Kept: written, or nothing to write; Waiting: a change still waits for the scaler;
    // Failed: the write failed for a change not reported before; FailedAgain: a retry of one.
    enum class Stored { Kept, Waiting, Failed, FailedAgain };
    Stored persist(TlxRamPara* store);
    void report(Stored result, bool mode_saved = false);
    // The file holds the image's settings: no retry waits.
    void store_kept();

    // Publishes the end of persistence `ticket` to wait_for_store.
    static void publish_result(uint32_t ticket, bool kept);
    // True when the snapshot holds a change a user or a tool asked for since the last result
    // that the file does not hold (a byte changed since then to a value the shadow lacks).
    bool asked_change_in(const uint8_t* snapshot, const uint8_t* shadow, uint32_t asked) const;

    bool failing_ = false;
    bool write_error_logged_ = false;  // since the file was last written
    uint32_t asked_seen_ = 0;  // c331_shared::asked_changes covered by the last result
    uint32_t failed_tries_ = 0;
    uint32_t retry_gap_ = 0;
    uint32_t retry_at_ = 0;
    uint8_t failed_snapshot_[RAM_IMAGE_SIZE] = {};
};
