// Linked into every test program: one started by hand, without K57_ROOT, gets a temporary
// device root of its own before anything runs, so nothing it logs or stores reaches the
// machine's device paths ("/data", "/etc", ...). Under CTest the wrapper has already set one.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

struct OwnRoot {
    std::string dir;
    OwnRoot()
    {
        const char* set = std::getenv("K57_ROOT");
        if (set && *set)
            return;
        const char* tmp = std::getenv("TMPDIR");
        std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/k57test-XXXXXX";
        if (!::mkdtemp(tmpl.data()))
            std::abort();  // never fall back to the machine's own paths
        dir = tmpl;
        ::setenv("K57_ROOT", dir.c_str(), 1);
    }
    ~OwnRoot()
    {
        std::error_code ec;
        if (!dir.empty())
            std::filesystem::remove_all(dir, ec);
    }
};

const OwnRoot own_root;

}  // namespace
