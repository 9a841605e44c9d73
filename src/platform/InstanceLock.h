// The single-instance rule of ludguard: one running instance per executable.
//
// Windows: a flag in a data section of the executable shared by every
// process running that image; the first instance sets it and nobody clears
// it, so it stays set while any instance runs.
// Linux: an exclusive flock on "ludguard.lock" beside the executable, held
// (the descriptor left open, close-on-exec) until the process ends, however
// it ends.
#pragma once

// True when this process is the first instance and now holds the mark;
// false when another instance runs (or the lock file cannot be opened).
bool claim_single_instance();
