#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "FileSystem.h"

namespace {

std::string cut_before_last_separator(const std::string& path) {
  size_t pos = path.find_last_of("/\\");
  return pos == std::string::npos ? std::string() : path.substr(0, pos);
}

}  // namespace

std::string module_path() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  if (n <= 0) return std::string();
  return std::string(buf, static_cast<size_t>(n));
}

std::string module_dir() { return cut_before_last_separator(module_path()); }

std::string temp_dir() {
  const char* dir = getenv("TMPDIR");
  std::string result = (dir != nullptr && *dir != '\0') ? dir : "/tmp";
  while (result.size() > 1 && result.back() == '/') result.pop_back();
  return result;
}

std::string path_join(const std::string& dir, const std::string& name) {
  return dir + "/" + name;
}

int make_dir(const std::string& path) {
  if (mkdir(path.c_str(), 0755) == 0) return 0;
  struct stat st;
  return (errno == EEXIST && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) ? 0 : -1;
}

bool list_dir(const std::string& dir, std::vector<DirEntry>* out) {
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return false;
  while (struct dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    struct stat st;
    bool is_dir = stat(path_join(dir, name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    out->push_back(DirEntry{name, is_dir});
  }
  closedir(d);
  return true;
}

int remove_file(const std::string& path) { return unlink(path.c_str()) == 0 ? 0 : -1; }

int rename_file(const std::string& from, const std::string& to) {
  return rename(from.c_str(), to.c_str()) == 0 ? 0 : -1;
}

FILE* open_file(const std::string& path, const char* mode) { return fopen(path.c_str(), mode); }
