// The process's state mirror: writes the mirror files back into the store
// before a launch, and runs one mirror thread that passes every 3 s (see
// StateMirror) until the service is stopped. At most one mirror thread
// exists at a time, whatever the number of launches.
#pragma once

#include <functional>
#include <string>

#include "Mutex.h"

class StateStore;

class MirrorThread {
 public:
  // store may be null (nothing is mirrored); it outlives the mirror.
  // stop_requested tells the thread when to end.
  MirrorThread(StateStore* store, std::function<bool()> stop_requested);
  MirrorThread(const MirrorThread&) = delete;
  MirrorThread& operator=(const MirrorThread&) = delete;

  // The folder of the mirror files "broadcast" and "instruction" (ending
  // with a separator). Once, before restore or start.
  void setDirectory(const std::string& dir);

  // The restore step of a launch.
  void restore();
  // Starts the mirror thread unless one runs already.
  void start();

 private:
  static unsigned int deamonThread(void* self);
  bool shouldEnd();

  StateStore* const store_;
  const std::function<bool()> stop_requested_;
  std::string broadcast_path_;
  std::string instruction_path_;
  // Guards running_. A mirror that decides to end clears the flag in the
  // same critical section, so start never sees a mirror that is about to
  // vanish as still running.
  Mutex lock_;
  bool running_ = false;
};
