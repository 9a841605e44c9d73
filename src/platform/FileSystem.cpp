#include <cerrno>

#include "FileSystem.h"

ReadResult read_whole_file(const std::string& path, std::string* out, FileRead mode) {
  out->clear();
  errno = 0;
  FILE* f = open_file(path, mode == FileRead::kText ? "r" : "rb");
  if (f == nullptr) return errno == ENOENT ? ReadResult::kMissing : ReadResult::kFailed;
  char chunk[16384];
  size_t n;
  while ((n = fread(chunk, 1, sizeof(chunk), f)) > 0) out->append(chunk, n);
  bool failed = ferror(f) != 0;
  fclose(f);
  if (failed) {
    out->clear();
    return ReadResult::kFailed;
  }
  return ReadResult::kOk;
}
