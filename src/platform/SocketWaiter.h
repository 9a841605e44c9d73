// The one wait of a student session: sleeps its thread until the session's
// socket is readable (data, the peer's close, or an error), someone wakes
// it, or a time runs out, whichever comes first.
//
// Linux: poll on the socket and an eventfd. Windows: WSAEventSelect ties
// the socket's read and close events to an event object, a second
// auto-reset event carries wake(), and WaitForMultipleObjects waits for
// both. The event selection leaves the socket non-blocking for good on
// Windows; net_send and net_recv_now work on such sockets.
//
// Thread safety: wait() from the owning thread only. wake() from any thread
// at any time, also before wait() is called: a wake that finds nobody
// waiting is kept until the next wait() takes it (as an auto-reset event
// keeps it), so a session never misses one.
#pragma once

#include "Net.h"

class SocketWaiter {
 public:
  // Result bits of wait(); 0 means the time ran out.
  static const int kReadable = 1;
  static const int kWoken = 2;

  // Does not own the socket; it must stay open until the waiter is gone.
  explicit SocketWaiter(sock_t s);
  ~SocketWaiter();
  SocketWaiter(const SocketWaiter&) = delete;
  SocketWaiter& operator=(const SocketWaiter&) = delete;

  // False when the OS objects could not be made; wait() then fails.
  bool valid() const;

  // Waits at most ms milliseconds (no limit when negative). Without
  // watch_socket only a wake or the time ends it. Returns a mask of
  // kReadable and kWoken, 0 when the time ran out, -1 on failure. A
  // readable result may be spurious: the receive that follows must not
  // block (net_recv_now).
  int wait(int ms, bool watch_socket);

  void wake();

 private:
  struct Impl;
  Impl* impl_;
};
