// The operation-command relay's queue: per type (a channel name, compared
// byte for byte) a first-in-first-out list of opaque command texts, at most
// kMaxPerType long (a new command beyond that drops the oldest). A type's
// list comes into being with the first command sent to it and stays; at
// most kMaxTypes types exist (the relay is open to every host, so new names
// must not grow the process without bound): a command to a new type beyond
// that is refused with a warning, the existing types keep working.
//
// Thread safety: lock_ guards lists_ and is held for one operation only;
// any thread may call set and get.
#pragma once

#include <deque>
#include <map>
#include <string>

#include "Mutex.h"

class OpCmd {
 public:
  static const size_t kMaxPerType = 20;
  static constexpr size_t kMaxTypes = 1024;

  OpCmd() = default;
  OpCmd(const OpCmd&) = delete;
  OpCmd& operator=(const OpCmd&) = delete;

  // Appends info to the type's list, dropping the oldest beyond the limit
  // (warning "typeList.size()=%d, drop old cmd"). False, with a warning,
  // when type is new and kMaxTypes types exist already.
  bool set(const std::string& type, const std::string& info);
  // Removes and returns the type's oldest command; "" when there is none.
  // Creates no list.
  std::string get(const std::string& type);
  // How many types have a list.
  size_t typeCount();

 private:
  Mutex lock_;
  std::map<std::string, std::deque<std::string>> lists_;  // guarded by lock_
};

