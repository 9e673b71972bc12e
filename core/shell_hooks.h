#pragma once
// What the persistence slot (SyncUpdate::para_sync) needs from the front-panel shell without
// linking to it. The shell installs these when its main window exists and resets them
// (to empty functions) when it goes away. GUI thread only.
//
// When a hook is not installed para_sync does the least it can: the slots are still updated
// in memory, no user-mode file is written (the slot's old file, if any, stays until the next
// save), and no tip is shown; persistence of the parameter image is not affected.
#include <functional>

namespace shell_hooks {

// MainWindow::mode_file_write(slot, from_sync): copies image 0x380..0xFFF into the slot,
// marks it saved and writes "/data/modes/custom_mode<slot+1>". Returns 1 written, 0 failed.
extern std::function<int(int slot, int from_sync)> mode_file_write;

// Reads and clears the main window's pending-tip mark (set by its user-mode save or recall).
extern std::function<bool()> take_pending_tip;

// TIP::tip_create(kind) on g_tip: shows the tip pop-up (kind 1 after a mode save or recall).
extern std::function<void(int kind)> tip_create;

}  // namespace shell_hooks
