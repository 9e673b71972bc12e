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

    // The tips shell_hooks::tip_create is asked for: the check mark, and "not saved".
    static constexpr int kTipKept = 1;
    static constexpr int kTipNotKept = 2;
    // While the parameter file cannot be written, the write is tried again after 1 s, then
    // at doubling intervals up to one minute (panel ticks of 10 ms), until it succeeds.
    static constexpr uint32_t kRetryFirstTicks = 100;
    static constexpr uint32_t kRetryMaxTicks = 6000;

    // One panel tick: tries the parameter file again when a write failed and its retry is due.
    void retry_tick();
    // True while the image holds changes the parameter file could not take.
    bool store_failing() const { return failing_; }

public slots:
    // code 1: parameters changed; code 2: the user-mode slots were changed remotely.
    void para_sync(int code);

private:
    SyncUpdate() = default;

    // Kept: written, or nothing to write; Waiting: a change still waits for the scaler;
    // Failed: the write failed for a change not reported before; FailedAgain: a retry of one.
    enum class Stored { Kept, Waiting, Failed, FailedAgain };
    Stored persist(TlxRamPara* store);
    void report(Stored result);

    bool failing_ = false;
    uint32_t failed_tries_ = 0;
    uint32_t retry_gap_ = 0;
    uint32_t retry_at_ = 0;
    uint8_t failed_snapshot_[RAM_IMAGE_SIZE] = {};
};
