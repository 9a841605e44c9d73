// The state store: a table of 100 key/value records in named shared memory,
// guarded by a named mutex, shared by ludarium (writes every second, reads at
// start) and ludguard (reads, writes its mirror back). The byte layout is the
// contract between the two programs and must not change:
//
//   record i at byte i * 2064, little-endian:
//     0    int32  in-use flag (1 = used, anything else = free)
//     4    1024   key, zero-terminated text
//     1028 1024   value, zero-terminated text
//     2052 4      gap: holds the terminating zero of a 1024-byte value
//     2056 int64  time of the last write, ms since 1970 (UTC)
//
// The first used record with a matching key is the one every reader uses.
// A value longer than 1024 bytes is kept whole: its first 1024 bytes in the
// key's own record (what a reader of an older version sees), the rest in
// continuation records "KEY#1", "KEY#2"... of 1024 bytes each, all stamped
// with the same write time. A reader joins the continuations only while
// their time equals the head's, so a head rewritten by a version that cuts
// long values never gets a stale tail. A write that would need more free
// records than there are, or a text with a zero byte in it, is refused (-4)
// and the previous value stays as it was: a value is stored whole or not at
// all.
//
// Each operation holds the mutex (waiting at most 2 s) only while it scans
// the table. Results: 0 success, -1 lock not obtained in time, -2 lock not
// released, -3 store not open or the wait failed otherwise (also when the
// previous owner died holding the lock; the lock is released again so the
// table stays usable), -4 the value cannot be stored whole (table full, or a
// text that cannot be kept), nothing changed.
//
// Thread safety: the operations may be called from any thread; the named
// mutex serialises them across threads and processes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class NamedMutex;
class SharedMemory;

class StateStore {
 public:
  static const char* const kMutexName;    // "com.norvale.tessera.ipc.lock"
  static const char* const kMappingName;  // "com.norvale.tessera.ipc.shm"
  static constexpr int kRecords = 100;
  static constexpr size_t kRecordSize = 2064;
  static constexpr size_t kTextSize = 1024;
  static constexpr size_t kSize = kRecords * kRecordSize;  // 206,400
  static constexpr int kLockTimeoutMs = 2000;

  static constexpr int kRefused = -4;

  // Opens (or creates) the objects of the given names; the store is closed
  // when that fails.
  StateStore(const char* mutex_name = kMutexName, const char* mapping_name = kMappingName);
  ~StateStore();
  StateStore(const StateStore&) = delete;
  StateStore& operator=(const StateStore&) = delete;

  bool is_open() const { return view_ != nullptr; }
  // Tries again to open a closed store (the objects may be obtainable now,
  // e.g. after memory was freed). True when the store is open afterwards.
  // Not to be called while another thread uses the store.
  bool reopen();

  int write(const std::string& key, const std::string& value);
  // Leaves value (and *time) unchanged when the key is absent; still 0.
  int read(const std::string& key, std::string* value, int64_t* time = nullptr);
  // Frees the key's first record and its continuations.
  int remove(const std::string& key);

  struct Record {
    int index;
    std::string key;
    std::string value;
    int64_t time;
  };
  // Calls fn for every used record in index order, under the lock; raw
  // records, continuations included.
  template <typename Fn>
  int for_each(Fn fn);

 private:
  void open(const char* mutex_name, const char* mapping_name);
  void close();
  int lock();
  int unlock();
  int find(const std::string& key) const;  // index of the first used match, or -1
  std::string load_value(int head) const;  // the head's value joined with its tail
  void free_tail(const std::string& key, size_t from);  // frees KEY#from, KEY#from+1...
  unsigned char* record(int i) const { return view_ + static_cast<size_t>(i) * kRecordSize; }
  Record load(int i) const;

  std::string mutex_name_;
  std::string mapping_name_;
  NamedMutex* mutex_ = nullptr;
  SharedMemory* mapping_ = nullptr;
  unsigned char* view_ = nullptr;
};

template <typename Fn>
int StateStore::for_each(Fn fn) {
  if (view_ == nullptr) return -3;
  int rc = lock();
  if (rc != 0) return rc;
  for (int i = 0; i < kRecords; ++i) {
    Record r = load(i);
    if (r.index >= 0) fn(r);
  }
  return unlock();
}
