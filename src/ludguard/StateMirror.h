// The state mirror: keeps log/broadcast and log/instruction equal to the
// course and the current instruction that ludarium writes into the state
// store, logs a stall line when the oldest of its four records is more than
// 20 s old, and writes the two files back into the store before a launch.
#pragma once

#include <cstdint>
#include <string>

class StateStore;

// Every pass reads ludarium's four keys in the order of kMirrorKeys
// (StateKeys.h).

// "[%Y-%m-%d %H:%M:%S.mmm]" in local time.
std::string timeText(int64_t ms);

class StateMirror {
 public:
  // Neither pointer nor store is owned; the store outlives the mirror.
  StateMirror(StateStore* store, const std::string& broadcast_path,
              const std::string& instruction_path);

  // Writes each non-empty file into the store under its key. Returns "" or
  // the failures (a full table, a closed store) for the caller to log.
  std::string restore();

  // One pass: reads the four keys, replaces (atomically) a mirror file
  // whose text differs from its value, and returns the stall line (starting
  // with "\n") when the earliest record is more than 20 s older than the
  // end of the pass, else "". A key without a record adds nothing and
  // leaves its file alone.
  std::string pass();

  // The clock of pass(), replaceable by tests (milliseconds since 1970).
  void setClock(int64_t (*clock)()) { clock_ = clock; }

 private:
  StateStore* store_;
  std::string broadcast_path_;
  std::string instruction_path_;
  int64_t (*clock_)();
};
