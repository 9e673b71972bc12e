#pragma once
// What the persistence slot (SyncUpdate::para_sync) needs from the front-panel shell without
// linking to it. The shell installs these when its main window exists and resets them
// (to empty functions) when it goes away. GUI thread only.
//
// When a hook is not installed para_sync does without it: the mode files are written by the
// store itself, and no tip is shown; persistence of the parameter image is not affected.
#include <functional>

namespace shell_hooks {

// MainWindow::mode_file_write(slot, from_sync): TlxRamPara::mode_file_save, the slot taking
// image 0x380..0xFFF and its saved marker only once "/data/modes/custom_mode<slot+1>" is
// written. Returns 1 written, 0 failed. Not installed: para_sync calls mode_file_save itself.
extern std::function<int(int slot, int from_sync)> mode_file_write;

// Reads and clears the main window's pending-tip mark (set by a user-mode save or recall, or a
// new LED size): the tip waits for the store's result.
extern std::function<bool()> take_pending_tip;

// TIP::tip_create(kind) on g_tip: shows the tip pop-up (kind 1, the check mark, for what was
// kept; kind 2, "not saved", for what the files could not take).
extern std::function<void(int kind)> tip_create;

}  // namespace shell_hooks
