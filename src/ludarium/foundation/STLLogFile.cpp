#include "STLLogFile.h"

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
  writeStamped(local_time_text(now_ms), data);
}

void STLLogFile::writeStamped(const std::string& stamp, const char* data) {
  if (data == nullptr) return;
  MutexGuard guard(&lock_);
  if (!open()) return;
  fprintf(stream_, "%s %s\n", stamp.c_str(), data);
  fflush(stream_);
}
