// The device root: every absolute device path is resolved under $K57_ROOT.
#include "platform/paths.h"

#include <cstdlib>

namespace platform {
namespace {

std::string read_root()
{
    const char* env = std::getenv("K57_ROOT");
    std::string r = env ? env : "";
    while (!r.empty() && r.back() == '/')
        r.pop_back();  // "/" and "" both mean the real root
    return r;
}

// Never destroyed: the device's threads still resolve paths while the process exits.
std::string& root_storage()
{
    static std::string& r = *new std::string(read_root());
    return r;
}

}  // namespace

const std::string& root() { return root_storage(); }

void reload_root() { root_storage() = read_root(); }

std::string rooted(const std::string& abs_path)
{
    if (abs_path.empty() || abs_path[0] != '/')
        return abs_path;
    return root() + abs_path;
}

}  // namespace platform
