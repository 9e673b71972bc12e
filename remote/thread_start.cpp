#include "remote/thread_start.h"

#include <cstdio>
#include <string>
#include <system_error>
#include <thread>

#include "core/log.h"

namespace remote {

bool start_thread(const char* component, const char* thread, std::function<void()> body)
{
    try {
        std::thread(std::move(body)).detach();
        return true;
    } catch (const std::system_error&) {
        std::printf("\n %s: %s start failed\n", component, thread);
        writeLogMsg(LOG_ERROR, std::string(component) + ": " + thread + " start failed");
        return false;
    }
}

}  // namespace remote
