// The single-instance rule of ludguard: one running instance per executable.
//
// Windows: a named mutex derived from the executable's path, kept open until
// the process ends, however it ends (so the successor that a crashed
// instance starts can claim it once the crashed one has gone).
// Linux: an exclusive flock on "ludguard.lock" beside the executable, held
// (the descriptor left open, close-on-exec) until the process ends, however
// it ends.
#pragma once

// True when this process is the first instance and now holds the mark;
// false when another instance runs (or the lock file cannot be opened).
bool claim_single_instance();
