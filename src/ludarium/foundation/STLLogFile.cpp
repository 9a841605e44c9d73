#include "STLLogFile.h"

#include <ctime>

#include "Clock.h"
#include "FileSystem.h"
#include "Util.h"

std::string log_timestamp(int64_t now_ms) {
  struct tm t;
  local_tm(now_ms, &t);
  char date[32];
  strftime(date, sizeof(date), "%Y-%m-%d %H:%M:%S", &t);
  char buf[48];
  snprintf(buf, sizeof(buf), "%s.%03d", date, static_cast<int>(now_ms % 1000));
  return buf;
}

STLLogFile::STLLogFile(const std::string& path) : path_(path) { mutex_init(&lock_); }

STLLogFile::~STLLogFile() {
  if (stream_ != nullptr) fclose(stream_);
  mutex_destroy(&lock_);
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
  MutexGuard guard(&lock_);
  if (!open()) return;
  fprintf(stream_, "%s %s\n", log_timestamp(now_ms).c_str(), data);
  fflush(stream_);
}
