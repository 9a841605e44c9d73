#include "JsonFileTable.h"

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <stdexcept>
#include <utility>

#include "AtomicTextFile.h"
#include "Clock.h"
#include "FileSystem.h"
#include "JsonReader.h"
#include "JsonWriter.h"
#include "Util.h"

namespace {

// "YYYYMMDD-HHMMSS" of the local time now, for the name of a file set aside.
std::string file_time_suffix() {
  struct tm t;
  local_tm(wall_ms(), &t);
  char buf[32];
  strftime(buf, sizeof(buf), "%Y%m%d-%H%M%S", &t);
  return buf;
}

}  // namespace

JsonFileTable::JsonFileTable(const std::string& dir, const std::string& file_name,
                             std::vector<Column> columns, size_t key)
    : path_(path_join(dir, file_name)), name_(file_name), columns_(std::move(columns)), key_(key) {
  make_dir(dir);
}

JsonFileTable::ReadOutcome JsonFileTable::read() {
  MutexGuard guard(&lock_);
  ReadOutcome result;
  FileStamp now;
  bool exists = file_stamp(path_, &now);
  if (exists && stamp_known_ && now == stamp_) return result;
  std::string text;
  if (read_whole_file(path_, &text, FileRead::kText) != ReadResult::kOk) exists = false;
  std::map<std::string, Row> records;
  try {
    JsonDocument doc;
    ++parses_;
    parse_json(text, &doc);
    if (!doc.IsArray()) throw std::runtime_error("not an array");
    for (auto e = doc.Begin(); e != doc.End(); ++e) {
      if (!e->IsObject()) throw std::runtime_error("a record that is not an object");
      Row row;
      for (const Column& c : columns_) {
        // A member that an older version did not write gets its default.
        if (!e->HasMember(c.name)) {
          row.push_back(c.kind == Kind::kText ? std::string() : std::string("0"));
          continue;
        }
        const JsonValue& v = json_at(*e, c.name);
        row.push_back(c.kind == Kind::kText ? json_as_text(v)
                                            : std::to_string(static_cast<int32_t>(json_as_int(v))));
      }
      std::string key = row[key_];
      records[key] = std::move(row);
    }
  } catch (const std::exception& e) {
    if (!exists) {
      result.error = exception_type_name(e);
      return result;
    }
    // Kept for a person to look at; the next write starts a new file.
    // One line: the parser's messages run over several.
    result.damage = exception_type_name(e) + ": " + e.what();
    for (char& c : result.damage) {
      if (c == '\n' || c == '\r') c = ' ';
    }
    std::string aside = path_ + ".bad-" + file_time_suffix();
    FileStamp taken;
    for (int n = 2; file_stamp(aside, &taken) && n < 100; ++n) {
      aside = path_ + ".bad-" + file_time_suffix() + "-" + std::to_string(n);
    }
    if (rename_file(path_, aside) == 0) result.set_aside = aside;
    stamp_known_ = false;
    return result;
  }
  for (auto& entry : records) rows_[entry.first] = std::move(entry.second);
  stamp_ = now;
  stamp_known_ = true;
  return result;
}

int JsonFileTable::write() {
  MutexGuard guard(&lock_);
  std::string text = json(rows());
  if (text.size() > kMaxFileBytes) return kTooLarge;
  if (write_text_file_atomic(path_, text) != 0) return kNotWritten;
  stamp_known_ = file_stamp(path_, &stamp_);
  return 0;
}

int JsonFileTable::putAndWrite(const Row& row) {
  MutexGuard guard(&lock_);
  Row old;
  bool had = find(row[key_], &old);
  rows_[row[key_]] = row;
  int rc = write();
  restore(row[key_], had, old, rc);
  return rc;
}

int JsonFileTable::eraseAndWrite(const std::string& key) {
  MutexGuard guard(&lock_);
  Row old;
  bool had = find(key, &old);
  rows_.erase(key);
  int rc = write();
  restore(key, had, old, rc);
  return rc;
}

bool JsonFileTable::restore(const std::string& key, bool had, const Row& old, int rc) {
  if (rc == 0) return false;
  if (had) {
    rows_[key] = old;
  } else {
    rows_.erase(key);
  }
  return true;
}

std::string JsonFileTable::writeFailureText(int rc) const {
  if (rc == kTooLarge) {
    return "config file " + name_ + " would exceed " + std::to_string(kMaxFileBytes) + " bytes";
  }
  return "cannot write config file " + name_;
}

void JsonFileTable::put(const Row& row) {
  MutexGuard guard(&lock_);
  rows_[row[key_]] = row;
}

void JsonFileTable::erase(const std::string& key) {
  MutexGuard guard(&lock_);
  rows_.erase(key);
}

bool JsonFileTable::find(const std::string& key, Row* out) {
  MutexGuard guard(&lock_);
  auto it = rows_.find(key);
  if (it == rows_.end()) return false;
  *out = it->second;
  return true;
}

std::vector<JsonFileTable::Row> JsonFileTable::rows() {
  MutexGuard guard(&lock_);
  std::vector<Row> all;
  all.reserve(rows_.size());
  for (const auto& entry : rows_) all.push_back(entry.second);
  return all;
}

std::string JsonFileTable::json(const std::vector<Row>& rows) const {
  JsonWriter w;
  w.begin_array();
  for (const Row& row : rows) {
    w.begin_object();
    for (size_t i = 0; i < columns_.size(); ++i) {
      if (columns_[i].kind == Kind::kText) {
        w.member(columns_[i].name, row[i]);
      } else {
        w.member(columns_[i].name, static_cast<int64_t>(std::strtoll(row[i].c_str(), nullptr, 10)));
      }
    }
    w.end_object();
  }
  w.end_array();
  return w.str();
}
