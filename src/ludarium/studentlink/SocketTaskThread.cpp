#include "SocketTaskThread.h"

#include <cstdarg>
#include <cstdio>

#include "Brocast.h"
#include "Clock.h"
#include "Globals.h"
#include "InstructionSet.h"
#include "Log.h"
#include "SocketServer.h"
#include "Thread.h"
#include "UserRegistry.h"
#include "Util.h"
#include "WireProtocol.h"

namespace {

int64_t whole_seconds(int64_t ms) { return ms / 1000; }

}  // namespace

SocketTaskThread::SocketTaskThread(SocketServer* server, sock_t listen_socket, sock_t socket,
                                   int32_t task_id, mutex_t* server_lock, cond_t* server_cond)
    : server_(server),
      server_lock_(server_lock),
      server_cond_(server_cond),
      heartbeat_interval_ms_(itimeout != 0 ? static_cast<int64_t>(itimeout / 5) * 1000 : 7000),
      session_timeout_s_(itimeout != 0 ? itimeout : 35),
      listen_socket_(listen_socket),
      socket_(socket),
      task_id_(task_id),
      random_(static_cast<unsigned>(wall_ms()) ^ (static_cast<unsigned>(task_id) * 2654435761u)) {
  draw_jitter();
}

void SocketTaskThread::initialise() {
  if (!net_peer_address(socket_, &peer_ip_, &peer_port_)) {
    peer_ip_.clear();
    peer_port_ = 0;
  }
  state_ = kPrepare;
  prepare_step_ = 1;
  ask_failures_ = reply_failures_ = unanswered_heartbeats_ = kickoff_failures_ = quit_failures_ = 0;
  send_failed_ = false;
  kicked_ = false;
}

void SocketTaskThread::run() {
  while (stop_ == 0) {
    switch (state_) {
      case kPrepare: pass_prepare(); break;
      case kWorking: pass_working(); break;
      case kOffline: pass_offline(); break;
      default: sleep_ms(200); break;  // ended from outside; the loop sees stop_ next
    }
  }
}

void SocketTaskThread::draw_jitter() { jitter_ms_ = static_cast<int64_t>(random_() % 2000); }

void SocketTaskThread::set_student(const User& record) {
  MutexGuard guard(server_lock_);
  student_ = record;
}

void SocketTaskThread::pause_on_server(int ms) {
  // A pause, not a wait for state: the lock is not owned before or after.
  cond_timedwait(server_cond_, nullptr, ms);
}

int SocketTaskThread::send(int32_t type, uint64_t instruct_id, const std::string& body) {
  std::string head = write_frame(static_cast<int32_t>(body.size()), type, instruct_id);
  if (head.empty()) return kNoHead;
  return send_frame(socket_, head + "\n" + body);
}

void SocketTaskThread::end_with(const char* format, ...) {
  char buf[1024];
  va_list args;
  va_start(args, format);
  vsnprintf(buf, sizeof(buf), format, args);
  va_end(args);
  LOG("e", "%s", buf);
  end_session();
}

void SocketTaskThread::end_session() {
  state_ = kEnded;
  stop_ = 1;
  if (kicked_) return;
  if (server_->has_other_live_session(student_.user_id, task_id_)) return;
  if (student_.user_id == -1) return;  // never logged in: nobody to mark offline
  User record = student_;
  record.is_online = 0;
  set_student(record);
  users.update(record);
}

void SocketTaskThread::kickoff() {
  state_ = kOffline;
  farewell_step_ = 1;
  kicked_ = true;
}

void SocketTaskThread::exit_by_mac() {
  state_ = kEnded;
  stop_ = 1;
  User record = users.get(student_.user_id);
  record.is_online = 0;
  users.update(record);
}

// ---- prepare ----

