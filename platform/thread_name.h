#pragma once
// Names the calling thread after its job, so that ps -L, top -H and a debugger tell the
// device's threads apart. Called once, as the first line of each thread the device starts.
namespace platform {

// The kernel keeps at most kThreadNameMax characters; a longer name is cut.
constexpr unsigned kThreadNameMax = 15;
void name_this_thread(const char* name);

}  // namespace platform
