// State prepare of SocketTaskThread: the login handshake.
#include "Log.h"
#include "SocketTaskThread.h"
#include "WireProtocol.h"

namespace {

int64_t whole_seconds(int64_t ms) { return ms / 1000; }

}  // namespace

SocketTaskThread::Wait SocketTaskThread::pass_prepare() {
  int step = prepare_step_;
  switch (step) {
    case 1: prepare_ask(); break;
    case 2: prepare_wait_record(); break;
    case 3: prepare_reply(ACK, "offline %s:%d sci_overtimes [offline]"); break;
    case 4: prepare_reply(LOGIN_REFUSED, "offline %s:%d rr_overtimes [offline]"); break;
  }
  int64_t now = link_->now_ms();
  if (state_ != kPrepare) return go_on(now);
  if (prepare_step_ == 2) {
    // The record is awaited until more than 2 s (whole seconds) have passed
    // since the ask.
    int64_t overtime = (whole_seconds(ask_sent_) + 3) * 1000;
    if (read_failed_) return Wait{std::min(overtime, now + kPassMs), false};
    if (read_again_) return Wait{now, true};
    return Wait{overtime, true};
  }
  // A step that moved on continues at once; one that failed is tried again.
  return prepare_step_ != step ? go_on(now) : retry_later(now);
}

void SocketTaskThread::prepare_ask() {
  if (ask_failures_ > 4) {
    end_with("offline %s:%d scon_overtimes [offline]", peer_ip_.c_str(), peer_port_);
    return;
  }
  int rc = send(USER_INFO_REQUEST);
  if (rc > 0) {
    ask_sent_ = link_->now_ms();
    prepare_step_ = 2;
  } else if (rc == -1) {
    int code = failure_code(peer_ip_.c_str());
    if (code < 0) return;
    LOG("e", "ip:%s:%d socket error!Error code:%d Status:%d", peer_ip_.c_str(), peer_port_, code, 1);
    ask_failures_++;
  } else if (rc == kNoHead) {
    LOG("e", "ip:%s:%d construct head json string error", peer_ip_.c_str(), peer_port_);
    ask_failures_++;
  } else {
    ask_failures_++;  // no room: a tablet that does not read is not waited for
  }
}

void SocketTaskThread::prepare_wait_record() {
  if (whole_seconds(link_->now_ms()) - whole_seconds(ask_sent_) > 2) {
    end_with("offline %s:%d rc_overtime [offline]", peer_ip_.c_str(), peer_port_);
    return;
  }
  Message m;
  int rc = receive(&m, peer_ip_.c_str());
  if (rc == -1) {
    int code = failure_code(peer_ip_.c_str());
    if (code < 0) return;
    LOG("e", "ip:%s:%d socket error!Error code:%d Status:%d", peer_ip_.c_str(), peer_port_, code, 2);
    return;
  }
  if (rc <= 0) return;
  read_again_ = false;  // the next step sends; whatever follows is read in working

  User login = parseUserJson(m.body);
  if (login.user_id == -1) {
    prepare_step_ = 4;
    return;
  }
  User stored = context_.users.get(login.user_id);
  if (stored.user_id == -1) {
    accept_login(login, User());
    return;
  }
  bool same_device_ended = directory_->checkTaskAndExitByMac(login.user_mac, task_id_);
  if (stored.is_online != 1 || same_device_ended) {
    accept_login(login, stored);
  } else if (stored.log_type != 0) {
    directory_->Kickoff(login.user_id);
    accept_login(login, stored);
  } else if (login.log_type != 0) {
    prepare_step_ = 4;
  } else {
    directory_->Kickoff(login.user_id);
    accept_login(login, stored);
  }
}

// Stores the login's record (replacing the stored one), keeps the delivery
// and receipt fields of the record stored before, and marks it online. Only
// the student's own record is stored: objects nested in the body are not
// records of other students.
void SocketTaskThread::accept_login(const User& login, const User& previous) {
  User record = login;
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
  context_.users.add(record);
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
    heartbeat_sent_ = last_heard_ = link_->now_ms();
    // Whatever the tablet sent behind its record is read in working.
    if (!pending_.empty()) read_again_ = true;
    // Working, unless a kick-off came while the ACK went out (the tablet
    // may log in elsewhere as soon as it has the ACK): that farewell stands.
    int32_t prepare = kPrepare;
    state_.compare_exchange_strong(prepare, kWorking);
  } else if (rc == -1) {
    int code = failure_code(reported_ip());
    if (code < 0) return;
    LOG("e", "user_id:%d ip:%s socket error!Error code:%d Status:%d", student_.user_id, reported_ip(),
        code, prepare_step_);
    reply_failures_++;
  } else if (rc == kNoHead) {
    LOG("e", "ip:%s:%d construct head json string error", peer_ip_.c_str(), peer_port_);
    reply_failures_++;
  } else {
    reply_failures_++;  // no room
  }
}
