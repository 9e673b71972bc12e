#include "remote/remote_hooks.h"

#include <atomic>

#include "core/log.h"
#include "scaler/c331_manage.h"

namespace remote {
namespace {

constexpr int kHookCount = 2;
std::atomic<HookFn> g_hooks[kHookCount];
const char* const kHookNames[kHookCount] = {"SDI receiver reset", "scaler font reload"};

}  // namespace

void hook_c331_print()
{
    if (c331_manage::p_c331_manage)
        c331_manage::p_c331_manage->c331_print();
}

void hook_osd_update() { c331_manage::g_osd_update = 1; }

void set_hook(Hook hook, HookFn fn) { g_hooks[int(hook)] = fn; }

void run_hook(Hook hook)
{
    if (HookFn fn = g_hooks[int(hook)].load())
        fn();
    else
        writeLogMsg(LOG_DEBUG, std::string("remote: ") + kHookNames[int(hook)] + " not available");
}

}  // namespace remote
