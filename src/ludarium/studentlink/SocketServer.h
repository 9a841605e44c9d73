// The TCP listener for student tablets: picks the first free port of
// 45678-49999, publishes it in the course, accepts connections on a thread
// of its own and makes one SocketTaskThread per connection, whose passes run
// on a SessionRunner (up to SessionRunner::kCapacity sessions each; runners
// are started as the sessions need them and kept). It also offers the
// cross-session operations of the login handshake.
//
// Sessions reach it only through SessionDirectory.
//
// Thread safety: lock_ guards vThreads, live_count_, task_counter_,
// ended_since_trim_ and the
// session fields other threads read or set. Lock order: server lock, then
// the registry's. Sessions are shared: vThreads, every copy of it and the
// runners hold them, so a session object lives until its runner has let go
// of it, TaskThreadExit has run and no copy refers to it any more.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "Mutex.h"
#include "Net.h"
#include "SessionContext.h"
#include "SessionDirectory.h"
#include "Socket.h"

class SessionRunner;
class SocketTaskThread;

class SocketServer : public SessionDirectory {
 public:
  static const int kFirstPort = 45678;
  static const int kLastPort = 49999;
  // Far above any classroom; beyond it a connection is closed at once.
  static const int kMaxSessions = 4096;

  explicit SocketServer(const SessionContext& context);
  ~SocketServer();

  // Main thread, before Start: the first free port (50000 when none), also
  // written into the course as "socket_port".
  int checkPort();
  // Main thread, once: socket start-up, bind, listen, accept thread.
  void Start();

  int BindSocket();
  int ListenSocket();
  // One connection; an invalid Socket when the accept failed.
  Socket AcceptSocket();

  // Runner threads (SessionDirectory).
  void Kickoff(int32_t user_id) override;
  bool checkTaskAndExitByMac(const std::string& mac, int32_t own_task_id) override;
  bool has_other_live_session(int32_t user_id, int32_t own_task_id) override;
  mutex_t* lock() override { return lock_.get(); }

  void TaskThreadExit(const std::shared_ptr<SocketTaskThread>& session);
  // The instruction worker and the course holder: every session runs its
  // next pass now.
  void wake_sessions();

  int port() const { return port_; }

 private:
  static unsigned int accept_thread(void* self);
  // Accept thread: a runner with room for one more session, started when
  // none has; null when no thread could be started.
  SessionRunner* runner_with_room();
  std::vector<std::shared_ptr<SocketTaskThread>> copy_sessions();

  const SessionContext context_;
  int32_t live_count_ = 0;
  Socket listen_socket_{kInvalidSocket, SocketClose::kGraceful};
  std::vector<std::shared_ptr<SocketTaskThread>> vThreads;
  Mutex lock_;
  int32_t task_counter_ = 0;
  int32_t ended_since_trim_ = 0;
  static const int32_t kTrimEvery = 256;
  int port_ = 0;
  // Accept thread only. Runners keep running once started.
  std::vector<std::shared_ptr<SessionRunner>> runners_;
};
