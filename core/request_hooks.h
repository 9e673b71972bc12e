#pragma once
// Requests that arrive over the remote protocol but are served by a component the remote
// side does not link against (the input supervision, the scaler's OSD and flash). The owner
// installs its handler when it starts; until one is installed the request is logged and
// dropped (or refused, for the flash).
#include <cstdint>

namespace remote {

enum class Hook {
    SdiReset,     // register 17 bit 0: SDI receiver reset pulse (zeltasource::sdi_reset_request := 1)
    ReloadFonts,  // register 14 bit 3: reload the scaler fonts
};
using HookFn = void (*)();

// Installs (or, with null, removes) the handler of a request. Any thread, any time.
void set_hook(Hook hook, HookFn fn);
// Runs the installed handler; without one, a DEBUG log line.
void run_hook(Hook hook);

// The scaler chip's own serial flash (remote flash commands whose address has top byte 0x00).
// Addresses are flash byte addresses. Each returns 0 when done, -1 on failure or time-out.
struct FlashOps {
    int (*read)(uint32_t address, uint8_t* out, uint32_t length);
    int (*write)(uint32_t address, const uint8_t* data, uint32_t length);
    // kind 0: 4 KiB units, 1: 32 KiB, 2: 64 KiB; count units from the unit holding address.
    int (*erase)(uint32_t address, uint32_t count, uint8_t kind);
};
// Installs (null removes) the scaler flash; the pointed-to table must outlive its use.
void set_scaler_flash(const FlashOps* ops);
// The installed table, or null (the remote side then answers "not available").
const FlashOps* scaler_flash();

}  // namespace remote
