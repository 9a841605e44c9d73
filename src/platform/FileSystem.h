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
  // A plain file: not a directory, not a symbolic link (or other reparse
  // point), not a device.
  bool is_file;
};
// Lists a directory without "." and ".."; false when it cannot be read.
bool list_dir(const std::string& dir, std::vector<DirEntry>* out);

int remove_file(const std::string& path);  // 0 or -1

// Replaces `to` with `from` in one step (an existing `to` is overwritten).
// On Windows the move is written through to the disk before it returns.
int rename_file(const std::string& from, const std::string& to);  // 0 or -1

// Flushes an open file's data from the C library and the system's cache to
// the disk (fflush, then fsync / FlushFileBuffers). 0 or -1.
int sync_file(FILE* f);

// Makes a directory's entries (a file just renamed into it) durable: fsync
// of the directory on Linux; nothing to do on Windows, whose rename_file
// writes through. 0 or -1.
int sync_dir(const std::string& dir);

// What tells one version of a file from the next without reading it.
struct FileStamp {
  long long size = -1;
  long long modified = 0;  // platform units (ns on Linux, 100 ns on Windows)
  // The file's identity where the platform gives it cheaply (the inode on
  // Linux, whose clock ticks coarsely: a file replaced by a rename within
  // one tick still differs), else 0.
  long long id = 0;
  bool operator==(const FileStamp& o) const {
    return size == o.size && modified == o.modified && id == o.id;
  }
  bool operator!=(const FileStamp& o) const { return !(*this == o); }
};
// The file's stamp; false when path names no file (or not a plain file).
bool file_stamp(const std::string& path, FileStamp* out);

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
