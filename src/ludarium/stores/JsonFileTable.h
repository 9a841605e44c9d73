// A table of records kept in one file as a compact JSON array of objects,
// in ascending byte order of a key column. Both config stores (the upstream
// API servers, the login users) are one of these.
//
// The file is the lasting state; the rows are a cache that read() merges
// the file into (rows missing from the file stay, so the next write() puts
// them back). read() parses the file only when it changed since the last
// read or write (size and modification time), so a big file costs one
// parse per change, not one per request. write() replaces the file
// atomically and durably (AtomicTextFile) and refuses a file larger than
// kMaxFileBytes.
//
// A file that exists but cannot be parsed (damaged, cut short, not an array
// of objects) is never overwritten: read() renames it aside to
// "<name>.bad-YYYYMMDD-HHMMSS" and merges nothing, so the next write starts
// a new file while the old bytes stay for a person to look at. A record
// that lacks a member gets the member's default ("" or 0).
//
// Thread safety: every method takes mutex(), which is re-entrant. A caller
// that re-reads, changes and rewrites holds it for the whole sequence
// (MutexGuard guard(table.mutex())), so concurrent requests never
// interleave.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "FileSystem.h"
#include "Mutex.h"

class JsonFileTable {
 public:
  enum class Kind {
    kText,   // any value, kept as its text (json_as_text); written as a string
    kInt32,  // a number cut to 32 bits when read; written as a number
  };
  struct Column {
    const char* name;
    Kind kind;
  };
  // One record: a cell per column, in column order. A kInt32 cell holds the
  // number's decimal text.
  using Row = std::vector<std::string>;

  // Records are written with the columns' members in the given order and
  // keyed by the column at index key. Creates the file's directory (an
  // existing one is fine, a failure is ignored).
  JsonFileTable(const std::string& dir, const std::string& file_name, std::vector<Column> columns,
                size_t key);
  JsonFileTable(const JsonFileTable&) = delete;
  JsonFileTable& operator=(const JsonFileTable&) = delete;

  // Largest file write() produces: the stores keep small records, and a
  // file that grew without bound would cost every request its parse.
  static constexpr size_t kMaxFileBytes = 1024 * 1024;
  // write()'s failures.
  static constexpr int kNotWritten = -1;
  static constexpr int kTooLarge = -2;

  mutex_t* mutex() { return lock_.get(); }
  const std::string& path() const { return path_; }

  struct ReadOutcome {
    // "" or, when there is no file to read (or it cannot be opened), the
    // demangled type name of the exception that ended the read, for a "d"
    // line.
    std::string error;
    // The file could not be parsed: why, and where it was renamed to ("" when
    // even the rename failed). The caller logs it as an error.
    std::string damage;
    std::string set_aside;
  };
  // Merges the file's records into the rows in file order, a record
  // replacing the row of the same key; does nothing when the file has not
  // changed since it was last read or written.
  ReadOutcome read();
  // Replaces the file with every row. 0, kNotWritten (the old file stays),
  // or kTooLarge (nothing written).
  int write();

  // Inserts the row, or replaces the row of its key, in the rows only. The
  // row must have one cell per column.
  void put(const Row& row);
  void erase(const std::string& key);

  // Inserts the row (or replaces the row of its key) and writes the file;
  // when the write fails, the rows are put back as they were, so the table
  // never holds what the file does not. The row has one cell per column.
  int putAndWrite(const Row& row);
  // The same for removing the row of a key.
  int eraseAndWrite(const std::string& key);
  // The reply text of a failed write: "cannot write config file NAME" or
  // "config file NAME would exceed 1048576 bytes".
  std::string writeFailureText(int rc) const;

  // How many times read() parsed the file (for tests).
  size_t parses() const { return parses_; }
  // The row of the key; false when there is none.
  bool find(const std::string& key, Row* out);
  // Every row, in key order.
  std::vector<Row> rows();

  // A JSON array of the given rows, written as the file holds them.
  std::string json(const std::vector<Row>& rows) const;

 private:
  bool restore(const std::string& key, bool had, const Row& old, int rc);

  const std::string path_;
  const std::string name_;
  const std::vector<Column> columns_;
  const size_t key_;
  Mutex lock_;
  std::map<std::string, Row> rows_;  // by key cell; guarded by lock_
  // The file as last read or written; guarded by lock_.
  FileStamp stamp_;
  bool stamp_known_ = false;
  size_t parses_ = 0;
};
