// One student connection: a thread running the session's state machine.
//   prepare: ask for the student's record, accept or refuse the login;
//   working: heartbeats, instruction delivery and re-sends, receipts;
//   offline: farewell (KICKOFF or QUIT) before the connection is dropped.
//
// The session thread owns the object. Other threads touch only state_,
// farewell_step_, kicked_, stop_ (atomics) and read user id, task id and MAC,
// always under the server lock (SocketServer), through the methods marked
// so. The session replaces its whole student record only under that lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "Message.h"
#include "Mutex.h"
#include "Net.h"
#include "User.h"

class SocketServer;

class SocketTaskThread {
 public:
  enum State { kEnded = 0, kPrepare = 1, kWorking = 2, kOffline = 3 };

  SocketTaskThread(SocketServer* server, sock_t listen_socket, sock_t socket, int32_t task_id,
                   mutex_t* server_lock, cond_t* server_cond);

  // Session thread: first step, then passes until the stop flag is set.
  void initialise();
  void run();

  // Any thread, under the server lock.
  int32_t user_id() const { return student_.user_id; }
  int32_t task_id() const { return task_id_; }
  int32_t stop_flag() const { return stop_; }
  std::string user_mac() const { return student_.user_mac; }
  void kickoff();     // farewell with KICKOFF; the student is not marked offline
  void exit_by_mac();  // ends at once; the student is marked offline

  sock_t socket() const { return socket_; }
  State state() const { return static_cast<State>(state_.load()); }

 private:
  void pass_prepare();
  void pass_working();
  void pass_offline();

  void prepare_ask();
  void prepare_wait_record();
  void prepare_reply(int32_t type, const char* overtime_text);
  void accept_login(const std::string& body, const User& previous);

  void deliver(uint64_t id, const std::string& command, const char* failure_status);
  void farewell_send(int32_t type, int32_t* failures, int64_t* sent_at, const char* overtime,
                     const char* status);
  void farewell_wait(int64_t sent_at, const char* overtime, const char* status);
  void set_student(const User& record);

  // Sends a frame; the send_frame result, or kNoHead when no head was built.
  int send(int32_t type, uint64_t instruct_id = 0, const std::string& body = std::string());
  void end_session();
  void end_with(const char* format, ...);
  const char* reported_ip() const { return student_.user_ip.c_str(); }
  void draw_jitter();
  void pause_on_server(int ms);

  static const int kNoHead = -1000;

  SocketServer* server_;
  mutex_t* server_lock_;
  cond_t* server_cond_;
  std::atomic<int32_t> stop_{0};
  User student_;
  std::string peer_ip_;
  int peer_port_ = 0;
  uint64_t acked_id_ = 0;
  uint64_t inflight_id_ = 0;
  int32_t resend_count_ = 0;
  std::atomic<int32_t> state_{kPrepare};
  int32_t prepare_step_ = 1;
  std::atomic<int32_t> farewell_step_{1};
  int32_t ask_failures_ = 0;
  int32_t reply_failures_ = 0;
  int32_t unanswered_heartbeats_ = 0;
  int32_t kickoff_failures_ = 0;
  int32_t quit_failures_ = 0;
  // Milliseconds since 1970.
  int64_t ask_sent_ = 0, heartbeat_sent_ = 0, instruction_attempt_ = 0, kickoff_sent_ = 0,
          quit_sent_ = 0, last_heard_ = 0;
  bool send_failed_ = false;
  std::atomic<bool> kicked_{false};
  int64_t heartbeat_interval_ms_;
  int32_t session_timeout_s_;
  int64_t jitter_ms_ = 0;
  sock_t listen_socket_;
  sock_t socket_;
  int32_t task_id_;
  std::string pending_;  // bytes received behind the last frame taken
  // The student's group ids, parsed once per change of its "group_id" text.
  std::string groups_text_;
  std::vector<int32_t> groups_;
  // Each session draws its own random pauses, so sessions woken together
  // spread their sends instead of drawing the same value.
  std::minstd_rand random_;
};
