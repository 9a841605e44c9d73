// State working of SocketTaskThread: heartbeats, instruction delivery and
// re-sends, receipts.
#include <algorithm>

#include "Clock.h"
#include "Log.h"
#include "SocketTaskThread.h"
#include "Util.h"
#include "WireProtocol.h"

namespace {

int64_t whole_seconds(int64_t ms) { return ms / 1000; }

}  // namespace

SocketTaskThread::Wait SocketTaskThread::pass_working() {
  // A delivery waiting out its pause goes out first: the pause ended, or a
  // wake cut it short.
  if (delivery_pending_) {
    bool cut_short = link_->now_ms() < delivery_due_;
    finish_delivery();
    // The wake that cut the pause short may have been for a newer
    // instruction: a whole pass follows at once.
    if (cut_short || state_ != kWorking) return go_on(link_->now_ms());
    return working_wait(link_->now_ms());
  }

  int32_t course_class = context_.course.classId();
  if (course_class != student_.class_id) {
    if (course_class != 0 && course_class != -1) {
      // QUIT, unless a kick-off has already chosen KICKOFF.
      int32_t none = 0;
      farewell_step_.compare_exchange_strong(none, 3);
      state_ = kOffline;
      return go_on(link_->now_ms());
    }
    return pause_for_course();
  }

  working_receive();
  if (stop_ != 0) return go_on(link_->now_ms());

  int64_t now = link_->now_ms();
  if (whole_seconds(now) - whole_seconds(last_heard_) >= session_timeout_s_) {
    end_with("offline %s:%d overtime [offline]", reported_ip(), peer_port_);
    return go_on(now);
  }

  if (now - heartbeat_sent_ >= heartbeat_interval_ms_ + jitter_ms_) {
    unanswered_heartbeats_++;
    if (unanswered_heartbeats_ < 6) {
      int sent = send(HEARTBEAT);
      if (sent > 0) {
        heartbeat_sent_ = link_->now_ms();
        draw_jitter();
      } else if (sent == -1) {
        int code = failure_code(reported_ip());
        if (code < 0) return go_on(now);
        LOG("e", "user_id:%d ip:%s socket error!Error code:%d Status:Send hearbeat", student_.user_id,
            reported_ip(), code);
      }
    }
  }

  if (student_.group_id != groups_text_) {
    groups_text_ = student_.group_id;
    groups_ = parse_id_list(groups_text_);
  }
  InstructionEntry entry = context_.instructions.select_for(student_, groups_);
  uint64_t id = entry.instruct_id;
  // An id whose attempt failed is not new again: its re-sends are counted.
  if (id != 0 && id != acked_id_ && id != inflight_id_ && !(send_failed_ && id == failed_id_)) {
    send_failed_ = false;
    resend_count_ = 0;
    deliver(id, entry.command, "working send instruction", entry.filed_at);
  } else if (send_failed_ || acked_id_ != inflight_id_) {
    if (whole_seconds(link_->now_ms()) - whole_seconds(instruction_attempt_) > 1) {
      resend_count_++;
      if (resend_count_ > 4) {
        end_with("offline %s:%d sendist_overtimes [offline]", reported_ip(), peer_port_);
        return go_on(now);
      }
      deliver(id, entry.command,
              send_failed_ ? "working resend instruction" : "working instruction reply overtime resend instruction");
    }
  }
  if (stop_ != 0 || state_ != kWorking) return go_on(link_->now_ms());
  return working_wait(link_->now_ms());
}

// Takes every frame that has come, up to a bound that keeps one chatty
// tablet from holding up the other sessions of its runner.
void SocketTaskThread::working_receive() {
  for (int frames = 0; frames < kFramesPerPass; ++frames) {
    Message m;
    int rc = receive(&m, reported_ip());
    if (rc == -1) {
      int code = failure_code(reported_ip());
      if (code < 0) return;
      LOG("e", "user_id:%d ip:%s socket error!Error code:%d Status:working recv", student_.user_id,
          reported_ip(), code);
      return;
    }
    if (rc <= 0) {
      read_again_ = false;  // the connection is drained
      return;
    }
    if (!m.parsed) continue;
    if (m.type == HEARTBEAT_REPLY) {
      unanswered_heartbeats_ = 0;
      last_heard_ = link_->now_ms();
    } else if (m.type == INSTRUCTION_RECEIPT) {
      uint64_t id = text_to_uint64(m.instruct_id);
      if (id != 0 && id != ~0ull) {
        context_.users.setReceipt(student_.user_id, id, m.head, link_->now_ms());
        set_student(context_.users.get(student_.user_id));
        if (id == inflight_id_) {
          acked_id_ = inflight_id_;
          resend_count_ = 0;
          last_heard_ = link_->now_ms();
        }
      }
    }
  }
}

