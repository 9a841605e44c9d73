#include "OpCmd.h"

#include "Log.h"

OpCmd::OpCmd() { mutex_init(&lock_); }

OpCmd::~OpCmd() { mutex_destroy(&lock_); }

void OpCmd::set(const std::string& type, const std::string& info) {
  MutexGuard guard(&lock_);
  std::deque<std::string>& typeList = lists_[type];
  typeList.push_back(info);
  while (typeList.size() > kMaxPerType) {
    LOG("w", "typeList.size()=%d, drop old cmd\n", static_cast<int>(typeList.size()));
    typeList.pop_front();
  }
}

std::string OpCmd::get(const std::string& type) {
  MutexGuard guard(&lock_);
  std::deque<std::string>& typeList = lists_[type];
  if (typeList.empty()) return std::string();
  std::string front = std::move(typeList.front());
  typeList.pop_front();
  return front;
}
