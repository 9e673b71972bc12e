// Linked into every test program: one started by hand, without K57_ROOT, gets a temporary
// directory of its own before anything runs, laid out as the CTest wrapper (in_temp_root) lays
// its own: the device root (K57_ROOT) is <dir>/root and TMPDIR, where the tests make their own
// roots, is <dir>/tmp. So nothing it logs or stores reaches the machine's device paths ("/data",
// "/etc", ...), and what a death-test child leaves (it ends without running destructors) is
// removed with <dir> when the program ends. Under CTest the wrapper has already set both.
#include <sys/stat.h>

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
        const std::string root = dir + "/root", tmpdir = dir + "/tmp";
        if (::mkdir(root.c_str(), 0700) != 0 || ::mkdir(tmpdir.c_str(), 0700) != 0)
            std::abort();
        ::setenv("K57_ROOT", root.c_str(), 1);
        ::setenv("TMPDIR", tmpdir.c_str(), 1);
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