void SocketTaskThread::pass_prepare() {
  switch (prepare_step_) {
    case 1: prepare_ask(); break;
    case 2: prepare_wait_record(); break;
    case 3: prepare_reply(ACK, "offline %s:%d sci_overtimes [offline]"); break;
    case 4: prepare_reply(LOGIN_REFUSED, "offline %s:%d rr_overtimes [offline]"); break;
  }
  if (stop_ == 0 && state_ == kPrepare) sleep_ms(200);
}

void SocketTaskThread::prepare_ask() {
  if (ask_failures_ > 4) {
    end_with("offline %s:%d scon_overtimes [offline]", peer_ip_.c_str(), peer_port_);
    return;
  }
  int rc = send(USER_INFO_REQUEST);
  if (rc > 0) {
    ask_sent_ = wall_ms();
    prepare_step_ = 2;
  } else if (rc == -1) {
    int code = net_last_error();
    if (is_connection_lost(code)) {
      end_with("offline %s:%d %d [offline]", peer_ip_.c_str(), peer_port_, code);
      return;
    }
    LOG("e", "ip:%s:%d socket error!Error code:%d Status:%d", peer_ip_.c_str(), peer_port_, code, 1);
    ask_failures_++;
  } else if (rc == kNoHead) {
    LOG("e", "ip:%s:%d construct head json string error", peer_ip_.c_str(), peer_port_);
    ask_failures_++;
  }
}

void SocketTaskThread::prepare_wait_record() {
  if (whole_seconds(wall_ms()) - whole_seconds(ask_sent_) > 2) {
    end_with("offline %s:%d rc_overtime [offline]", peer_ip_.c_str(), peer_port_);
    return;
  }
  Message m;
  int rc = read_message(socket_, &m, &pending_);
  if (rc == kReadProtocolError) {
    end_with("offline %s:%d head line too long [offline]", peer_ip_.c_str(), peer_port_);
    return;
  }
  if (rc == -1) {
    int code = net_last_error();
    if (is_connection_lost(code)) {
      end_with("offline %s:%d %d [offline]", peer_ip_.c_str(), peer_port_, code);
    } else {
      LOG("e", "ip:%s:%d socket error!Error code:%d Status:%d", peer_ip_.c_str(), peer_port_, code, 2);
    }
    return;
  }
  if (rc <= 0) return;

  User login = parseUserJson(m.body);
  if (login.user_id == -1) {
    prepare_step_ = 4;
    return;
  }
  User stored = users.get(login.user_id);
  if (stored.user_id == -1) {
    accept_login(m.body, User());
    return;
  }
  bool same_device_ended = server_->checkTaskAndExitByMac(login.user_mac, task_id_);
  if (stored.is_online != 1 || same_device_ended) {
    accept_login(m.body, stored);
  } else if (stored.log_type != 0) {
    server_->Kickoff(login.user_id);
    accept_login(m.body, stored);
  } else if (login.log_type != 0) {
    prepare_step_ = 4;
  } else {
    server_->Kickoff(login.user_id);
    accept_login(m.body, stored);
  }
}

// Stores the login's record (replacing the stored one), keeps the delivery
// and receipt fields of the record stored before, and marks it online.
void SocketTaskThread::accept_login(const std::string& body, const User& previous) {
  users.addFromJson(body);
  User record = users.get(parseUserJson(body).user_id);
  record.is_online = 1;
  if (previous.user_id != -1) {
    record.instruct_id = previous.instruct_id;
    record.last_instruct = previous.last_instruct;
    record.send_time = previous.send_time;
    record.send_times = previous.send_times;
    record.receipt_id = previous.receipt_id;
    record.last_receipt = previous.last_receipt;
    record.receipt_time = previous.receipt_time;
  }
  set_student(record);
  users.update(record);
  prepare_step_ = 3;
}

