// The real shell, and the knob device.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/hw_board.h"
#include "platform/log_hook.h"

namespace platform {
namespace {

// system()/pclose() status -> exit status 0..255, or -1 when the shell could not run.
int exit_status(int raw)
{
    if (raw == -1)
        return -1;
    if (WIFEXITED(raw))
        return WEXITSTATUS(raw);
    if (WIFSIGNALED(raw))
        return 128 + WTERMSIG(raw);
    return -1;
}

}  // namespace

int HwShell::run(const std::string& cmdline) { return exit_status(std::system(cmdline.c_str())); }

std::string HwShell::capture(const std::string& cmdline, int* status)
{
    std::string out;
    FILE* p = popen(cmdline.c_str(), "r");
    if (!p) {
        if (status)
            *status = -1;
        return out;
    }
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    int raw = pclose(p);
    if (status)
        *status = exit_status(raw);
    return out;
}

int open_knob_device()
{
    static std::atomic_flag absent_logged = ATOMIC_FLAG_INIT;
    int fd = ::open(rooted("/dev/ec11").c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        log_once(absent_logged, kLogInfo, std::string("knob /dev/ec11 not available: ") + std::strerror(errno));
        return -1;
    }
    // The driver signals each turn or press with SIGIO; the UI owns the handler.
    int flags = fcntl(fd, F_GETFL);
    if (fcntl(fd, F_SETOWN, getpid()) < 0 || flags < 0 || fcntl(fd, F_SETFL, flags | O_ASYNC) < 0) {
        log(kLogError, std::string("knob /dev/ec11: can't arrange SIGIO: ") + std::strerror(errno));
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace platform
