// One student connection: the session's state machine. Its passes run on
// the thread of a SessionRunner, which runs many sessions.
//   prepare (SessionLogin.cpp): ask for the student's record, accept or
//     refuse the login;
//   working (SessionDelivery.cpp): heartbeats, instruction delivery and
//     re-sends, receipts;
//   offline (SessionFarewell.cpp): farewell (KICKOFF or QUIT) before the
//     connection is dropped.
//
// The session sleeps until it has work: its connection is readable,
// someone wakes it (a new instruction, a change of course, a kick-off), or
// its nearest deadline passes (heartbeat due, a time-out, the end of a
// random pause, a retry after a failed send). Each wake runs one pass of
// the current state's steps in their order; pass() says what to wait for
// next.
//
// The runner's thread owns the object. Other threads touch only state_,
// farewell_step_, kicked_, stop_, woken_ (atomics), read user id, task id
// and MAC, and call wake(), always under the directory's lock, through the
// methods marked so. The session replaces its whole student record only
// under that lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "Message.h"
#include "SessionContext.h"
#include "SessionDirectory.h"
#include "SessionLink.h"
#include "User.h"

class SocketTaskThread {
 public:
  enum State { kEnded = 0, kPrepare = 1, kWorking = 2, kOffline = 3 };

  // What to wait for after a pass: until a time (milliseconds since 1970;
  // kNoDeadline: only an event ends the wait), watching the connection for
  // readability or not.
  struct Wait {
    int64_t until_ms;
    bool socket;
  };
  static constexpr int64_t kNoDeadline = -1;

  SocketTaskThread(SessionDirectory* directory, const SessionContext& context,
                   std::unique_ptr<SessionLink> link, int32_t task_id);

  // Runner thread: first step, before the first pass.
  void initialise();
  // Runner thread: one pass of the current state, then what to wait for.
  // `readable` says whether the last wait found the connection readable.
  // A readable connection stays "to be read" until a receive has been made:
  // Winsock reports readability once and again only after a receive, so a
  // pass that does not receive (a farewell send, a paused class) must leave
  // the receive to a later pass rather than forget it.
  Wait pass(bool readable);

  // Any thread, under the directory's lock.
  int32_t user_id() const { return student_.user_id; }
  int32_t task_id() const { return task_id_; }
  int32_t stop_flag() const { return stop_; }
  std::string user_mac() const { return student_.user_mac; }
  // Not stopped and not kicked off: what the cross-session rules count.
  bool live() const { return stop_ == 0 && !kicked_; }
  void kickoff();      // farewell with KICKOFF; the student is not marked offline
  void exit_by_mac();  // ends at once; the student is marked offline

  // Any thread: the session runs its next pass now.
  void wake() {
    woken_ = true;
    link_->wake();
  }
  // Runner thread: whether wake() was called since the last time it asked.
  // The plain read first spares the runner a locked exchange for each of
  // its sessions on every look.
  bool take_woken() { return woken_.load() && woken_.exchange(false); }

  // The server, after the thread ended.
  void close_link() { link_->close(); }

  State state() const { return static_cast<State>(state_.load()); }
  int prepare_step() const { return prepare_step_; }
  int farewell_step() const { return farewell_step_; }

 private:
  // prepare (SessionLogin.cpp)
  Wait pass_prepare();
  void prepare_ask();
  void prepare_wait_record();
  void prepare_reply(int32_t type, const char* overtime_text);
  void accept_login(const User& login, const User& previous);

  // working (SessionDelivery.cpp)
  Wait pass_working();
  void working_receive();
  void deliver(uint64_t id, const std::string& command, const char* failure_status,
               int64_t filed_at = -1);
  void finish_delivery();
  Wait pause_for_course();
  Wait working_wait(int64_t now);

  // offline (SessionFarewell.cpp)
  Wait pass_offline();
  void farewell_send(int step, int32_t type, int32_t* failures, int64_t* sent_at, const char* overtime,
                     const char* status);
  // Moves the farewell from the step just run to the next one, unless a
  // kick-off chose KICKOFF meanwhile.
  void farewell_advance(int step);
  void farewell_wait(int64_t sent_at, const char* overtime, const char* status);

