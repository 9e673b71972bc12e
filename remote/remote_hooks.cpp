#include "remote/remote_hooks.h"

#include "scaler/c331_manage.h"

namespace remote {

void hook_c331_print()
{
    if (c331_manage::p_c331_manage)
        c331_manage::p_c331_manage->c331_print();
}

void hook_osd_update() { c331_manage::g_osd_update = 1; }

}  // namespace remote
