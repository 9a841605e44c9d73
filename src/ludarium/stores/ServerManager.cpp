#include "ServerManager.h"

#include <cstdlib>

#include "Clock.h"
#include "Log.h"
#include "Util.h"

namespace {

// The record's members in the order the file holds them.
enum ServerColumn { kSchoolId, kId, kAddress, kDescribe, kTime, kRecommend };

std::vector<JsonFileTable::Column> server_columns() {
  using Kind = JsonFileTable::Kind;
  return {{"school_id", Kind::kText}, {"id", Kind::kText},   {"address", Kind::kText},
          {"describe", Kind::kText},  {"time", Kind::kText}, {"recommend", Kind::kInt32}};
}

JsonFileTable::Row to_row(const ServerManager::Server& s) {
  return {s.school_id, s.id, s.address, s.describe, s.time, std::to_string(s.recommend)};
}

ServerManager::Server from_row(const JsonFileTable::Row& row) {
  ServerManager::Server s;
  s.school_id = row[kSchoolId];
  s.id = row[kId];
  s.address = row[kAddress];
  s.describe = row[kDescribe];
  s.time = row[kTime];
  s.recommend = static_cast<int32_t>(std::strtol(row[kRecommend].c_str(), nullptr, 10));
  return s;
}

}  // namespace

ServerManager::ServerManager(const std::string& config_dir)
    : table_(config_dir, "servers", server_columns(), kId) {}

void ServerManager::readServers() {
  MutexGuard guard(table_.mutex());
  LOG("d", "%s", "");
  JsonFileTable::ReadOutcome read = table_.read();
  if (!read.error.empty()) LOG("d", "exception: %s", read.error.c_str());
  if (!read.damage.empty()) {
    LOG("e", "%s cannot be read (%s); set aside as %s", table_.path().c_str(), read.damage.c_str(),
        read.set_aside.empty() ? "(the rename failed)" : read.set_aside.c_str());
  }
  LOG("d", "%s", "");
}

std::string ServerManager::getRecommendServer() {
  MutexGuard guard(table_.mutex());
  LOG("d", "%s", "");
  readServers();
  Server best;
  for (const JsonFileTable::Row& row : table_.rows()) {
    Server s = from_row(row);
    if (s.recommend <= 0) continue;
    if (static_cast<int64_t>(text_to_uint64(s.time)) >
        static_cast<int64_t>(text_to_uint64(best.time))) {
      best = s;
    }
  }
  std::vector<JsonFileTable::Row> chosen;
  if (!best.address.empty()) chosen.push_back(to_row(best));
  LOG("d", "%s", "");
  return table_.json(chosen);
}

int ServerManager::addServer(const std::string& school_id, const std::string& id,
                             const std::string& address, const std::string& describe,
                             int32_t recommend) {
  MutexGuard guard(table_.mutex());
  LOG("d", "%s", "");
  readServers();
  Server s;
  s.school_id = school_id;
  s.id = id;
  s.address = address;
  s.describe = describe;
  s.time = int64_to_text(wall_ms() / 1000);
  s.recommend = recommend;
  int rc = writeServers(table_.putAndWrite(to_row(s)));
  LOG("d", "%s", "");
  return rc;
}

int ServerManager::delServer(const std::string& id) {
  MutexGuard guard(table_.mutex());
  LOG("d", "%s", "");
  readServers();
  int rc = writeServers(table_.eraseAndWrite(id));
  LOG("d", "%s", "");
  return rc;
}

bool ServerManager::selectServer(const std::string& id,
                                 const std::function<void(const Server&)>& use) {
  MutexGuard guard(table_.mutex());
  LOG("d", "%s", "");
  readServers();
  JsonFileTable::Row row;
  if (!table_.find(id, &row) || row[kAddress].empty()) {
    LOG("d", "%s", "");
    return false;
  }
  use(from_row(row));
  LOG("d", "%s", "");
  return true;
}

int ServerManager::writeServers(int rc) {
  if (rc != 0) LOG("e", "%s: nothing changed", failureText(rc).c_str());
  return rc;
}
