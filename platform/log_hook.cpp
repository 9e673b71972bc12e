// Platform messages, routed to the device log once the core installs its hook.
#include "platform/log_hook.h"

#include <cstdio>
#include <mutex>

namespace platform {
namespace {

std::mutex g_hook_mutex;
LogHook g_hook;

}  // namespace

void set_log_hook(LogHook hook)
{
    std::lock_guard<std::mutex> lk(g_hook_mutex);
    g_hook = std::move(hook);
}

void log(int level, const std::string& message)
{
    LogHook hook;
    {
        std::lock_guard<std::mutex> lk(g_hook_mutex);
        hook = g_hook;
    }
    if (hook)
        hook(level, message);
    else
        std::fprintf(stderr, "platform[%d]: %s\n", level, message.c_str());
}

void log_once(std::atomic_flag& flag, int level, const std::string& message)
{
    if (!flag.test_and_set())
        log(level, message);
}

}  // namespace platform
