#pragma once
// Every absolute device path ("/data/...", "/etc/...", "/dev/...") goes through rooted():
// it is resolved under the directory named by K57_ROOT (unset or empty: "/").
#include <string>

namespace platform {

// The device root, without a trailing slash ("" for "/").
const std::string& root();
// Re-reads K57_ROOT; for tests that switch roots inside one process.
void reload_root();
// "/data/x" -> "<root>/data/x". A relative path is returned unchanged.
std::string rooted(const std::string& abs_path);

}  // namespace platform
