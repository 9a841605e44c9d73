// The cross-domain policy server: answers every TCP connection on its port
// with a fixed policy that allows every domain and port, then closes it.
// Its port is published in the course ("as_policy_port") so that browser
// plug-in clients learn it from the broadcast.
//
// Threads: checkPort and Start run once on the main thread at start-up. The
// accept thread and one short thread per connection (each owning its
// socket) share nothing with the rest of the process but the log.
#pragma once

#include <atomic>
#include <cstddef>

#include "CourseHolder.h"
#include "Socket.h"

class ASAuthorizeServer {
 public:
  static const int kFirstPort = 40300;
  static const int kLastPort = 45676;
  // The reply, exactly these bytes, no terminating zero.
  static const char kPolicy[];
  static const size_t kPolicySize = 90;

  // The chosen port is published in course.
  explicit ASAuthorizeServer(CourseHolder& course);
  // Closes the listening socket; the accept thread then ends.
  ~ASAuthorizeServer();

  // The first free port of kFirstPort..kLastPort, stored and written into the
  // course's policy port; kLastPort + 1 (nothing changed) when none is free.
  int checkPort();

  // Sets up the listening socket on the stored port and starts the accept
  // thread; set-up failures are logged and leave a thread whose accepts fail.
  // 0, or -1 when the thread could not be started.
  int Start();
  int BindSocket();    // 0 or -1
  int ListenSocket();  // 0 or -1
  // One connection (closed gracefully), or an invalid Socket.
  Socket AcceptSocket();

  int port() const { return port_; }

  // How long the accept thread pauses after the given number of failed
  // accepts in a row: a failure that repeats at once (a socket that never
  // bound) must not flood the log.
  static int acceptPauseMs(int failures);

 private:
  static unsigned int acceptThread(void* self);
  // One connection's thread: the policy, then the close.
  static void answer(Socket connection);

  CourseHolder& course_;
  int status_ = 0;
  Socket sock_{kInvalidSocket, SocketClose::kGraceful};
  std::atomic<int> stop_{0};
  int port_ = 0;
};
