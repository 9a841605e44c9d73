#include "AtomicTextFile.h"

#include <atomic>

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
