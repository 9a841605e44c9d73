#include "OpCmd.h"

#include "Log.h"

bool OpCmd::set(const std::string& type, const std::string& info) {
  MutexGuard guard(&lock_);
  auto found = lists_.find(type);
  if (found == lists_.end() && lists_.size() >= kMaxTypes) {
    LOG("w", "%d types exist already, new type refused, type=%s\n", static_cast<int>(lists_.size()),
        type.c_str());
    return false;
  }
  std::deque<std::string>& typeList = found != lists_.end() ? found->second : lists_[type];
  typeList.push_back(info);
  while (typeList.size() > kMaxPerType) {
    LOG("w", "typeList.size()=%d, drop old cmd\n", static_cast<int>(typeList.size()));
    typeList.pop_front();
  }
  return true;
}

std::string OpCmd::get(const std::string& type) {
  MutexGuard guard(&lock_);
  auto found = lists_.find(type);
  if (found == lists_.end() || found->second.empty()) return std::string();
  std::deque<std::string>& typeList = found->second;
  std::string front = std::move(typeList.front());
  typeList.pop_front();
  return front;
}

size_t OpCmd::typeCount() {
  MutexGuard guard(&lock_);
  return lists_.size();
}
