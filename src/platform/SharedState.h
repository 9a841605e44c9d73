// The two named kernel objects behind the state store: a named mutex and a
// named block of shared memory. Names are plain ASCII.
//
// Windows: a named mutex and a paging-file-backed file mapping in the
// session namespace; they live while any process holds a handle.
// Linux: POSIX shared-memory objects ("/" + name) in /dev/shm. The mutex is
// a robust, process-shared, recursive pthread mutex in an object of its
// own. They live until they are unlinked or the machine restarts, not only
// while a process holds them.
#pragma once

#include <cstddef>

class NamedMutex {
 public:
  // Opens the mutex of that name, creating it (not owned) when missing.
  // Returns null on failure.
  static NamedMutex* open(const char* name);
  virtual ~NamedMutex() {}

  enum WaitResult { kAcquired = 0, kTimeout = 1, kAbandoned = 2, kFailed = -1 };
  // Waits at most timeout_ms to own the mutex. kAbandoned: the previous owner
  // died holding it; the caller now owns it and the mutex is usable again.
  virtual WaitResult lock(int timeout_ms) = 0;
  // 0, or -1 when the release fails (caller does not own it).
  virtual int unlock() = 0;
};

class SharedMemory {
 public:
  // Opens the block of that name or creates it zero-filled with `size`
  // bytes, and maps it for reading and writing. Returns null on failure.
  static SharedMemory* open(const char* name, size_t size);
  virtual ~SharedMemory() {}  // unmaps and closes
  virtual unsigned char* data() = 0;
  virtual size_t size() const = 0;
};
