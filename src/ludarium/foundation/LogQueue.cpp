#include "LogQueue.h"

#include <cstdio>

#include "Clock.h"
#include "FileSystem.h"
#include "LogWriter.h"
#include "Thread.h"

LogQueue::LogQueue(LogWriter* writer) : writer_(writer) { thread_begin(thread_main, this); }

void LogQueue::push(const std::string& level, const std::string& line) {
  MutexGuard guard(&mutex_);
  entries_.emplace_back(level, line);
}

bool LogQueue::pop(std::pair<std::string, std::string>* entry) {
  MutexGuard guard(&mutex_);
  if (entries_.empty()) return false;
  *entry = std::move(entries_.front());
  entries_.pop_front();
  return true;
}

// The log thread, for the life of the process: every 10 ms it writes what
// has been queued, in push order. Writing a single entry per pass (at most
// 100 a second) let the queue grow without bound whenever sessions came and
// went faster than that: a class reconnecting over and over logs several
// hundred lines a second.
unsigned int LogQueue::thread_main(void* self) {
  LogQueue* queue = static_cast<LogQueue*>(self);
  for (;;) {
    sleep_ms(10);
    std::pair<std::string, std::string> entry;
    while (queue->pop(&entry)) queue->writer_->write(entry.first, entry.second, wall_ms());
  }
  return 0;
}

LogQueue& log_queue() {
  // Created on first use, which happens during static initialisation (the
  // first LOG of any process-wide constructor, or main's first line), and
  // never destroyed: threads may still log while the process exits.
  static LogQueue* queue =
      new LogQueue(new LogWriter(path_join(module_dir(), "log"), stdout));
  return *queue;
}
