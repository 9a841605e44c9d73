// The process-wide queue between the threads that log and the log thread.
#pragma once

#include <deque>
#include <string>
#include <utility>

#include "Mutex.h"

class LogWriter;

class LogQueue {
 public:
  // Starts the log thread, which writes through `writer` (never deleted).
  explicit LogQueue(LogWriter* writer);

  // Any thread. Holds the queue mutex for one move; never waits for disk.
  // The push that finds the queue empty also wakes the log thread.
  void push(std::string level, std::string line);

  // Takes the oldest entry; false when the queue is empty.
  bool pop(std::pair<std::string, std::string>* entry);
  // Takes every queued entry, oldest first, in one hold of the mutex.
  void popAll(std::deque<std::pair<std::string, std::string>>* entries);

 private:
  static unsigned int thread_main(void* self);

  Mutex mutex_;                                          // guards entries_
  std::deque<std::pair<std::string, std::string>> entries_;
  // Set by a push onto an empty queue; the log thread sleeps on it once it
  // has written everything queued.
  Condition queued_;
  LogWriter* writer_;
};

// The one queue of the process, created at static initialisation.
LogQueue& log_queue();
