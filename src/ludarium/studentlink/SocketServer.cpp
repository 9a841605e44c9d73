#include "SocketServer.h"

#include <algorithm>
#include <new>

#include "Log.h"
#include "Memory.h"
#include "PortRange.h"
#include "SessionRunner.h"
#include "SocketLink.h"
#include "SocketTaskThread.h"
#include "Thread.h"

SocketServer::SocketServer(const SessionContext& context) : context_(context) {}

SocketServer::~SocketServer() {}

int SocketServer::checkPort() {
  int port = first_free_port(kFirstPort, kLastPort, "127.0.0.1");
  if (port > kLastPort) return port;
  port_ = port;
  LOG("d", "SocketServer running on 127.0.0.1:%d", port);
  context_.course.update([port](BrocastData& course) { course.socket_port = port; });
  return port;
}

void SocketServer::Start() {
  int started = net_startup(2, 2);
  if (started == -1) LOG("e", "WSAStartup load error");
  if (started == -2) LOG("e", "WinSock's version error");
  {
    MutexGuard guard(&lock_);
    live_count_ = 0;
  }
  listen_socket_.reset(net_tcp_socket());
  BindSocket();
  ListenSocket();
  thread_begin(accept_thread, this);
}

int SocketServer::BindSocket() {
  if (net_bind_any(listen_socket_.get(), port_) != 0) {
    LOG("e", "Bind error");
    return -1;
  }
  LOG("d", "Bind ok");
  return 0;
}

int SocketServer::ListenSocket() {
  // Room for a whole school reconnecting at once (after a Wi-Fi drop): with
  // a queue of 100, the connections beyond it lose their SYN and retry only
  // after 1 s, then 3 s, which made a login storm of 2,000 take 10 s and more.
  if (net_listen(listen_socket_.get(), kMaxSessions) != 0) {
    LOG("e", "Listen error");
    return -1;
  }
  LOG("d", "Listen ok");
  return 0;
}

Socket SocketServer::AcceptSocket() {
  std::string ip;
  int port = 0;
  Socket s(net_accept(listen_socket_.get(), &ip, &port));
  if (!s.valid()) {
    LOG("e", "Accept error");
    return s;
  }
  LOG("d", "Accept %s:%d", ip.c_str(), port);
  return s;
}

unsigned int SocketServer::accept_thread(void* self) {
  thread_set_name("student accept");
  SocketServer* server = static_cast<SocketServer*>(self);
  for (;;) {
    Socket s = server->AcceptSocket();
    if (!s.valid()) {
      // A broken listener fails every accept at once: pace the retries.
      sleep_ms(100);
      continue;
    }
    std::shared_ptr<SocketTaskThread> session;
    SocketLink* socket_link = nullptr;
    SessionRunner* runner = nullptr;
    sock_t raw = s.get();
    // Out of memory or threads, one connection is refused; the server and
    // its other sessions go on. A refused connection's socket closes with s.
    try {
      runner = server->runner_with_room();
      MutexGuard guard(&server->lock_);
      if (server->live_count_ >= kMaxSessions ||
          server->vThreads.size() >= static_cast<size_t>(kMaxSessions)) {
        LOG("e", "too many sessions (%d), connection closed", server->live_count_);
        continue;
      }
      if (runner == nullptr) {
        LOG("e", "no thread for a new session, connection closed");
        continue;
      }
      socket_link = new SocketLink(std::move(s), runner);
      std::unique_ptr<SessionLink> link(socket_link);
      session = std::make_shared<SocketTaskThread>(server, server->context_, std::move(link),
                                                   server->task_counter_);
      server->vThreads.push_back(session);
      server->task_counter_++;
      // Counted here rather than on the runner, so the cap holds for a burst.
      server->live_count_++;
    } catch (const std::bad_alloc&) {
      LOG("e", "no memory for a new session, connection closed");
      continue;
    }
    try {
      runner->add(session, raw, socket_link);
    } catch (const std::bad_alloc&) {
      LOG("e", "no memory for a new session, connection closed");
      server->TaskThreadExit(session);
    }
  }
}

SessionRunner* SocketServer::runner_with_room() {
  for (const auto& runner : runners_) {
    if (runner->has_room()) return runner.get();
  }
  std::shared_ptr<SessionRunner> runner = std::make_shared<SessionRunner>(this);
  if (!SessionRunner::start(runner)) return nullptr;
  runners_.push_back(runner);
  return runner.get();
}

void SocketServer::TaskThreadExit(const std::shared_ptr<SocketTaskThread>& session) {
  bool trim;
  {
    MutexGuard guard(&lock_);
    live_count_--;
    // After a wave of departures (or the last one) the heap hands back what
    // their threads left free in its arenas.
    trim = ++ended_since_trim_ >= kTrimEvery || live_count_ == 0;
    if (trim) ended_since_trim_ = 0;
  }
  if (trim) release_free_memory();
  session->close_link();
  size_t before, after;
  {
    MutexGuard guard(&lock_);
    before = vThreads.size();
  }
  LOG("d", "task size:%d", static_cast<int>(before));
  {
    MutexGuard guard(&lock_);
    vThreads.erase(std::remove(vThreads.begin(), vThreads.end(), session), vThreads.end());
    after = vThreads.size();
  }
  LOG("d", "task size:%d", static_cast<int>(after));
}

std::vector<std::shared_ptr<SocketTaskThread>> SocketServer::copy_sessions() {
  MutexGuard guard(&lock_);
  return vThreads;
}

void SocketServer::Kickoff(int32_t user_id) {
  LOG("d", "SocketServer kickoff");
  std::vector<std::shared_ptr<SocketTaskThread>> sessions = copy_sessions();
  LOG("d", "vThreads size:%d", static_cast<int>(sessions.size()));
  for (const auto& session : sessions) {
    int32_t task = -1;
    {
      MutexGuard guard(&lock_);
      if (session->user_id() != user_id) continue;
      session->kickoff();
      task = session->task_id();
    }
    LOG("d", "task %d kick off", task);
  }
}

bool SocketServer::has_other_live_session(int32_t user_id, int32_t own_task_id) {
  for (const auto& session : copy_sessions()) {
    MutexGuard guard(&lock_);
    if (session->user_id() == user_id && session->task_id() != own_task_id && session->live()) {
      return true;
    }
  }
  return false;
}

bool SocketServer::checkTaskAndExitByMac(const std::string& mac, int32_t own_task_id) {
  bool ended = false;
  for (const auto& session : copy_sessions()) {
    int32_t task = -1;
    {
      MutexGuard guard(&lock_);
      // A session already ended, or kicked off and saying goodbye, no longer
      // speaks for its student: exit_by_mac would mark the wrong login offline.
      if (session->user_mac() != mac || session->task_id() == own_task_id || !session->live()) continue;
      session->exit_by_mac();
      task = session->task_id();
    }
    LOG("d", "task %d exit by same mac", task);
    ended = true;
  }
  return ended;
}

void SocketServer::wake_sessions() {
  for (const auto& session : copy_sessions()) session->wake();
}

