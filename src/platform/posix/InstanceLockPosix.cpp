// Single instance on Linux: an flock on a lock file ("ludguard.lock" beside
// the executable for ludguard), held by a descriptor that stays open until
// the process ends.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "FileSystem.h"
#include "InstanceLock.h"

bool claim_single_instance() { return claim_folder_lock(path_join(module_dir(), "ludguard.lock")); }

bool claim_folder_lock(const std::string& path) {
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return false;
  }
  return true;  // fd deliberately kept open: it holds the lock
}
