// The single-instance rule of ludguard: one running instance per executable.
//
// Windows: a named mutex derived from the executable's path, kept open until
// the process ends, however it ends (so the successor that a crashed
// instance starts can claim it once the crashed one has gone).
// Linux: an exclusive flock on "ludguard.lock" beside the executable, held
// (the descriptor left open, close-on-exec) until the process ends, however
// it ends.
#pragma once

#include <string>

// True when this process is the first instance and now holds the mark;
// false when another instance runs (or the lock file cannot be opened).
bool claim_single_instance();

// One process per folder: takes an exclusive lock on the file at path
// (created when missing) and holds it until the process ends, however it
// ends. Linux: an flock (close-on-exec). Windows: the file opened with no
// sharing.
enum class FolderLock {
  kClaimed,      // this process holds it now
  kHeld,         // another process holds it
  kUnavailable,  // the file cannot be opened (say a read-only folder)
};
FolderLock claim_folder_lock(const std::string& path);
