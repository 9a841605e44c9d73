// ludstore: shows the state store shared by ludarium and ludguard.
//   ludstore            every used record: index, key, value, local time
//   ludstore get KEY    the value of KEY (exit 1 when absent)
//   ludstore set KEY V  writes V under KEY (as the server would)
//   ludstore hold S     takes the store's lock, prints "held", keeps it S
//                       seconds and ends without releasing it (to see how
//                       the programs live with a stuck or abandoned lock)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "Clock.h"
#include "SharedState.h"
#include "StateStore.h"
#include "Thread.h"
#include "Util.h"

namespace {

int usage() {
  fprintf(stderr, "usage: ludstore [get KEY | set KEY VALUE | hold SECONDS]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  StateStore store;
  if (!store.is_open()) {
    fprintf(stderr, "ludstore: the state store cannot be opened\n");
    return 1;
  }
  if (argc == 1) {
    int rc = store.for_each([](const StateStore::Record& r) {
      printf("%d\t%s\t%s\t%s\n", r.index, r.key.c_str(), r.value.c_str(),
             local_time_text(r.time).c_str());
    });
    if (rc != 0) fprintf(stderr, "ludstore: store error %d\n", rc);
    return rc == 0 ? 0 : 1;
  }
  if (argc == 3 && strcmp(argv[1], "get") == 0) {
    std::string value;
    int64_t time = -1;
    int rc = store.read(argv[2], &value, &time);
    if (rc != 0) {
      fprintf(stderr, "ludstore: store error %d\n", rc);
      return 1;
    }
    if (time < 0) return 1;
    printf("%s\n", value.c_str());
    return 0;
  }
  if (argc == 3 && strcmp(argv[1], "hold") == 0) {
    NamedMutex* lock = NamedMutex::open(StateStore::kMutexName);
    if (lock == nullptr || lock->lock(StateStore::kLockTimeoutMs) != NamedMutex::kAcquired) {
      fprintf(stderr, "ludstore: the lock was not obtained\n");
      return 1;
    }
    // Never closed: the lock goes with the process, unreleased. Kept where
    // the leak checker sees it, since leaving it open is the point.
    static NamedMutex* const held = lock;
    (void)held;
    printf("held\n");
    fflush(stdout);
    sleep_ms(static_cast<unsigned>(atoi(argv[2])) * 1000);
    return 0;
  }
  if (argc == 4 && strcmp(argv[1], "set") == 0) {
    int rc = store.write(argv[2], argv[3]);
    if (rc != 0) fprintf(stderr, "ludstore: store error %d\n", rc);
    return rc == 0 ? 0 : 1;
  }
  return usage();
}
