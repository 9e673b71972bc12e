#pragma once
// Starting the remote component's threads: detached, running for the life of the process.
#include <functional>

namespace remote {

// Starts `body` on a detached thread. When the thread cannot be created, prints and logs
// "<component>: <thread> start failed" and returns false.
bool start_thread(const char* component, const char* thread, std::function<void()> body);

}  // namespace remote
