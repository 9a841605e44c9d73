// A table of records kept in one file as a compact JSON array of objects,
// in ascending byte order of a key column. Both config stores (the upstream
// API servers, the login users) are one of these.
//
// The file is the lasting state; the rows are a cache that read() merges
// the file into (rows missing from the file stay, so the next write() puts
// them back). write() replaces the file atomically (temporary file, rename).
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

  mutex_t* mutex() { return lock_.get(); }
  const std::string& path() const { return path_; }

  // Merges the file's records into the rows in file order, a record
  // replacing the row of the same key. Whatever ends the read early (no
  // file, not JSON, not an array, a record missing a column) leaves the
  // records before it merged. Returns "", or the demangled type name of the
  // exception that ended the read, for the caller to log.
  std::string read();
  // Replaces the file with every row. 0, or -1 when it could not be
  // written: the old file stays, the rows keep the change.
  int write();

  // Inserts the row, or replaces the row of its key. The row must have one
  // cell per column.
  void put(const Row& row);
  void erase(const std::string& key);
  // The row of the key; false when there is none.
  bool find(const std::string& key, Row* out);
  // Every row, in key order.
  std::vector<Row> rows();

  // A JSON array of the given rows, written as the file holds them.
  std::string json(const std::vector<Row>& rows) const;

 private:
  const std::string path_;
  const std::vector<Column> columns_;
  const size_t key_;
  Mutex lock_;
  std::map<std::string, Row> rows_;  // by key cell; guarded by lock_
};