  // shared (SocketTaskThread.cpp)
  void set_student(const User& record);
  // Sends a frame; the link's send result, or kNoHead when no head was built.
  int send(int32_t type, uint64_t instruct_id = 0, const std::string& body = std::string());
  // Reads a frame when one may be there (read_again_: a wait found the
  // connection readable and no receive has drained it since, a frame was
  // taken on the last pass, or a failed receive is due to be tried again):
  // read_message's result, 0 when nothing was read.
  // A closed connection, an endless head or an impossible length end the
  // session here (with `ip` in the line); the result is then kReadClosed.
  int receive(Message* m, const char* ip);
  void end_session();
  void end_with(const char* format, ...);
  // The socket error of the failed send or receive just made. When it means
  // the peer is gone, the session is ended ("offline <ip>:<port> <code>
  // [offline]") and the result is -1.
  int failure_code(const char* ip);
  const char* reported_ip() const { return student_.user_ip.c_str(); }
  void draw_jitter();
  // Ends a login or farewell that has not finished within its overall
  // deadline; true when it did so.
  bool past_deadline(int64_t now);
  // A step that failed is tried again on the next pass, 200 ms on.
  Wait retry_later(int64_t now) const { return Wait{now + kPassMs, false}; }
  Wait go_on(int64_t now) const { return Wait{now, false}; }

  static constexpr int kNoHead = -1000;
  static constexpr int64_t kPassMs = 200;
  static constexpr int kFramesPerPass = 64;
  // Overall deadlines of a login (from the first pass) and of a farewell
  // (from its first pass). Each
  // step has its own retry limit; these bound a session whose steps keep
  // going without finishing, such as one kicked again and again.
  static constexpr int64_t kLoginDeadlineMs = 10000;
  static constexpr int64_t kFarewellDeadlineMs = 5000;

  SessionDirectory* directory_;
  const SessionContext context_;
  std::unique_ptr<SessionLink> link_;
  std::atomic<int32_t> stop_{0};
  std::atomic<bool> woken_{false};
  User student_;
  std::string peer_ip_;
  int peer_port_ = 0;
  uint64_t acked_id_ = 0;
  uint64_t inflight_id_ = 0;
  int32_t resend_count_ = 0;
  std::atomic<int32_t> state_{kPrepare};
  int32_t prepare_step_ = 1;
  // 0 until a farewell is chosen. A kick-off (another thread) sets 1 at any
  // time; the session moves it on only by compare-and-exchange from the step
  // it ran, and chooses QUIT (3) only over 0, so a kick-off always wins.
  std::atomic<int32_t> farewell_step_{0};
  // Milliseconds since 1970: when the login began (initialise) and when the
  // session first ran a farewell pass (0: not yet). A later kick-off does not
  // restart the farewell's deadline.
  int64_t login_since_ = 0;
  int64_t farewell_since_ = 0;
  int32_t ask_failures_ = 0;
  int32_t reply_failures_ = 0;
  int32_t unanswered_heartbeats_ = 0;
  int32_t kickoff_failures_ = 0;
  int32_t quit_failures_ = 0;
  // Milliseconds since 1970.
  int64_t ask_sent_ = 0, heartbeat_sent_ = 0, instruction_attempt_ = 0, kickoff_sent_ = 0,
          quit_sent_ = 0, last_heard_ = 0;
  bool send_failed_ = false;
  // The id whose last attempt failed (send_failed_): not new again, so its
  // re-sends are counted and limited.
  uint64_t failed_id_ = 0;
  std::atomic<bool> kicked_{false};
  int64_t heartbeat_interval_ms_;
  int32_t session_timeout_s_;
  int64_t jitter_ms_ = 0;
  int32_t task_id_;
  std::string pending_;  // bytes received behind the last frame taken
  // A receive is due without a wait: the connection was found readable and
  // not read since, a frame was just taken, or a failed receive is to be
  // tried again. Cleared only by a receive that found nothing more.
  bool read_again_ = false;
  bool read_failed_ = false;  // the last receive failed: no socket watch until the retry
  // An instruction waiting out its random pause before it is recorded and sent.
  bool delivery_pending_ = false;
  int64_t delivery_due_ = 0;
  uint64_t delivery_id_ = 0;
  std::string delivery_command_;
  const char* delivery_status_ = "";
  // The student's group ids, parsed once per change of its "group_id" text.
  std::string groups_text_;
  std::vector<int32_t> groups_;
  // Each session draws its own random pauses, so sessions woken together
  // spread their sends instead of drawing the same value.
  std::minstd_rand random_;
};
