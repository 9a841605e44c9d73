#include "SocketTaskThread.h"

#include <cstdarg>
#include <cstdio>

#include "Log.h"
#include "WireProtocol.h"

SocketTaskThread::SocketTaskThread(SessionDirectory* directory, const SessionContext& context,
                                   std::unique_ptr<SessionLink> link, int32_t task_id)
    : directory_(directory),
      context_(context),
      link_(std::move(link)),
      heartbeat_interval_ms_(context.settings.itimeout() != 0
                                 ? static_cast<int64_t>(context.settings.itimeout() / 5) * 1000
                                 : 7000),
      session_timeout_s_(context.settings.sessionTimeoutSeconds()),
      task_id_(task_id),
      random_(static_cast<unsigned>(link_->now_ms()) ^ (static_cast<unsigned>(task_id) * 2654435761u)) {
  draw_jitter();
}

void SocketTaskThread::initialise() {
  if (!link_->peer_address(&peer_ip_, &peer_port_)) {
    peer_ip_.clear();
    peer_port_ = 0;
  }
  state_ = kPrepare;
  prepare_step_ = 1;
  ask_failures_ = reply_failures_ = unanswered_heartbeats_ = kickoff_failures_ = quit_failures_ = 0;
  send_failed_ = false;
  kicked_ = false;
  login_since_ = link_->now_ms();
}

SocketTaskThread::Wait SocketTaskThread::pass(bool readable) {
  if (readable) read_again_ = true;  // cleared by the receive that drains it
  int state = state_;
  if ((state == kPrepare || state == kOffline) && past_deadline(link_->now_ms())) return go_on(link_->now_ms());
  switch (state) {
    case kPrepare: return pass_prepare();
    case kWorking: return pass_working();
    case kOffline: return pass_offline();
    default: return retry_later(link_->now_ms());  // ended from outside; stop_ follows
  }
}

bool SocketTaskThread::past_deadline(int64_t now) {
  if (state_ == kPrepare) {
    if (now - login_since_ < kLoginDeadlineMs) return false;
    end_with("offline %s:%d login overtime [offline]", peer_ip_.c_str(), peer_port_);
    return true;
  }
  if (farewell_since_ == 0) farewell_since_ = now;
  if (now - farewell_since_ < kFarewellDeadlineMs) return false;
  end_with("offline %s:%d farewell overtime [offline]", reported_ip(), peer_port_);
  return true;
}

void SocketTaskThread::draw_jitter() { jitter_ms_ = static_cast<int64_t>(random_() % 2000); }

void SocketTaskThread::set_student(const User& record) {
  MutexGuard guard(directory_->lock());
  student_ = record;
}

int SocketTaskThread::send(int32_t type, uint64_t instruct_id, const std::string& body) {
  std::string head = write_frame(static_cast<int32_t>(body.size()), type, instruct_id);
  if (head.empty()) return kNoHead;
  return link_->send(head + "\n" + body);
}

int SocketTaskThread::receive(Message* m, const char* ip) {
  if (!read_again_) return 0;
  read_again_ = read_failed_ = false;
  int rc = read_message(link_.get(), m, &pending_);
  if (rc > 0) {
    // Another frame may already be in, with nothing left to make the
    // connection readable.
    read_again_ = true;
  } else if (rc == -1) {
    read_failed_ = read_again_ = true;
  } else if (rc == kReadClosed) {
    end_with("offline %s:%d %d [offline]", ip, peer_port_, 0);
  } else if (rc == kReadProtocolError) {
    end_with("offline %s:%d head line too long [offline]", ip, peer_port_);
    rc = kReadClosed;
  } else if (rc == kReadBadLength) {
    end_with("offline %s:%d content-length %d type %d [offline]", ip, peer_port_, m->content_length, m->type);
    rc = kReadClosed;
  }
  // A session past a large login keeps no large buffer.
  if (pending_.empty() && pending_.capacity() > 4096) std::string().swap(pending_);
  return rc;
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
  if (directory_->has_other_live_session(student_.user_id, task_id_)) return;
  if (student_.user_id == -1) return;  // never logged in: nobody to mark offline
  User record = student_;
  record.is_online = 0;
  set_student(record);
  context_.users.update(record);
}

int SocketTaskThread::failure_code(const char* ip) {
  int code = link_->last_error();
  if (!is_connection_lost(code)) return code;
  end_with("offline %s:%d %d [offline]", ip, peer_port_, code);
  return -1;
}

// The step is chosen before the state changes, so the session never runs an
// offline pass without a farewell chosen.
void SocketTaskThread::kickoff() {
  kicked_ = true;
  farewell_step_ = 1;
  state_ = kOffline;
  wake();
}

void SocketTaskThread::exit_by_mac() {
  state_ = kEnded;
  stop_ = 1;
  User record = context_.users.get(student_.user_id);
  record.is_online = 0;
  context_.users.update(record);
  wake();
}
