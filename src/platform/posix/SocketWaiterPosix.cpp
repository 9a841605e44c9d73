#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "SocketWaiter.h"

struct SocketWaiter::Impl {
  int socket;
  int wake_fd;  // eventfd, non-blocking: a count above 0 means "woken"
};

SocketWaiter::SocketWaiter(sock_t s) : impl_(new Impl{s, eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)}) {}

SocketWaiter::~SocketWaiter() {
  if (impl_->wake_fd >= 0) close(impl_->wake_fd);
  delete impl_;
}

bool SocketWaiter::valid() const { return impl_->wake_fd >= 0; }

int SocketWaiter::wait(int ms, bool watch_socket) {
  if (impl_->wake_fd < 0) return -1;
  pollfd fds[2];
  fds[0].fd = impl_->wake_fd;
  fds[0].events = POLLIN;
  fds[0].revents = 0;
  fds[1].fd = impl_->socket;
  fds[1].events = POLLIN;
  fds[1].revents = 0;
  int rc;
  do {
    rc = poll(fds, watch_socket ? 2 : 1, ms < 0 ? -1 : ms);
  } while (rc < 0 && errno == EINTR);
  if (rc < 0) return -1;
  int result = 0;
  if (fds[0].revents != 0) {
    uint64_t count;
    // Resets the count; a wake arriving after this read stays for the next wait.
    while (read(impl_->wake_fd, &count, sizeof(count)) < 0 && errno == EINTR) {
    }
    result |= kWoken;
  }
  // POLLHUP and POLLERR count as readable: the receive reports them.
  if (watch_socket && fds[1].revents != 0) result |= kReadable;
  return result;
}

void SocketWaiter::wake() {
  uint64_t one = 1;
  // Fails only when the count would overflow, which still leaves it set.
  while (write(impl_->wake_fd, &one, sizeof(one)) < 0 && errno == EINTR) {
  }
}
