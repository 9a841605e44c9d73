#include "AtomicTextFile.h"

#include "FileSystem.h"
#include "Util.h"

int write_text_file_atomic(const std::string& path, const std::string& text) {
  std::string temporary = path + ".tmp";
  if (write_text_file(temporary, text) != 0) {
    remove_file(temporary);
    return -1;
  }
  if (rename_file(temporary, path) != 0) {
    remove_file(temporary);
    return -1;
  }
  return 0;
}