void SocketTaskThread::prepare_reply(int32_t type, const char* overtime_text) {
  if (reply_failures_ > 4) {
    end_with(overtime_text, reported_ip(), peer_port_);
    return;
  }
  int rc = send(type);
  if (rc > 0) {
    if (type == LOGIN_REFUSED) {
      end_session();
      return;
    }
    heartbeat_sent_ = last_heard_ = wall_ms();
    state_ = kWorking;
  } else if (rc == -1) {
    int code = net_last_error();
    if (is_connection_lost(code)) {
      end_with("offline %s:%d %d [offline]", reported_ip(), peer_port_, code);
      return;
    }
    LOG("e", "user_id:%d ip:%s socket error!Error code:%d Status:%d", student_.user_id, reported_ip(),
        code, prepare_step_);
    reply_failures_++;
  } else if (rc == kNoHead) {
    LOG("e", "ip:%s:%d construct head json string error", peer_ip_.c_str(), peer_port_);
    reply_failures_++;
  }
}

// ---- working ----

void SocketTaskThread::pass_working() {
  int32_t course_class = gBorcastObj.classId();
  if (course_class != student_.class_id) {
    if (course_class != 0 && course_class != -1) {
      farewell_step_ = 3;
      state_ = kOffline;
    }
    pause_on_server(200);
    return;
  }

  Message m;
  int rc = read_message(socket_, &m, &pending_);
  if (rc == kReadProtocolError) {
    end_with("offline %s:%d head line too long [offline]", reported_ip(), peer_port_);
    return;
  }
  if (rc == -1) {
    int code = net_last_error();
    if (is_connection_lost(code)) {
      end_with("offline %s:%d %d [offline]", reported_ip(), peer_port_, code);
      return;
    }
    LOG("e", "user_id:%d ip:%s socket error!Error code:%d Status:working recv", student_.user_id,
        reported_ip(), code);
  } else if (rc > 0 && m.parsed) {
    if (m.type == HEARTBEAT_REPLY) {
      unanswered_heartbeats_ = 0;
      last_heard_ = wall_ms();
    } else if (m.type == INSTRUCTION_RECEIPT) {
      uint64_t id = text_to_uint64(m.instruct_id);
      if (id != 0 && id != ~0ull) {
        users.setReceipt(student_.user_id, id, m.head, wall_ms());
        set_student(users.get(student_.user_id));
        if (id == inflight_id_) {
          acked_id_ = inflight_id_;
          resend_count_ = 0;
          last_heard_ = wall_ms();
        }
      }
    }
  }

  int64_t now = wall_ms();
  if (whole_seconds(now) - whole_seconds(last_heard_) >= session_timeout_s_) {
    end_with("offline %s:%d overtime [offline]", reported_ip(), peer_port_);
    return;
  }

  if (now - heartbeat_sent_ >= heartbeat_interval_ms_ + jitter_ms_) {
    unanswered_heartbeats_++;
    if (unanswered_heartbeats_ < 6) {
      int sent = send(HEARTBEAT);
      if (sent > 0) {
        heartbeat_sent_ = wall_ms();
        draw_jitter();
      } else if (sent == -1) {
        int code = net_last_error();
        if (is_connection_lost(code)) {
          end_with("offline %s:%d %d [offline]", reported_ip(), peer_port_, code);
          return;
        }
        LOG("e", "user_id:%d ip:%s socket error!Error code:%d Status:Send hearbeat", student_.user_id,
            reported_ip(), code);
      }
    }
  }

  if (student_.group_id != groups_text_) {
    groups_text_ = student_.group_id;
    groups_ = parse_id_list(groups_text_);
  }
  InstructionEntry entry = gInstructionSet.select_for(student_, groups_);
  uint64_t id = entry.instruct_id;
  if (id != 0 && id != acked_id_ && id != inflight_id_) {
    send_failed_ = false;
    resend_count_ = 0;
    deliver(id, entry.command, "working send instruction");
  } else if (send_failed_ || acked_id_ != inflight_id_) {
    if (whole_seconds(wall_ms()) - whole_seconds(instruction_attempt_) > 1) {
      resend_count_++;
      if (resend_count_ > 4) {
        end_with("offline %s:%d sendist_overtimes [offline]", reported_ip(), peer_port_);
        return;
      }
      deliver(id, entry.command,
              send_failed_ ? "working resend instruction"
                           : "working instruction reply overtime resend instruction");
    }
  }
  if (stop_ != 0) return;
  pause_on_server(200);
}

