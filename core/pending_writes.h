#pragma once
// What a restart must not cut short: a parameter change the parameter file has not taken
// yet, a remote user-mode slot change signalled and the mode files of para_sync being
// written, an EDID EEPROM write asked for or running, and a record store in a flash under way.
// Every reboot path lets them finish first, for a bounded time, so the next start finds whole
// files, EEPROMs and records.
#include <cstdint>

namespace pending_writes {

// The longest a reboot waits for the writes to finish.
constexpr uint32_t kBoundMs = 5000;
constexpr uint32_t kBoundTicks = kBoundMs / 10;

// True while a change waits for the apply pass or the parameter file, a remote slot change
// waits for para_sync, an EEPROM write is asked for or under way, or a StoreUnderWay is held
// (para_sync holds one while it writes or deletes mode files).
bool any();

// Held by a record store in a flash (the FPGA's LED page, on/off and brightness records) for
// its length: a restart asked for meanwhile (by another tool, whose frame is served beside the
// store) waits for it as for the files.
class StoreUnderWay {
public:
    StoreUnderWay();
    ~StoreUnderWay();
    StoreUnderWay(const StoreUnderWay&) = delete;
    StoreUnderWay& operator=(const StoreUnderWay&) = delete;
};
// Waits until any() is false or kBoundMs have passed; false (and a warning) on the time-out.
// Not for the panel thread: it writes the parameter file itself.
bool finish();

// True while a restart waits for the writes (finish(), or the panel's restart that marks its
// wait with set_restart_waiting): a parameter file that could not be written is then tried at
// every panel tick, not after its back-off, so a file that can be written again takes the
// change before the restart.
bool restart_waiting();
void set_restart_waiting(bool on);

}  // namespace pending_writes
