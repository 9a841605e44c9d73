// Single instance on Linux: an flock on a lock file ("ludguard.lock" beside
// the executable for ludguard), held by a descriptor that stays open until
// the process ends.
#include <fcntl.h>
#include <cerrno>
#include <sys/file.h>
#include <unistd.h>

#include "FileSystem.h"
#include "InstanceLock.h"

bool claim_single_instance() {
  return claim_folder_lock(path_join(module_dir(), "ludguard.lock")) == FolderLock::kClaimed;
}

FolderLock claim_folder_lock(const std::string& path) {
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return FolderLock::kUnavailable;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    bool held = errno == EWOULDBLOCK;
    close(fd);
    return held ? FolderLock::kHeld : FolderLock::kUnavailable;
  }
  return FolderLock::kClaimed;  // fd deliberately kept open: it holds the lock
}
