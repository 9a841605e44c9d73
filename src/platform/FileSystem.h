// Paths, directories and files. Paths are narrow texts in the system's
// code page (ANSI on Windows, UTF-8 on Linux); both "/" and "\" separate.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// Full path of the running executable, "" when it cannot be found.
std::string module_path();

// The executable's directory: module_path() cut before its last separator.
std::string module_dir();

// The system's temporary directory without a trailing separator.
std::string temp_dir();

// Joins a directory and a name with the platform's separator.
std::string path_join(const std::string& dir, const std::string& name);

// Creates one directory; 0 when it exists afterwards, else -1.
int make_dir(const std::string& path);

struct DirEntry {
  std::string name;
  bool is_dir;
};
// Lists a directory without "." and ".."; false when it cannot be read.
bool list_dir(const std::string& dir, std::vector<DirEntry>* out);

int remove_file(const std::string& path);  // 0 or -1

// Replaces `to` with `from` in one step (an existing `to` is overwritten).
int rename_file(const std::string& from, const std::string& to);  // 0 or -1

// fopen with a path as above.
FILE* open_file(const std::string& path, const char* mode);

// How read_whole_file opens the file: kText lets the C library translate line
// ends (CRLF becomes LF on Windows; nothing changes on Linux).
enum class FileRead { kBinary, kText };
// Outcome of read_whole_file; kMissing is a path that names no file.
enum class ReadResult { kOk, kMissing, kFailed };

// The whole file into *out (replaced; left empty unless kOk). Any bytes,
// zeros included.
ReadResult read_whole_file(const std::string& path, std::string* out,
                           FileRead mode = FileRead::kBinary);
