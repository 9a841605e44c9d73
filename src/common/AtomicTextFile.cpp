#include "AtomicTextFile.h"

#include <atomic>
#include <vector>

#include "FileSystem.h"
#include "Thread.h"
#include "Util.h"

namespace {

std::atomic<unsigned> gTemporaryCounter{0};

// The whole text in text mode, on the disk before the file is closed.
int write_durably(const std::string& path, const std::string& text) {
  FILE* f = open_file(path, "w");
  if (f == nullptr) return -1;
  int result = write_all(f, text);
  if (result == 0 && sync_file(f) != 0) result = -1;
  if (fclose(f) != 0) result = -1;
  return result;
}

// NAME.tmp.PID.N: a non-empty name, then digits, a dot and digits.
bool is_leftover_name(const std::string& name) {
  size_t tmp = name.rfind(".tmp.");
  if (tmp == std::string::npos || tmp == 0) return false;
  std::string rest = name.substr(tmp + 5);
  size_t dot = rest.find('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == rest.size()) return false;
  for (size_t i = 0; i < rest.size(); ++i) {
    if (i != dot && (rest[i] < '0' || rest[i] > '9')) return false;
  }
  return true;
}

}  // namespace

int write_text_file_atomic(const std::string& path, const std::string& text) {
  std::string temporary = path + ".tmp." + std::to_string(current_process_id()) + "." +
                          std::to_string(++gTemporaryCounter);
  if (write_durably(temporary, text) != 0) {
    remove_file(temporary);
    return -1;
  }
  if (rename_file(temporary, path) != 0) {
    remove_file(temporary);
    return -1;
  }
  // The rename itself must reach the disk too, or a power cut can bring
  // back the old name (or none).
  return sync_dir(directory_of(path)) == 0 ? 0 : -1;
}

int remove_atomic_leftovers(const std::string& dir) {
  std::vector<DirEntry> entries;
  if (!list_dir(dir, &entries)) return 0;
  int removed = 0;
  for (const DirEntry& e : entries) {
    if (e.is_file && is_leftover_name(e.name) && remove_file(path_join(dir, e.name)) == 0) removed++;
  }
  return removed;
}
