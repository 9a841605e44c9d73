#include <dirent.h>
#include <fcntl.h>
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
    struct stat own;
    bool is_file = lstat(path_join(dir, name).c_str(), &own) == 0 && S_ISREG(own.st_mode);
    out->push_back(DirEntry{name, is_dir, is_file});
  }
  closedir(d);
  return true;
}

int remove_file(const std::string& path) { return unlink(path.c_str()) == 0 ? 0 : -1; }

int rename_file(const std::string& from, const std::string& to) {
  return rename(from.c_str(), to.c_str()) == 0 ? 0 : -1;
}

FILE* open_file(const std::string& path, const char* mode) { return fopen(path.c_str(), mode); }

bool file_stamp(const std::string& path, FileStamp* out) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  out->size = static_cast<long long>(st.st_size);
  out->modified = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
  out->id = static_cast<long long>(st.st_ino);
  return true;
}

int sync_file(FILE* f) {
  if (fflush(f) != 0) return -1;
  return fsync(fileno(f)) == 0 ? 0 : -1;
}

int sync_dir(const std::string& dir) {
  int fd = open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  int rc = fsync(fd);
  close(fd);
  return rc == 0 ? 0 : -1;
}
