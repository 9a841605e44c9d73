// Paths and files on Win32. Narrow paths are in the ANSI code page.
#include <windows.h>
#include <io.h>

#include "FileSystem.h"

namespace {

std::string ToAnsi(const wchar_t* text, int length) {
  if (length <= 0) return std::string();
  int n = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(n, '\0');
  WideCharToMultiByte(CP_ACP, 0, text, length, &out[0], n, nullptr, nullptr);
  return out;
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

}  // namespace

std::string module_path() {
  wchar_t buf[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
  // n == MAX_PATH means the path was cut short.
  if (n == 0 || n >= MAX_PATH) return std::string();
  return ToAnsi(buf, static_cast<int>(n));
}

std::string module_dir() {
  std::string path = module_path();
  std::string::size_type cut = path.find_last_of("/\\");
  if (cut == std::string::npos) return std::string();
  return path.substr(0, cut);
}

std::string temp_dir() {
  wchar_t buf[MAX_PATH + 1];
  DWORD n = GetTempPathW(MAX_PATH + 1, buf);
  if (n == 0 || n > MAX_PATH) return std::string();
  std::string dir = ToAnsi(buf, static_cast<int>(n));
  // Keep a drive root such as "C:\" whole.
  while (dir.size() > 3 && IsSeparator(dir.back())) dir.pop_back();
  return dir;
}

std::string path_join(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (IsSeparator(dir.back())) return dir + name;
  return dir + "\\" + name;
}

int make_dir(const std::string& path) {
  if (CreateDirectoryA(path.c_str(), nullptr)) return 0;
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return 0;
  return -1;
}

// Appends to *out, as the Linux version does.
bool list_dir(const std::string& dir, std::vector<DirEntry>* out) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(path_join(dir, "*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  do {
    std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    bool is_dir = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    bool is_file = !is_dir && (data.dwFileAttributes &
                               (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) == 0;
    out->push_back(DirEntry{name, is_dir, is_file});
  } while (FindNextFileA(find, &data));
  bool complete = GetLastError() == ERROR_NO_MORE_FILES;
  FindClose(find);
  return complete;
}

int remove_file(const std::string& path) { return DeleteFileA(path.c_str()) ? 0 : -1; }

int rename_file(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
             ? 0
             : -1;
}

FILE* open_file(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }

bool file_stamp(const std::string& path, FileStamp* out) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
  if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) return false;
  out->size = (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  out->modified = (static_cast<long long>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                  data.ftLastWriteTime.dwLowDateTime;
  return true;
}

int sync_file(FILE* f) {
  if (std::fflush(f) != 0) return -1;
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
  if (handle == INVALID_HANDLE_VALUE) return -1;
  return FlushFileBuffers(handle) ? 0 : -1;
}

int sync_dir(const std::string&) { return 0; }
