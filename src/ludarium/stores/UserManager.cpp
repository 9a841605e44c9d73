#include "UserManager.h"

#include <cstring>

#include "AtomicTextFile.h"
#include "Clock.h"
#include "FileSystem.h"
#include "JsonReader.h"
#include "JsonWriter.h"
#include "Log.h"
#include "Util.h"

UserManager::UserManager(const std::string& config_dir) : path_(path_join(config_dir, "ud")) {
  mutex_init(&lock_);
  make_dir(config_dir);
}

UserManager::~UserManager() {
  table_.clear();
  mutex_destroy(&lock_);
}

void UserManager::readUsers() {
  MutexGuard guard(&lock_);
  try {
    JsonDocument doc;
    parse_json(read_text_file(path_), &doc);
    if (!doc.IsArray()) throw std::runtime_error("not an array");
    for (auto e = doc.Begin(); e != doc.End(); ++e) {
      Entry entry;
      entry.loginnm = json_as_text(json_at(*e, "loginnm"));
      entry.data = json_as_text(json_at(*e, "data"));
      entry.time = json_as_text(json_at(*e, "time"));
      table_[entry.loginnm] = entry;
    }
  } catch (const std::exception& e) {
    std::string text = exception_text(e);
    std::string type = text.substr(0, text.size() - strlen(e.what()));
    LOG("d", "exception: %s", type.c_str());
  }
}

std::string UserManager::getUsers() {
  MutexGuard guard(&lock_);
  readUsers();
  return usersJson();
}

void UserManager::addUser(const std::string& loginnm, const std::string& data) {
  MutexGuard guard(&lock_);
  readUsers();
  table_[loginnm] = Entry{loginnm, data, int64_to_text(wall_ms() / 1000)};
  writeUsers();
}

void UserManager::delUser(const std::string& loginnm) {
  MutexGuard guard(&lock_);
  readUsers();
  table_.erase(loginnm);
  writeUsers();
}

std::string UserManager::usersJson() {
  JsonWriter w;
  w.begin_array();
  for (const auto& item : table_) {
    const Entry& e = item.second;
    w.begin_object()
        .member("loginnm", e.loginnm)
        .member("data", e.data)
        .member("time", e.time)
        .end_object();
  }
  w.end_array();
  return w.str();
}

void UserManager::writeUsers() {
  if (write_text_file_atomic(path_, usersJson()) != 0) LOG("w", "cannot write %s", path_.c_str());
}
