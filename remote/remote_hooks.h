#pragma once
// Requests the remote handlers pass to other components: the scaler's debug dump and OSD
// reload, the input supervision's SDI reset and the scaler's font reload. The last two come
// with later work: their weak defaults in remote_hooks.cpp only log until a strong definition
// in the owning component replaces them.
#include <cstdint>

namespace remote {

// Register 161 bit 1: full scaler register dump, on the receiving thread.
void hook_c331_print();
// Ask the scaler's apply pass to reload the OSD menu file (g_osd_update := 1).
void hook_osd_update();
// Register 17 bit 0: SDI receiver reset pulse (zeltasource::sdi_reset_request := 1).
void hook_sdi_reset();
// Register 14 bit 3: reload the scaler fonts.
void hook_reload_fonts();

}  // namespace remote
