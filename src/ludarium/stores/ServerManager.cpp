#include "ServerManager.h"

#include <cstring>

#include "AtomicTextFile.h"
#include "Brocast.h"
#include "Clock.h"
#include "FileSystem.h"
#include "JsonReader.h"
#include "JsonWriter.h"
#include "Log.h"
#include "Util.h"

namespace {

void write_record(JsonWriter* w, const ServerManager::Server& s) {
  w->begin_object()
      .member("school_id", s.school_id)
      .member("id", s.id)
      .member("address", s.address)
      .member("describe", s.describe)
      .member("time", s.time)
      .member("recommend", static_cast<int64_t>(s.recommend))
      .end_object();
}

// The exception's runtime type name alone, without its message.
std::string type_name(const std::exception& e) {
  std::string text = exception_text(e);
  return text.substr(0, text.size() - strlen(e.what()));
}

}  // namespace

ServerManager::ServerManager(const std::string& config_dir)
    : path_(path_join(config_dir, "servers")) {
  mutex_init(&lock_);
  make_dir(config_dir);
}

ServerManager::~ServerManager() {
  table_.clear();
  mutex_destroy(&lock_);
}

void ServerManager::readServers() {
  MutexGuard guard(&lock_);
  LOG("d", "%s", "");
  try {
    JsonDocument doc;
    parse_json(read_text_file(path_), &doc);
    if (!doc.IsArray()) throw std::runtime_error("not an array");
    for (auto e = doc.Begin(); e != doc.End(); ++e) {
      Server s;
      s.school_id = json_as_text(json_at(*e, "school_id"));
      s.id = json_as_text(json_at(*e, "id"));
      s.address = json_as_text(json_at(*e, "address"));
      s.describe = json_as_text(json_at(*e, "describe"));
      s.time = json_as_text(json_at(*e, "time"));
      s.recommend = static_cast<int32_t>(json_as_int(json_at(*e, "recommend")));
      table_[s.id] = s;
    }
  } catch (const std::exception& e) {
    LOG("d", "exception: %s", type_name(e).c_str());
  }
  LOG("d", "%s", "");
}

std::string ServerManager::getRecommendServer() {
  MutexGuard guard(&lock_);
  LOG("d", "%s", "");
  readServers();
  Server best;
  for (const auto& entry : table_) {
    const Server& s = entry.second;
    if (s.recommend <= 0) continue;
    if (static_cast<int64_t>(text_to_uint64(s.time)) >
        static_cast<int64_t>(text_to_uint64(best.time))) {
      best = s;
    }
  }
  JsonWriter w;
  w.begin_array();
  if (!best.address.empty()) write_record(&w, best);
  w.end_array();
  LOG("d", "%s", "");
  return w.str();
}

void ServerManager::addServer(const std::string& school_id, const std::string& id,
                              const std::string& address, const std::string& describe,
                              int32_t recommend) {
  MutexGuard guard(&lock_);
  LOG("d", "%s", "");
  readServers();
  Server s;
  s.school_id = school_id;
  s.id = id;
  s.address = address;
  s.describe = describe;
  s.time = int64_to_text(wall_ms() / 1000);
  s.recommend = recommend;
  table_[id] = s;
  writeServers();
  LOG("d", "%s", "");
}

void ServerManager::delServer(const std::string& id) {
  MutexGuard guard(&lock_);
  LOG("d", "%s", "");
  readServers();
  table_.erase(id);
  writeServers();
  LOG("d", "%s", "");
}

bool ServerManager::selectServer(const std::string& id) {
  MutexGuard guard(&lock_);
  LOG("d", "%s", "");
  readServers();
  auto it = table_.find(id);
  if (it == table_.end() || it->second.address.empty()) {
    LOG("d", "%s", "");
    return false;
  }
  const Server& chosen = it->second;
  gBorcastObj.update([&chosen](BrocastData& course) {
    course.cache_addr = chosen.address;
    course.cache_describe = chosen.describe;
  });
  LOG("d", "%s", "");
  return true;
}

void ServerManager::writeServers() {
  JsonWriter w;
  w.begin_array();
  for (const auto& entry : table_) write_record(&w, entry.second);
  w.end_array();
  // A failed write leaves the old file; the table keeps the change until
  // the next read.
  if (write_text_file_atomic(path_, w.str()) != 0) LOG("w", "cannot write %s", path_.c_str());
}
