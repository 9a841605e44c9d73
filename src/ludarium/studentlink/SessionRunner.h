// One thread that runs the passes of up to SocketSetWaiter::kCapacity
// student sessions. Each session is still its own state machine
// (SocketTaskThread::pass); the runner does for all of them what a thread
// of their own would: it sleeps until one of them has work (its connection
// is readable, it was woken, or its nearest deadline passed), runs one pass
// of each such session, and hands a session that stopped to the server's
// TaskThreadExit.
//
// Why not a thread per session: under Windows every thread costs about
// 1 MiB of memory and of a 32-bit process's address space, so 4,096
// sessions cannot fit; and waking thousands of threads for one instruction
// costs more than the delivery itself.
//
// A session's passes all run on its runner's thread, one after another, so
// what the session owns is still touched by one thread only. A pass that
// waits (a send with no room waits up to 10 ms) delays the other sessions of
// its runner by as much; closing an ended session's connection can wait for
// the peer for up to a second, so that is done on a thread of its own.
//
// Thread safety: add() and has_room() from the accept thread; wake() from
// any thread; everything else on the runner's own thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "Mutex.h"
#include "Net.h"
#include "SocketSetWaiter.h"

class SocketLink;
class SocketServer;
class SocketTaskThread;

class SessionRunner {
 public:
  static constexpr int kCapacity = SocketSetWaiter::kCapacity;

  explicit SessionRunner(SocketServer* server);

  // Starts the thread, which keeps `self` alive; false when none started.
  static bool start(const std::shared_ptr<SessionRunner>& self);

  // Sessions handed over and not yet ended are fewer than kCapacity.
  bool has_room() const { return assigned_ < kCapacity; }
  // Hands over a new session whose connection is s, over `link`; its first
  // pass runs at once. Throws std::bad_alloc (and takes nothing) when out
  // of memory.
  void add(std::shared_ptr<SocketTaskThread> session, sock_t s, SocketLink* link);
  // The runner looks at its sessions now (those woken run their next
  // pass). `cell` is the woken session's (SocketLink::set_wake_cell), or -1.
  void wake(int cell = -1);

 private:
  struct Entry {
    std::shared_ptr<SocketTaskThread> session;
    SocketLink* link;
    int slot;          // in waiter_; -1 when the connection could not be watched
    int cell;          // in woken_cells_
    int64_t until_ms;  // SocketTaskThread::kNoDeadline or a time (ms since 1970)
    bool watch;        // the last pass asked to wake when the connection is readable
    bool readable;     // a report not yet passed to the session
    bool fresh;        // not yet run
    bool hinted;       // its cell was set: it may have been woken
  };

  static unsigned int thread_main(void* self);
  void loop();
  void take_new();
  // Marks the entries whose cells wake() set since the last look.
  void take_hints();
  // Runs one pass of the entry when it is due; false when its session ended.
  bool run_if_due(Entry* e, int64_t now);
  void finish(Entry* e);
  // When the entry wants its next pass at the latest (kNoDeadline: only
  // when woken or readable).
  static int64_t deadline_of(const Entry& e, int64_t now);
  static int64_t earlier(int64_t a, int64_t b);
  // The time the next wait may take at most, given the nearest deadline:
  // -1 for no limit.
  int wait_ms(int64_t now, int64_t nearest) const;

  SocketServer* server_;
  const int64_t tick_phase_ms_;
  SocketSetWaiter waiter_;
  std::atomic<int> assigned_{0};
  // Set by wake() once until the runner looks: wakes between two looks
  // signal the waiter only once.
  std::atomic<bool> wake_pending_{false};
  // One bit per cell, set by wake(cell). A session's woken flag lives in
  // the session; looking at it for every session on every look cost the
  // runner a cache miss per session, so only the sessions whose cells are
  // set are asked. A bit may come from a session that has since left its
  // cell: its successor's own flag then says it was not woken.
  static constexpr int kCellWords = (kCapacity + 31) / 32;
  std::atomic<uint32_t> woken_cells_[kCellWords];
  struct Arrival {
    std::shared_ptr<SocketTaskThread> session;
    sock_t socket;
    SocketLink* link;
  };
  Mutex inbox_lock_;
  std::vector<Arrival> inbox_;  // inbox_lock_
  // Runner thread only: the sessions, the index in entries_ of each slot's
  // and each cell's session (-1: none), the cells free, and how many
  // sessions have no slot.
  std::vector<Entry> entries_;
  std::vector<int> entry_at_slot_;
  std::vector<int> entry_at_cell_;
  std::vector<int> free_cells_;
  int unwatched_ = 0;
};
