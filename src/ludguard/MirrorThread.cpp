#include "MirrorThread.h"

#include "GuardLog.h"
#include "StateMirror.h"
#include "Thread.h"

namespace {
const unsigned int kPassPauseMs = 3000;
}  // namespace

MirrorThread::MirrorThread(StateStore* store, std::function<bool()> stop_requested)
    : store_(store), stop_requested_(std::move(stop_requested)) {}

void MirrorThread::setDirectory(const std::string& dir) {
  broadcast_path_ = dir + "broadcast";
  instruction_path_ = dir + "instruction";
}

void MirrorThread::restore() {
  if (store_ == nullptr) return;
  std::string failures = StateMirror(store_, broadcast_path_, instruction_path_).restore();
  if (!failures.empty()) GUARD_LOG("ludguard", "restoreState", "error: %s", failures.c_str());
}

void MirrorThread::start() {
  MutexGuard guard(&lock_);
  if (running_) return;
  if (thread_begin(deamonThread, this) == 0) running_ = true;
}

bool MirrorThread::shouldEnd() {
  MutexGuard guard(&lock_);
  if (!stop_requested_()) return false;
  running_ = false;
  return true;
}

unsigned int MirrorThread::deamonThread(void* arg) {
  thread_set_name("mirror");
  MirrorThread* self = static_cast<MirrorThread*>(arg);
  sleep_ms(kPassPauseMs);
  StateMirror mirror(self->store_, self->broadcast_path_, self->instruction_path_);
  while (!self->shouldEnd()) {
    if (self->store_ != nullptr) {
      std::string stall = mirror.pass();
      if (!stall.empty()) GUARD_LOG("ludguard", "deamonThread", "%s", stall.c_str());
    }
    sleep_ms(kPassPauseMs);
  }
  return 0;
}
