// State offline of SocketTaskThread: the farewell (KICKOFF or QUIT, then
// the tablet's ACK) before the connection is dropped.
#include <algorithm>

#include "Log.h"
#include "SocketTaskThread.h"
#include "WireProtocol.h"

namespace {

int64_t whole_seconds(int64_t ms) { return ms / 1000; }

}  // namespace

SocketTaskThread::Wait SocketTaskThread::pass_offline() {
  int step = farewell_step_;
  switch (step) {
    case 1:
      farewell_send(step, KICKOFF, &kickoff_failures_, &kickoff_sent_, "offline %s:%d skickoff_overtimes [offline]",
                    "send kickoff");
      break;
    case 2:
      farewell_wait(kickoff_sent_, "offline %s:%d rkickoff_overtime [offline]", "reply kickoff");
      break;
    case 3:
      farewell_send(step, QUIT, &quit_failures_, &quit_sent_, "offline %s:%d squit_overtimes [offline]", "send quit");
      break;
    case 4:
      farewell_wait(quit_sent_, "offline %s:%d rquit_overtime [offline]", "quit reply");
      break;
  }
  int64_t now = link_->now_ms();
  if (state_ != kOffline) return go_on(now);
  int current = farewell_step_;
  if (current == 2 || current == 4) {
    // The answer is awaited until more than 1 s (whole seconds) has passed.
    int64_t overtime = (whole_seconds(current == 2 ? kickoff_sent_ : quit_sent_) + 2) * 1000;
    if (read_failed_) return Wait{std::max(now, std::min(overtime, now + kPassMs)), false};
    if (read_again_) return Wait{now, true};
    return Wait{overtime, true};
  }
  // Moved on (or moved by a kick-off): continue at once; a failed send is
  // tried again on the next pass.
  return current != step ? go_on(now) : retry_later(now);
}

void SocketTaskThread::farewell_send(int step, int32_t type, int32_t* failures, int64_t* sent_at, const char* overtime,
                                     const char* status) {
  if (*failures > 4) {
    end_with(overtime, reported_ip(), peer_port_);
    return;
  }
  int rc = send(type);
  if (rc > 0) {
    *sent_at = link_->now_ms();
    farewell_advance(step);
  } else if (rc == -1) {
    int code = failure_code(reported_ip());
    if (code < 0) return;
    LOG("e", "user_id:%d ip:%s socket error!Error code:%d Status:%s", student_.user_id, reported_ip(), code,
        status);
    (*failures)++;
  } else {
    (*failures)++;  // no head built, or no room: a tablet that does not read
  }
}

void SocketTaskThread::farewell_advance(int step) {
  int32_t expected = step;
  farewell_step_.compare_exchange_strong(expected, step + 1);
}

void SocketTaskThread::farewell_wait(int64_t sent_at, const char* overtime, const char* status) {
  if (whole_seconds(link_->now_ms()) - whole_seconds(sent_at) > 1) {
    end_with(overtime, reported_ip(), peer_port_);
    return;
  }
  Message m;
  int rc = receive(&m, reported_ip());
  if (rc == -1) {
    int code = failure_code(reported_ip());
    if (code < 0) return;
    LOG("e", "user_id:%d ip:%s socket error!Error code:%d Status:%s", student_.user_id, reported_ip(), code,
        status);
  } else if (rc > 0 && m.parsed && m.type == ACK) {
    end_session();
  }
}
