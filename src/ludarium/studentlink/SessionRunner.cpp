#include "SessionRunner.h"

#include <algorithm>
#include <new>
#include <utility>

#include "Clock.h"
#include "SocketLink.h"
#include "SocketServer.h"
#include "SocketTaskThread.h"
#include "Thread.h"

namespace {

// Without a working wait, sessions fall back to passes of this length that
// try their sockets each time (the receive never blocks).
const int kFallbackPassMs = 200;

// A timed wait ends on the runner's next tick at or after the nearest
// deadline, and every session due by then runs in that one wake: the
// random pauses of an instruction's delivery (0-199 ms) otherwise cost a
// wake each. A session runs at most this much after its deadline, as if
// its thread had been woken late.
const int64_t kTickMs = 10;

}  // namespace

// Each runner's ticks fall at its own phase, so the runners of a large
// class do not all wake at the same instants.
SessionRunner::SessionRunner(SocketServer* server)
    : server_(server), tick_phase_ms_(static_cast<int64_t>(reinterpret_cast<uintptr_t>(this) >> 6) % kTickMs) {
  // The runner's thread never allocates for its list of sessions.
  entries_.reserve(kCapacity);
  entry_at_slot_.assign(kCapacity, -1);
  entry_at_cell_.assign(kCapacity, -1);
  for (int cell = kCapacity - 1; cell >= 0; --cell) free_cells_.push_back(cell);
  for (auto& word : woken_cells_) word = 0;
}

bool SessionRunner::start(const std::shared_ptr<SessionRunner>& self) {
  return thread_run([self] { self->loop(); }) == 0;
}

void SessionRunner::add(std::shared_ptr<SocketTaskThread> session, sock_t s, SocketLink* link) {
  {
    MutexGuard guard(&inbox_lock_);
    inbox_.push_back(Arrival{std::move(session), s, link});
  }
  assigned_++;
  wake();
}

void SessionRunner::wake(int cell) {
  if (cell >= 0 && cell < kCapacity) woken_cells_[cell / 32].fetch_or(1u << (cell % 32));
  if (!wake_pending_.exchange(true)) waiter_.wake();
}

void SessionRunner::loop() {
  thread_set_name("sessions");
  std::vector<int> readable;
  readable.reserve(kCapacity);
  for (;;) {
    // Before any session's wake flag is read: a wake() after this point
    // signals the waiter again.
    wake_pending_ = false;
    take_new();
    take_hints();
    int64_t now = wall_ms();
    int64_t nearest = SocketTaskThread::kNoDeadline;
    for (size_t i = 0; i < entries_.size();) {
      Entry& e = entries_[i];
      if (run_if_due(&e, now)) {
        nearest = earlier(nearest, deadline_of(e, now));
        ++i;
        continue;
      }
      finish(&e);
      if (e.slot >= 0) entry_at_slot_[static_cast<size_t>(e.slot)] = -1;
      if (e.cell >= 0) {
        entry_at_cell_[static_cast<size_t>(e.cell)] = -1;
        free_cells_.push_back(e.cell);
      }
      if (i + 1 < entries_.size()) {
        e = std::move(entries_.back());
        if (e.slot >= 0) entry_at_slot_[static_cast<size_t>(e.slot)] = static_cast<int>(i);
        if (e.cell >= 0) entry_at_cell_[static_cast<size_t>(e.cell)] = static_cast<int>(i);
      }
      entries_.pop_back();
    }

    int ms = wait_ms(wall_ms(), nearest);
    readable.clear();
    if (waiter_.wait(ms, &readable) < 0) {
      sleep_ms(static_cast<unsigned>(ms < 0 || ms > kFallbackPassMs ? kFallbackPassMs : ms));
      for (Entry& e : entries_) e.readable = true;
      continue;
    }
    for (int slot : readable) {
      int index = entry_at_slot_[static_cast<size_t>(slot)];
      if (index >= 0) entries_[static_cast<size_t>(index)].readable = true;
    }
    if (unwatched_ > 0) {
      for (Entry& e : entries_) {
        if (e.slot < 0) e.readable = true;
      }
    }
  }
}

