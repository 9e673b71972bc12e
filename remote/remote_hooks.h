#pragma once
// Requests the remote handlers pass to other components. The scaler's debug dump and OSD
// reload are called directly. The input supervision's SDI reset and the scaler's font reload
// belong to components that install their handler with set_hook() when they start; until
// one is installed the request is logged and dropped.
#include <cstdint>

namespace remote {

// Register 161 bit 1: full scaler register dump, on the receiving thread.
void hook_c331_print();
// Ask the scaler's apply pass to reload the OSD menu file (g_osd_update := 1).
void hook_osd_update();

// Requests served by a handler that its owner installs.
enum class Hook {
    SdiReset,     // register 17 bit 0: SDI receiver reset pulse (zeltasource::sdi_reset_request := 1)
    ReloadFonts,  // register 14 bit 3: reload the scaler fonts
};
using HookFn = void (*)();

// Installs (or, with null, removes) the handler of a request. Any thread, any time.
void set_hook(Hook hook, HookFn fn);
// Runs the installed handler; without one, a DEBUG log line.
void run_hook(Hook hook);

}  // namespace remote
