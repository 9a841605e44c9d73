#include <winsock2.h>
#include <windows.h>

#include "SocketSetWaiter.h"

struct SocketSetWaiter::Impl {
  HANDLE wake;  // auto reset, set by wake()
  SOCKET socket[kCapacity];
  WSAEVENT network[kCapacity];  // manual reset, set by Winsock on FD_READ / FD_CLOSE
  bool used[kCapacity];
};

SocketSetWaiter::SocketSetWaiter() : impl_(new Impl) {
  impl_->wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  for (int i = 0; i < kCapacity; ++i) impl_->used[i] = false;
}

SocketSetWaiter::~SocketSetWaiter() {
  for (int i = 0; i < kCapacity; ++i) remove(i);
  if (impl_->wake != nullptr) CloseHandle(impl_->wake);
  delete impl_;
}

bool SocketSetWaiter::valid() const { return impl_->wake != nullptr; }

int SocketSetWaiter::add(sock_t s) {
  if (!valid()) return -1;
  for (int slot = 0; slot < kCapacity; ++slot) {
    if (impl_->used[slot]) continue;
    WSAEVENT event = WSACreateEvent();
    if (event == WSA_INVALID_EVENT) return -1;
    SOCKET socket = static_cast<SOCKET>(s);
    // Winsock records FD_READ when the selection starts on a socket with
    // data waiting, so nothing sent before this call is missed.
    if (WSAEventSelect(socket, event, FD_READ | FD_CLOSE) != 0) {
      WSACloseEvent(event);
      return -1;
    }
    impl_->socket[slot] = socket;
    impl_->network[slot] = event;
    impl_->used[slot] = true;
    return slot;
  }
  return -1;
}

void SocketSetWaiter::remove(int slot) {
  if (slot < 0 || slot >= kCapacity || !impl_->used[slot]) return;
  // Ends the selection before its event goes; the socket stays non-blocking.
  WSAEventSelect(impl_->socket[slot], nullptr, 0);
  WSACloseEvent(impl_->network[slot]);
  impl_->used[slot] = false;
}

int SocketSetWaiter::wait(int ms, std::vector<int>* readable) {
  if (!valid()) return -1;
  HANDLE handles[kCapacity + 1];
  int slot_of[kCapacity + 1];
  DWORD n = 0;
  handles[n] = impl_->wake;
  slot_of[n++] = -1;
  for (int slot = 0; slot < kCapacity; ++slot) {
    if (!impl_->used[slot]) continue;
    handles[n] = impl_->network[slot];
    slot_of[n++] = slot;
  }
  DWORD r = WaitForMultipleObjects(n, handles, FALSE, ms < 0 ? INFINITE : static_cast<DWORD>(ms));
  if (r == WAIT_FAILED) return -1;
  if (r == WAIT_TIMEOUT || r >= WAIT_OBJECT_0 + n) return 0;
  // The wait names the first signalled handle only: each further one is
  // found by a wait of no time over the handles after the last one found.
  int result = 0;
  DWORD index = r - WAIT_OBJECT_0;
  for (;;) {
    int slot = slot_of[index];
    if (slot < 0) {
      result |= kWoken;  // the auto-reset event was taken by the wait
    } else {
      // Resets the event. FD_READ is posted again after the next receive
      // when data is still waiting, so nothing read-worthy is lost.
      WSANETWORKEVENTS events;
      if (WSAEnumNetworkEvents(impl_->socket[slot], impl_->network[slot], &events) != 0 ||
          (events.lNetworkEvents & (FD_READ | FD_CLOSE)) != 0) {
        readable->push_back(slot);
      }
    }
    DWORD rest = n - index - 1;
    if (rest == 0) break;
    DWORD next = WaitForMultipleObjects(rest, handles + index + 1, FALSE, 0);
    if (next >= WAIT_OBJECT_0 + rest) break;  // none, or a failure: the next wait sees them
    index += 1 + (next - WAIT_OBJECT_0);
  }
  return result;
}

void SocketSetWaiter::wake() {
  if (impl_->wake != nullptr) SetEvent(impl_->wake);
}
