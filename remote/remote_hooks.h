#pragma once
// Requests the remote handlers pass to other components. The scaler's debug dump and OSD
// reload are called directly; the requests whose owners install a handler are in
// core/request_hooks.h.
#include "core/request_hooks.h"

namespace remote {

// Register 161 bit 1: full scaler register dump, on the receiving thread.
void hook_c331_print();
// Ask the scaler's apply pass to reload the OSD menu file (g_osd_update := 1).
void hook_osd_update();

}  // namespace remote
