#include "platform/fd_wait.h"

#include "platform/clock.h"

namespace platform {

int poll_fds(pollfd* fds, nfds_t count, int timeout_ms)
{
    return ::poll(fds, count, clock().real_wait_ms(timeout_ms));
}

int epoll_wait_fds(int epoll_fd, epoll_event* events, int max, int timeout_ms)
{
    return ::epoll_wait(epoll_fd, events, max, clock().real_wait_ms(timeout_ms));
}

}  // namespace platform
