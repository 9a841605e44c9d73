#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "SocketSetWaiter.h"

namespace {

const uint32_t kWakeTag = 0xffffffffu;

}  // namespace

struct SocketSetWaiter::Impl {
  int epoll_fd;
  int wake_fd;  // eventfd, non-blocking: a count above 0 means "woken"
  int socket[kCapacity];
  bool used[kCapacity];
};

SocketSetWaiter::SocketSetWaiter() : impl_(new Impl) {
  impl_->epoll_fd = epoll_create1(EPOLL_CLOEXEC);
  impl_->wake_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  for (int i = 0; i < kCapacity; ++i) impl_->used[i] = false;
  if (impl_->epoll_fd >= 0 && impl_->wake_fd >= 0) {
    epoll_event ev{};
    ev.events = EPOLLIN;  // level-triggered: wait() resets the count
    ev.data.u32 = kWakeTag;
    if (epoll_ctl(impl_->epoll_fd, EPOLL_CTL_ADD, impl_->wake_fd, &ev) != 0) {
      close(impl_->wake_fd);
      impl_->wake_fd = -1;
    }
  }
}

SocketSetWaiter::~SocketSetWaiter() {
  if (impl_->wake_fd >= 0) close(impl_->wake_fd);
  if (impl_->epoll_fd >= 0) close(impl_->epoll_fd);
  delete impl_;
}

bool SocketSetWaiter::valid() const { return impl_->epoll_fd >= 0 && impl_->wake_fd >= 0; }

int SocketSetWaiter::add(sock_t s) {
  if (!valid()) return -1;
  for (int slot = 0; slot < kCapacity; ++slot) {
    if (impl_->used[slot]) continue;
    epoll_event ev{};
    // The peer's close and errors end the wait as readable: the receive
    // reports them.
    ev.events = EPOLLIN | EPOLLRDHUP | EPOLLET;
    ev.data.u32 = static_cast<uint32_t>(slot);
    if (epoll_ctl(impl_->epoll_fd, EPOLL_CTL_ADD, s, &ev) != 0) return -1;
    impl_->socket[slot] = s;
    impl_->used[slot] = true;
    return slot;
  }
  return -1;
}

void SocketSetWaiter::remove(int slot) {
  if (slot < 0 || slot >= kCapacity || !impl_->used[slot]) return;
  epoll_ctl(impl_->epoll_fd, EPOLL_CTL_DEL, impl_->socket[slot], nullptr);
  impl_->used[slot] = false;
}

int SocketSetWaiter::wait(int ms, std::vector<int>* readable) {
  if (!valid()) return -1;
  epoll_event events[kCapacity + 1];
  int n;
  do {
    n = epoll_wait(impl_->epoll_fd, events, kCapacity + 1, ms < 0 ? -1 : ms);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return -1;
  int result = 0;
  for (int i = 0; i < n; ++i) {
    uint32_t tag = events[i].data.u32;
    if (tag == kWakeTag) {
      uint64_t count;
      // Resets the count; a wake arriving after this read stays for the next wait.
      while (read(impl_->wake_fd, &count, sizeof(count)) < 0 && errno == EINTR) {
      }
      result |= kWoken;
    } else if (tag < static_cast<uint32_t>(kCapacity) && impl_->used[tag]) {
      readable->push_back(static_cast<int>(tag));
    }
  }
  return result;
}

void SocketSetWaiter::wake() {
  uint64_t one = 1;
  // Fails only when the count would overflow, which still leaves it set.
  while (write(impl_->wake_fd, &one, sizeof(one)) < 0 && errno == EINTR) {
  }
}
