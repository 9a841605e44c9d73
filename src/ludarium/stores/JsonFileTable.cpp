#include "JsonFileTable.h"

#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <utility>

#include "AtomicTextFile.h"
#include "FileSystem.h"
#include "JsonReader.h"
#include "JsonWriter.h"
#include "Util.h"

JsonFileTable::JsonFileTable(const std::string& dir, const std::string& file_name,
                             std::vector<Column> columns, size_t key)
    : path_(path_join(dir, file_name)), columns_(std::move(columns)), key_(key) {
  make_dir(dir);
}

std::string JsonFileTable::read() {
  MutexGuard guard(&lock_);
  try {
    JsonDocument doc;
    parse_json(read_text_file(path_), &doc);
    if (!doc.IsArray()) throw std::runtime_error("not an array");
    for (auto e = doc.Begin(); e != doc.End(); ++e) {
      Row row;
      for (const Column& c : columns_) {
        const JsonValue& v = json_at(*e, c.name);
        row.push_back(c.kind == Kind::kText ? json_as_text(v)
                                            : std::to_string(static_cast<int32_t>(json_as_int(v))));
      }
      rows_[row[key_]] = std::move(row);
    }
  } catch (const std::exception& e) {
    return exception_type_name(e);
  }
  return std::string();
}

int JsonFileTable::write() {
  MutexGuard guard(&lock_);
  return write_text_file_atomic(path_, json(rows()));
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
