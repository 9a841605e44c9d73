#include <winsock2.h>
#include <windows.h>

#include "SocketWaiter.h"

struct SocketWaiter::Impl {
  SOCKET socket;
  WSAEVENT network;  // manual reset, set by Winsock on FD_READ / FD_CLOSE
  HANDLE wake;       // auto reset, set by wake()
  bool selected;
  // FD_CLOSE is reported once only. Once seen, the socket counts as readable
  // for good, so that the receive that reports the close is always made.
  bool closed_seen;
};

SocketWaiter::SocketWaiter(sock_t s)
    : impl_(new Impl{static_cast<SOCKET>(s), WSACreateEvent(), CreateEventW(nullptr, FALSE, FALSE, nullptr),
                     false, false}) {
  if (impl_->network != WSA_INVALID_EVENT && impl_->socket != INVALID_SOCKET) {
    impl_->selected = WSAEventSelect(impl_->socket, impl_->network, FD_READ | FD_CLOSE) == 0;
  }
}

// Closing the socket ends its event selection. The waiter never names the
// socket again after the owner may have closed it: the handle value may
// already belong to another connection.
SocketWaiter::~SocketWaiter() {
  if (impl_->network != WSA_INVALID_EVENT) WSACloseEvent(impl_->network);
  if (impl_->wake != nullptr) CloseHandle(impl_->wake);
  delete impl_;
}

bool SocketWaiter::valid() const { return impl_->selected && impl_->wake != nullptr; }

int SocketWaiter::wait(int ms, bool watch_socket) {
  if (!valid()) return -1;
  DWORD timeout = ms < 0 ? INFINITE : static_cast<DWORD>(ms);
  if (watch_socket && impl_->closed_seen) timeout = 0;
  HANDLE handles[2] = {impl_->wake, impl_->network};
  DWORD r = WaitForMultipleObjects(watch_socket ? 2 : 1, handles, FALSE, timeout);
  if (r == WAIT_FAILED) return -1;
  int result = 0;
  if (r == WAIT_OBJECT_0) {
    result |= kWoken;
  } else if (watch_socket && WaitForSingleObject(impl_->wake, 0) == WAIT_OBJECT_0) {
    // Both were set; the wait reports the lower index only.
    result |= kWoken;
  }
  if (watch_socket) {
    if (impl_->closed_seen) {
      result |= kReadable;
    } else if (WaitForSingleObject(impl_->network, 0) == WAIT_OBJECT_0) {
      // Resets the event. FD_READ is posted again after the next recv when
      // data is still waiting, so nothing read-worthy is lost.
      WSANETWORKEVENTS events;
      if (WSAEnumNetworkEvents(impl_->socket, impl_->network, &events) != 0) return -1;
      if (events.lNetworkEvents & FD_CLOSE) impl_->closed_seen = true;
      if (events.lNetworkEvents & (FD_READ | FD_CLOSE)) result |= kReadable;
    }
  }
  return result;
}

void SocketWaiter::wake() { SetEvent(impl_->wake); }