void SocketTaskThread::deliver(uint64_t id, const std::string& command, const char* failure_status) {
  int64_t now = wall_ms();
  users.setInstruction(student_.user_id, command, id, now, resend_count_);
  student_.last_instruct = command;
  student_.instruct_id = id;
  student_.send_time = now;
  student_.send_times = resend_count_;

  std::string head = write_frame(static_cast<int32_t>(command.size()), INSTRUCTION, id);
  if (head.empty()) {
    instruction_attempt_ = wall_ms();
    send_failed_ = true;
    return;
  }
  pause_on_server(static_cast<int>(random_() % 200));
  int rc = send_frame(socket_, head + "\n" + command);
  if (rc > 0) {
    inflight_id_ = id;
    instruction_attempt_ = wall_ms();
    send_failed_ = false;
  } else if (rc == -1) {
    int code = net_last_error();
    if (is_connection_lost(code)) {
      end_with("offline %s:%d %d [offline]", reported_ip(), peer_port_, code);
      return;
    }
    LOG("e", "user_id:%d ip:%s socket error!Error code:%d Status:%s", student_.user_id, reported_ip(),
        code, failure_status);
    instruction_attempt_ = wall_ms();
    send_failed_ = true;
  }
}

// ---- offline ----

void SocketTaskThread::pass_offline() {
  switch (farewell_step_) {
    case 1:
      farewell_send(KICKOFF, &kickoff_failures_, &kickoff_sent_,
                    "offline %s:%d skickoff_overtimes [offline]", "send kickoff");
      break;
    case 2:
      farewell_wait(kickoff_sent_, "offline %s:%d rkickoff_overtime [offline]", "reply kickoff");
      break;
    case 3:
      farewell_send(QUIT, &quit_failures_, &quit_sent_, "offline %s:%d squit_overtimes [offline]",
                    "send quit");
      break;
    case 4:
      farewell_wait(quit_sent_, "offline %s:%d rquit_overtime [offline]", "quit reply");
      break;
  }
  if (stop_ == 0 && state_ == kOffline) sleep_ms(200);
}

void SocketTaskThread::farewell_send(int32_t type, int32_t* failures, int64_t* sent_at,
                                     const char* overtime, const char* status) {
  if (*failures > 4) {
    end_with(overtime, reported_ip(), peer_port_);
    return;
  }
  int rc = send(type);
  if (rc > 0) {
    *sent_at = wall_ms();
    farewell_step_ = farewell_step_ + 1;
  } else if (rc == -1) {
    int code = net_last_error();
    if (is_connection_lost(code)) {
      end_with("offline %s:%d %d [offline]", reported_ip(), peer_port_, code);
      return;
    }
    LOG("e", "user_id:%d ip:%s socket error!Error code:%d Status:%s", student_.user_id, reported_ip(),
        code, status);
    (*failures)++;
  } else if (rc == kNoHead) {
    (*failures)++;
  }
}

void SocketTaskThread::farewell_wait(int64_t sent_at, const char* overtime, const char* status) {
  if (whole_seconds(wall_ms()) - whole_seconds(sent_at) > 1) {
    end_with(overtime, reported_ip(), peer_port_);
    return;
  }
  Message m;
  int rc = read_message(socket_, &m, &pending_);
  if (rc == -1) {
    int code = net_last_error();
    if (is_connection_lost(code)) {
      end_with("offline %s:%d %d [offline]", reported_ip(), peer_port_, code);
      return;
    }
    LOG("e", "user_id:%d ip:%s socket error!Error code:%d Status:%s", student_.user_id, reported_ip(),
        code, status);
  } else if (rc == kReadProtocolError) {
    end_with("offline %s:%d head line too long [offline]", reported_ip(), peer_port_);
  } else if (rc > 0 && m.parsed && m.type == ACK) {
    end_session();
  }
}
