#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

#include "SharedState.h"

namespace {

// Maps a POSIX shared-memory object, creating it with `size` zero bytes when
// it does not exist. *created tells whether this call created it; *stale
// that the object exists but was never sized (its creator died between
// creating and sizing it), so the caller may remove and recreate it.
//
// The object's memory is reserved (posix_fallocate) before it is mapped:
// an object on a full /dev/shm is otherwise sparse, and the first write to
// a page that cannot be backed ends the process with SIGBUS.
void* map_object(const char* name, size_t size, bool* created, bool* stale, int* fd_out) {
  std::string path = std::string("/") + name;
  *created = false;
  *stale = false;
  int fd = shm_open(path.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  if (fd >= 0) {
    *created = true;
    if (ftruncate(fd, static_cast<off_t>(size)) != 0 ||
        posix_fallocate(fd, 0, static_cast<off_t>(size)) != 0) {
      close(fd);
      shm_unlink(path.c_str());
      return nullptr;
    }
  } else if (errno == EEXIST) {
    fd = shm_open(path.c_str(), O_RDWR, 0600);
    if (fd < 0) return nullptr;
    // A creator may not have sized it yet; wait briefly for it.
    struct stat st = {};
    for (int i = 0; i < 200; ++i) {
      if (fstat(fd, &st) == 0 && static_cast<size_t>(st.st_size) >= size) break;
      usleep(1000);
    }
    if (fstat(fd, &st) != 0 || static_cast<size_t>(st.st_size) < size) {
      // Never sized at all: its creator is gone. An object of another size
      // is somebody else's and is left alone.
      *stale = st.st_size == 0;
      close(fd);
      return nullptr;
    }
    // An older version made its objects sparse: reserve what it left out.
    if (posix_fallocate(fd, 0, static_cast<off_t>(size)) != 0) {
      close(fd);
      return nullptr;
    }
  } else {
    return nullptr;
  }
  void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (p == MAP_FAILED) {
    close(fd);
    return nullptr;
  }
  *fd_out = fd;
  return p;
}

void remove_object(const char* name) { shm_unlink((std::string("/") + name).c_str()); }

// The shared object that holds the mutex. `ready` is set by the creator once
// the mutex is initialised; openers wait for it.
struct SharedMutexBlock {
  std::atomic<uint32_t> ready;
  pthread_mutex_t mutex;
};

class PosixNamedMutex : public NamedMutex {
 public:
  PosixNamedMutex(SharedMutexBlock* block, int fd) : block_(block), fd_(fd) {}
  ~PosixNamedMutex() override {
    munmap(block_, sizeof(SharedMutexBlock));
    close(fd_);
  }

  WaitResult lock(int timeout_ms) override {
    struct timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += timeout_ms / 1000;
    deadline.tv_nsec += static_cast<long>(timeout_ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
      deadline.tv_sec += 1;
      deadline.tv_nsec -= 1000000000L;
    }
    int rc = pthread_mutex_timedlock(&block_->mutex, &deadline);
    if (rc == 0) return kAcquired;
    if (rc == ETIMEDOUT) return kTimeout;
    if (rc == EOWNERDEAD) {
      // The owner died holding it: make it usable again; the caller owns it.
      pthread_mutex_consistent(&block_->mutex);
      return kAbandoned;
    }
    return kFailed;
  }

  int unlock() override { return pthread_mutex_unlock(&block_->mutex) == 0 ? 0 : -1; }

 private:
  SharedMutexBlock* block_;
  int fd_;
};

class PosixSharedMemory : public SharedMemory {
 public:
  PosixSharedMemory(unsigned char* data, size_t size, int fd) : data_(data), size_(size), fd_(fd) {}
  ~PosixSharedMemory() override {
    munmap(data_, size_);
    close(fd_);
  }
  unsigned char* data() override { return data_; }
  size_t size() const override { return size_; }

 private:
  unsigned char* data_;
  size_t size_;
  int fd_;
};

}  // namespace

namespace {

// One attempt at opening the mutex object. *stale: it exists but its
// creator never finished it (never sized, or the mutex never marked ready).
NamedMutex* open_mutex_once(const char* name, bool* stale) {
  bool created = false;
  int fd = -1;
  void* p = map_object(name, sizeof(SharedMutexBlock), &created, stale, &fd);
  if (p == nullptr) return nullptr;
  SharedMutexBlock* block = static_cast<SharedMutexBlock*>(p);
  if (created) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
    pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    int rc = pthread_mutex_init(&block->mutex, &attr);
    pthread_mutexattr_destroy(&attr);
    if (rc != 0) {
      munmap(p, sizeof(SharedMutexBlock));
      close(fd);
      remove_object(name);
      return nullptr;
    }
    block->ready.store(1, std::memory_order_release);
  } else {
    for (int i = 0; i < 2000 && block->ready.load(std::memory_order_acquire) != 1; ++i) usleep(1000);
    if (block->ready.load(std::memory_order_acquire) != 1) {
      *stale = true;
      munmap(p, sizeof(SharedMutexBlock));
      close(fd);
      return nullptr;
    }
  }
  return new PosixNamedMutex(block, fd);
}

}  // namespace

// An object that was never finished (its creator died in between, or a
// full /dev/shm stopped it) would refuse every later open until removed by
// hand: it is removed and made again, once. A creator still at work would
// have finished within the waits above.
NamedMutex* NamedMutex::open(const char* name) {
  bool stale = false;
  NamedMutex* mutex = open_mutex_once(name, &stale);
  if (mutex == nullptr && stale) {
    remove_object(name);
    mutex = open_mutex_once(name, &stale);
  }
  return mutex;
}

SharedMemory* SharedMemory::open(const char* name, size_t size) {
  bool created = false;
  bool stale = false;
  int fd = -1;
  void* p = map_object(name, size, &created, &stale, &fd);
  if (p == nullptr && stale) {
    remove_object(name);
    p = map_object(name, size, &created, &stale, &fd);
  }
  if (p == nullptr) return nullptr;
  return new PosixSharedMemory(static_cast<unsigned char*>(p), size, fd);
}
