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
  JsonFileTable::ReadOutcome read = table_.read();
  if (!read.error.empty()) LOG("d", "exception: %s", read.error.c_str());
  if (!read.damage.empty()) {
    LOG("e", "%s cannot be read (%s); set aside as %s", table_.path().c_str(), read.damage.c_str(),
        read.set_aside.empty() ? "(the rename failed)" : read.set_aside.c_str());
  }
}

std::string UserManager::getUsers() {
  MutexGuard guard(table_.mutex());
  readUsers();
  return table_.json(table_.rows());
}

int UserManager::addUser(const std::string& loginnm, const std::string& data) {
  MutexGuard guard(table_.mutex());
  readUsers();
  return writeUsers(table_.putAndWrite({loginnm, data, int64_to_text(wall_ms() / 1000)}));
}

int UserManager::delUser(const std::string& loginnm) {
  MutexGuard guard(table_.mutex());
  readUsers();
  return writeUsers(table_.eraseAndWrite(loginnm));
}

int UserManager::writeUsers(int rc) {
  if (rc != 0) LOG("e", "%s: nothing changed", failureText(rc).c_str());
  return rc;
}
