#include "UserManager.h"

#include "Clock.h"
#include "Log.h"
#include "Util.h"

UserManager::UserManager(const std::string& config_dir)
    : table_(config_dir, "ud",
             {{"loginnm", JsonFileTable::Kind::kText},
              {"data", JsonFileTable::Kind::kText},
              {"time", JsonFileTable::Kind::kText}},
             0) {}

void UserManager::readUsers() {
  MutexGuard guard(table_.mutex());
  std::string error = table_.read();
  if (!error.empty()) LOG("d", "exception: %s", error.c_str());
}

std::string UserManager::getUsers() {
  MutexGuard guard(table_.mutex());
  readUsers();
  return table_.json(table_.rows());
}

void UserManager::addUser(const std::string& loginnm, const std::string& data) {
  MutexGuard guard(table_.mutex());
  readUsers();
  table_.put({loginnm, data, int64_to_text(wall_ms() / 1000)});
  writeUsers();
}

void UserManager::delUser(const std::string& loginnm) {
  MutexGuard guard(table_.mutex());
  readUsers();
  table_.erase(loginnm);
  writeUsers();
}

void UserManager::writeUsers() {
  if (table_.write() != 0) LOG("w", "cannot write %s", table_.path().c_str());
}
