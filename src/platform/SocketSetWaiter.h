// The one wait of a group of student sessions: sleeps one thread until any
// of up to kCapacity sockets has something to read (data, the peer's close,
// an error), someone wakes it, or a time runs out.
//
// Readability is reported once per arrival, as an edge: a socket that is
// not read stays quiet until more arrives (or, on Windows, until the next
// receive finds more waiting). The caller keeps each report until a receive
// has drained the socket, and must never drop one.
//
// Linux: an epoll set (edge-triggered) and an eventfd; kCapacity only bounds
// how many sessions share a thread. Windows: each socket is tied to its own
// event object by WSAEventSelect (read and close), a last auto-reset event
// carries wake(), and WaitForMultipleObjects waits for all of them; 64
// handles is its limit, which sets kCapacity. The event
// selection leaves a socket non-blocking for good on Windows; net_send and
// net_recv_now work on such sockets.
//
// Thread safety: add, remove and wait from the owning thread only. wake()
// from any thread at any time, also before wait() is called: a wake that
// finds nobody waiting is kept until the next wait() takes it.
#pragma once

#include <vector>

#include "Net.h"

class SocketSetWaiter {
 public:
#if defined(_WIN32)
  static constexpr int kCapacity = 63;
#else
  static constexpr int kCapacity = 255;
#endif
  // Result bit of wait(); 0 means the time ran out or only sockets are ready.
  static constexpr int kWoken = 2;

  SocketSetWaiter();
  ~SocketSetWaiter();
  SocketSetWaiter(const SocketSetWaiter&) = delete;
  SocketSetWaiter& operator=(const SocketSetWaiter&) = delete;

  // False when the OS objects could not be made; wait() then fails.
  bool valid() const;

  // Watches s; its slot (0 to kCapacity - 1), or -1 when all are taken or
  // the OS refused. Something already waiting on s is reported by the next
  // wait. Does not own the socket.
  int add(sock_t s);
  // Stops watching a slot; call it while the socket is still open, since a
  // closed handle's value may already belong to another connection.
  void remove(int slot);

  // Waits at most ms milliseconds (no limit when negative). Appends the
  // slots found readable to *readable (a report may be spurious: the
  // receive that follows must not block). Returns kWoken or 0, -1 on failure.
  int wait(int ms, std::vector<int>* readable);

  void wake();

 private:
  struct Impl;
  Impl* impl_;
};
