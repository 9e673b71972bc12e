#include "remote/remote_hooks.h"

#include "core/log.h"
#include "scaler/c331_manage.h"

namespace remote {

void hook_c331_print()
{
    if (c331_manage::p_c331_manage)
        c331_manage::p_c331_manage->c331_print();
}

void hook_osd_update() { c331_manage::g_osd_update = 1; }

// Weak defaults for requests whose components come with later work (the input supervision's
// SDI reset, the scaler's font reload): a strong definition in that component replaces them.
__attribute__((weak)) void hook_sdi_reset()
{
    writeLogMsg(LOG_DEBUG, "remote: SDI receiver reset not available");
}

__attribute__((weak)) void hook_reload_fonts()
{
    writeLogMsg(LOG_DEBUG, "remote: scaler font reload not available");
}

}  // namespace remote