void SessionRunner::take_new() {
  std::vector<Arrival> arrived;
  {
    MutexGuard guard(&inbox_lock_);
    arrived.swap(inbox_);
  }
  for (Arrival& item : arrived) {
    int index = static_cast<int>(entries_.size());
    int slot = waiter_.add(item.socket);
    if (slot >= 0) {
      entry_at_slot_[static_cast<size_t>(slot)] = index;
    } else {
      unwatched_++;
    }
    // There is a cell for every session the runner holds.
    int cell = -1;
    if (!free_cells_.empty()) {
      cell = free_cells_.back();
      free_cells_.pop_back();
      entry_at_cell_[static_cast<size_t>(cell)] = index;
      item.link->set_wake_cell(cell);
    }
    item.session->initialise();
    entries_.push_back(Entry{std::move(item.session), item.link, slot, cell,
                             SocketTaskThread::kNoDeadline, false, false, true, false});
  }
}

void SessionRunner::take_hints() {
  for (int word = 0; word < kCellWords; ++word) {
    uint32_t bits = woken_cells_[word].exchange(0);
    for (int bit = 0; bits != 0; ++bit, bits >>= 1) {
      if ((bits & 1u) == 0) continue;
      int index = entry_at_cell_[static_cast<size_t>(word * 32 + bit)];
      if (index >= 0) entries_[static_cast<size_t>(index)].hinted = true;
    }
  }
}

bool SessionRunner::run_if_due(Entry* e, int64_t now) {
  // Only a woken session is asked whether it was: see woken_cells_. A
  // session ended from outside (a login from the same device) was woken.
  bool woken = (e->hinted || e->fresh || e->cell < 0) && e->session->take_woken();
  e->hinted = false;
  bool due = e->fresh || woken || (e->watch && e->readable) ||
             (e->until_ms != SocketTaskThread::kNoDeadline && e->until_ms <= now);
  if (!due) return true;
  SocketTaskThread* session = e->session.get();
  if (session->stop_flag() != 0) return false;
  e->fresh = false;
  SocketTaskThread::Wait next = session->pass(e->readable);
  e->readable = false;
  e->until_ms = next.until_ms;
  e->watch = next.socket;
  return session->stop_flag() == 0;
}

void SessionRunner::finish(Entry* e) {
  // A wake from now on is for no cell; one already under way at most
  // makes the cell's next session ask its own flag.
  e->link->set_wake_cell(-1);
  waiter_.remove(e->slot);
  if (e->slot < 0) unwatched_--;
  std::shared_ptr<SocketTaskThread> session = std::move(e->session);
  SocketServer* server = server_;
  int started = -1;
  try {
    started = thread_run([server, session] {
      thread_set_name("session end");
      server->TaskThreadExit(session);
    });
  } catch (const std::bad_alloc&) {
  }
  // Without a thread the runner closes it itself, and its other sessions wait.
  if (started != 0) server->TaskThreadExit(session);
  assigned_--;
}

int64_t SessionRunner::deadline_of(const Entry& e, int64_t now) {
  // A connection that cannot be watched is tried on every pass.
  if (e.slot < 0 && e.watch) return earlier(e.until_ms, now + kFallbackPassMs);
  return e.until_ms;
}

int64_t SessionRunner::earlier(int64_t a, int64_t b) {
  if (a == SocketTaskThread::kNoDeadline) return b;
  if (b == SocketTaskThread::kNoDeadline) return a;
  return std::min(a, b);
}

int SessionRunner::wait_ms(int64_t now, int64_t nearest) const {
  if (nearest == SocketTaskThread::kNoDeadline) return -1;
  if (nearest <= now) return 0;
  int64_t late = (nearest - tick_phase_ms_) % kTickMs;
  if (late > 0) nearest += kTickMs - late;
  return static_cast<int>(std::min<int64_t>(nearest - now, 24 * 3600 * 1000));
}
