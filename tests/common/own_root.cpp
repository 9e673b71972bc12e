// Linked into every test program: one started by hand, without K57_ROOT, gets a temporary
// directory of its own before anything runs, laid out as the CTest wrapper (in_temp_root) lays
// its own: the device root (K57_ROOT) is <dir>/root and TMPDIR, where the tests make their own
// roots, is <dir>/tmp. So nothing it logs or stores reaches the machine's device paths ("/data",
// "/etc", ...), and what a death-test child leaves (it ends without running destructors) is
// removed with <dir> when the program ends, however it ends: a signal (Ctrl-C, SIGTERM, a
// time-out's SIGKILL) or a crash skips the destructor below, so a small watcher process started
// first removes <dir> once this program and every child forked from it without exec have gone.
// Under CTest the wrapper has already set both.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

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
        start_watcher();
    }

    // A shell reading a pipe whose only write end this process holds (close-on-exec, so the
    // devices a test starts do not keep it): at end of file it removes <dir>. It ignores the
    // terminal's signals, which reach the whole process group on Ctrl-C.
    void start_watcher()
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return;
        const int null_fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        const char* argv[] = {"/bin/sh", "-c", "cat >/dev/null; rm -rf -- \"$1\"", "k57-own-root",
                              dir.c_str(), nullptr};
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::signal(SIGINT, SIG_IGN);
            ::signal(SIGQUIT, SIG_IGN);
            ::signal(SIGHUP, SIG_IGN);
            ::signal(SIGTERM, SIG_IGN);
            ::dup2(fds[0], STDIN_FILENO);
            if (null_fd >= 0) {
                ::dup2(null_fd, STDOUT_FILENO);
                ::dup2(null_fd, STDERR_FILENO);
            }
            if (::chdir("/") != 0)
                ::_exit(127);
            ::setsid();
            ::execv(argv[0], const_cast<char**>(argv));
            ::_exit(127);
        }
        ::close(fds[0]);
        if (null_fd >= 0)
            ::close(null_fd);
        if (pid < 0)
            ::close(fds[1]);
        // fds[1] stays open until this process ends.
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
