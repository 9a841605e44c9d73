#include "LogQueue.h"

#include <cstdio>
#include <vector>

#include "Clock.h"
#include "FileSystem.h"
#include "LogWriter.h"
#include "Thread.h"

namespace {
const int kIdleWaitMs = 60 * 1000;
const unsigned int kGatherMs = 10;
}  // namespace

LogQueue::LogQueue(LogWriter* writer) : writer_(writer) { thread_begin(thread_main, this); }

void LogQueue::push(std::string level, std::string line) {
  bool was_empty;
  {
    MutexGuard guard(&mutex_);
    was_empty = entries_.empty();
    entries_.emplace_back(std::move(level), std::move(line));
  }
  // A queue that was not empty has a wake-up pending already: the log
  // thread empties the queue before it sleeps again.
  if (was_empty) queued_.signal();
}

void LogQueue::popAll(std::deque<std::pair<std::string, std::string>>* entries) {
  entries->clear();
  MutexGuard guard(&mutex_);
  entries->swap(entries_);
}

bool LogQueue::pop(std::pair<std::string, std::string>* entry) {
  MutexGuard guard(&mutex_);
  if (entries_.empty()) return false;
  *entry = std::move(entries_.front());
  entries_.pop_front();
  return true;
}

// The log thread, for the life of the process: it writes everything queued,
// in push order, then sleeps until a push finds the queue empty. Writing a
// single entry per pass (at most 100 a second) let the queue grow without
// bound whenever sessions came and went faster than that: a class
// reconnecting over and over logs several hundred lines a second. Sleeping
// on the queue rather than waking every 10 ms lets an idle server leave the
// processor alone. The day's files and the 30-day sweep are taken up by the
// writer with each entry, so nothing here depends on the clock.
unsigned int LogQueue::thread_main(void* self) {
  thread_set_name("log");
  LogQueue* queue = static_cast<LogQueue*>(self);
  for (;;) {
    std::deque<std::pair<std::string, std::string>> batch;
    for (queue->popAll(&batch); !batch.empty(); queue->popAll(&batch)) {
      // One time per entry, the same on the console and in the files.
      std::vector<LogStamp> stamps;
      stamps.reserve(batch.size());
      for (const auto& entry : batch) {
        stamps.emplace_back(wall_ms());
        queue->writer_->writeConsole(entry.first, entry.second, stamps.back());
      }
      queue->writer_->flushConsole();
      for (size_t i = 0; i < batch.size(); ++i) {
        queue->writer_->writeFiles(batch[i].first, batch[i].second, stamps[i]);
      }
    }
    queue->writer_->closeFiles();
    // The signal of a push made since the last pop is kept until this wait
    // takes it, so no line is left waiting for the next one.
    queue->queued_.timedwait(nullptr, kIdleWaitMs);
    // Lines still go out about 10 ms after the first of them, as they did
    // when the thread woke every 10 ms: a burst is written in one pass
    // rather than with a wake-up per line, and other threads' console
    // output keeps the timing it always had against ours. Without a
    // condition (it could not be created) this is the old pace.
    sleep_ms(kGatherMs);
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
