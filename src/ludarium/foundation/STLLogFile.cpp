#include "STLLogFile.h"

#include <cstring>

#include "FileSystem.h"
#include "Util.h"

STLLogFile::STLLogFile(const std::string& path) : path_(path) {}

STLLogFile::~STLLogFile() {
  if (stream_ != nullptr) fclose(stream_);
}

bool STLLogFile::open() {
  if (stream_ != nullptr) return true;
  if (path_.empty()) return false;
  make_dir(directory_of(path_));
  stream_ = open_file(path_, "a+");
  return stream_ != nullptr;
}

void STLLogFile::write(const char* data, int64_t now_ms) {
  if (data == nullptr) return;
  writeStamped(local_time_text(now_ms), data, strlen(data));
}

void STLLogFile::writeStamped(const std::string& stamp, const char* data, size_t length) {
  if (data == nullptr) return;
  MutexGuard guard(&lock_);
  if (!open()) return;
  // Stamp, blank, text, newline: the pieces as they are, with nothing to
  // format (a busy server writes a line per request).
  fwrite(stamp.data(), 1, stamp.size(), stream_);
  fputc(' ', stream_);
  fwrite(data, 1, length, stream_);
  fputc('\n', stream_);
  fflush(stream_);
}
