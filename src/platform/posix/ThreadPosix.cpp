#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <new>

#include "Thread.h"

namespace {

struct PosixStart {
  thread_func fn;
  void* arg;
};

void* posix_entry(void* p) {
  PosixStart start = *static_cast<PosixStart*>(p);
  delete static_cast<PosixStart*>(p);
  start.fn(start.arg);
  return nullptr;
}

}  // namespace

int start_detached_thread(thread_func fn, void* arg) {
  PosixStart* start = new (std::nothrow) PosixStart{fn, arg};
  if (start == nullptr) return -1;
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) {
    delete start;
    return -1;
  }
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  pthread_attr_setstacksize(&attr, kThreadStackBytes);
  pthread_t tid;
  int rc = pthread_create(&tid, &attr, posix_entry, start);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    delete start;
    return -1;
  }
  return 0;
}

uint32_t current_thread_id() { return static_cast<uint32_t>(syscall(SYS_gettid)); }

uint32_t current_process_id() { return static_cast<uint32_t>(getpid()); }

void thread_set_name(const char* name) {
  char cut[16];
  strncpy(cut, name, sizeof(cut) - 1);
  cut[sizeof(cut) - 1] = '\0';
  pthread_setname_np(pthread_self(), cut);
}

void sleep_ms(unsigned int ms) {
  struct timespec ts;
  ts.tv_sec = ms / 1000;
  ts.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}
