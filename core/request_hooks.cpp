#include "core/request_hooks.h"

#include <atomic>
#include <string>

#include "core/log.h"

namespace remote {
namespace {

constexpr int kHookCount = 2;
std::atomic<HookFn> g_hooks[kHookCount];
const char* const kHookNames[kHookCount] = {"SDI receiver reset", "scaler font reload"};
std::atomic<const FlashOps*> g_scaler_flash{nullptr};

}  // namespace

void set_hook(Hook hook, HookFn fn) { g_hooks[int(hook)] = fn; }

void run_hook(Hook hook)
{
    if (HookFn fn = g_hooks[int(hook)].load())
        fn();
    else
        writeLogMsg(LOG_DEBUG, std::string("remote: ") + kHookNames[int(hook)] + " not available");
}

void set_scaler_flash(const FlashOps* ops) { g_scaler_flash = ops; }

const FlashOps* scaler_flash() { return g_scaler_flash.load(); }

}  // namespace remote
