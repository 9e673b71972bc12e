#pragma once
// Waiting for descriptors with a time-out on the platform clock, so that one time scale
// (K57_TIME_SCALE on the simulated board) applies to these waits as to every sleep.
#include <poll.h>
#include <sys/epoll.h>

namespace platform {

// poll(2) with `timeout_ms` measured on the platform clock (-1: none); returns what poll did.
int poll_fds(pollfd* fds, nfds_t count, int timeout_ms);
// epoll_wait(2) likewise.
int epoll_wait_fds(int epoll_fd, epoll_event* events, int max, int timeout_ms);

}  // namespace platform
