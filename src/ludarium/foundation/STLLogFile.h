// One log file, opened lazily on the first write (and again on each write
// while it is not open) for appending, closed by the destructor. Each line
// is written as "YYYY-MM-DD HH:MM:SS.mmm " + text + newline and flushed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "Mutex.h"

class STLLogFile {
 public:
  // `path` is the file's full path; an empty path never opens.
  explicit STLLogFile(const std::string& path);
  virtual ~STLLogFile();
  STLLogFile(const STLLogFile&) = delete;
  STLLogFile& operator=(const STLLogFile&) = delete;

  // Writes one line stamped with `now_ms`; a file that does not open loses it.
  virtual void write(const char* data, int64_t now_ms);
  // The same with the stamp's text already made ("YYYY-MM-DD HH:MM:SS.mmm")
  // and the text's length known.
  void writeStamped(const std::string& stamp, const char* data, size_t length);

 private:
  bool open();

  FILE* stream_ = nullptr;
  std::string path_;
  Mutex lock_;  // guards stream_
};