// Lets the instruction wait out a random pause of 0-199 ms, which spreads the
// sends of many sessions woken together; finish_delivery then records the
// attempt and sends it. Recording at the send rather than before the pause
// spreads the registry's work over the pause as well.
// The first send of an instruction filed less than 200 ms ago counts its
// pause from the filing (filed_at, elapsed_ms()), not from this session's
// wake: with thousands of sessions woken at once, the time they wait for a
// processor would otherwise come on top of every pause.
void SocketTaskThread::deliver(uint64_t id, const std::string& command, const char* failure_status,
                               int64_t filed_at) {
  int64_t pause = static_cast<int64_t>(random_() % 200);
  int64_t age = filed_at >= 0 ? elapsed_ms() - filed_at : -1;
  if (age >= 0 && age < 200) pause = pause > age ? pause - age : 0;
  delivery_pending_ = true;
  delivery_due_ = link_->now_ms() + pause;
  delivery_id_ = id;
  delivery_command_ = command;
  delivery_status_ = failure_status;
}

void SocketTaskThread::finish_delivery() {
  delivery_pending_ = false;
  std::string command;
  command.swap(delivery_command_);
  uint64_t id = delivery_id_;
  int64_t now = link_->now_ms();
  context_.users.setInstruction(student_.user_id, command, id, now, resend_count_);
  student_.last_instruct = command;
  student_.instruct_id = id;
  student_.send_time = now;
  student_.send_times = resend_count_;

  std::string head = write_frame(static_cast<int32_t>(command.size()), INSTRUCTION, id);
  int rc = head.empty() ? kNoHead : link_->send(head + "\n" + command);
  if (rc > 0) {
    inflight_id_ = id;
    instruction_attempt_ = link_->now_ms();
    send_failed_ = false;
    return;
  }
  if (rc == -1) {
    int code = failure_code(reported_ip());
    if (code < 0) return;
    LOG("e", "user_id:%d ip:%s socket error!Error code:%d Status:%s", student_.user_id, reported_ip(), code,
        delivery_status_);
  }
  // No head, a failure, or no room (a tablet that does not read): a failed
  // attempt, re-sent and counted until the limit ends the session.
  instruction_attempt_ = link_->now_ms();
  send_failed_ = true;
  failed_id_ = id;
}

// No valid course: nothing is sent until the course changes (a wake), but
// the connection is still watched, so that a tablet that closes it ends its
// session now; what it sends meanwhile is read and taken as in working.
SocketTaskThread::Wait SocketTaskThread::pause_for_course() {
  working_receive();
  int64_t now = link_->now_ms();
  if (stop_ != 0) return go_on(now);
  if (read_failed_) return Wait{now + kPassMs, false};
  if (read_again_) return Wait{now, true};
  return Wait{kNoDeadline, true};
}

// The nearest of: the session time-out, the next heartbeat, the next
// re-send of an unacknowledged or failed instruction; the connection is
// watched throughout. The instruction worker and the course wake the
// session for anything else.
SocketTaskThread::Wait SocketTaskThread::working_wait(int64_t now) {
  if (delivery_pending_) return Wait{delivery_due_, false};
  int64_t until = (whole_seconds(last_heard_) + session_timeout_s_) * 1000;
  // From the sixth unanswered heartbeat on nothing more is sent.
  if (unanswered_heartbeats_ < 6) until = std::min(until, heartbeat_sent_ + heartbeat_interval_ms_ + jitter_ms_);
  if (send_failed_ || acked_id_ != inflight_id_) {
    until = std::min(until, (whole_seconds(instruction_attempt_) + 2) * 1000);
  }
  if (read_failed_) return Wait{until > now ? std::min(until, now + kPassMs) : now + kPassMs, false};
  if (read_again_) return Wait{now, true};
  // A deadline already passed is a step that did not get done (a send that
  // found no room): it is tried again on the next pass.
  if (until <= now) until = now + kPassMs;
  return Wait{until, true};
}
