#include "APIPullOpCmd.h"

#include "Clock.h"
#include "Log.h"
#include "OpCmd.h"
#include "Thread.h"
#include "Util.h"

namespace {

// Holds one of the waiting slots for a scope.
class WaitSlot {
 public:
  WaitSlot(std::atomic<int>* waiting, int limit) : waiting_(waiting) {
    taken_ = waiting_->fetch_add(1) < limit;
    if (!taken_) waiting_->fetch_sub(1);
  }
  ~WaitSlot() {
    if (taken_) waiting_->fetch_sub(1);
  }
  WaitSlot(const WaitSlot&) = delete;
  WaitSlot& operator=(const WaitSlot&) = delete;

  bool taken() const { return taken_; }

 private:
  std::atomic<int>* waiting_;
  bool taken_;
};

}  // namespace

int64_t APIPullOpCmd::timeoutSeconds(const std::string& text) {
  int64_t seconds = static_cast<int64_t>(text_to_uint64(text));
  return (seconds < 1 || seconds > 20) ? 20 : seconds;
}

int APIPullOpCmd::onHandleEvent(HttpRequest& request) {
  std::string timeout, type;
  if (!getShortParams(request, "timeout", &timeout, "type", &type)) {
    replyFail(request, "no timeout or type");
    return 1;
  }
  try {
    replyRaw(request, pull(type, timeoutSeconds(timeout)));
  } catch (const std::exception& e) {
    replyException(request, e, "", HANDLER_SITE);
  }
  return 1;
}

std::string APIPullOpCmd::pull(const std::string& type, int64_t timeout_seconds) {
  std::string cmd = queue_->get(type);
  if (!cmd.empty()) return cmd;
  WaitSlot slot(&waiting_, max_waiting_);
  if (!slot.taken()) {
    LOG("w", "%d pulls wait already, type=%s answered at once", max_waiting_, type.c_str());
    return cmd;
  }
  // A monotonic clock: a change of the wall clock neither ends a wait early
  // nor stretches it.
  const int64_t start = elapsed_ms();
  while (true) {
    cmd = queue_->get(type);
    if (!cmd.empty() || elapsed_ms() - start > timeout_seconds * 1000) return cmd;
    sleep_ms(10);
  }
}
