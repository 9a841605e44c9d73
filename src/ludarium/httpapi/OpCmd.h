// The operation-command relay's queue: per type (a channel name, compared
// byte for byte) a first-in-first-out list of opaque command texts, at most
// kMaxPerType long (a new command beyond that drops the oldest). A type's
// list comes into being with the first operation that names it and stays.
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

  OpCmd();
  ~OpCmd();
  OpCmd(const OpCmd&) = delete;
  OpCmd& operator=(const OpCmd&) = delete;

  // Appends info to the type's list, dropping the oldest beyond the limit
  // (warning "typeList.size()=%d, drop old cmd").
  void set(const std::string& type, const std::string& info);
  // Removes and returns the type's oldest command; "" when there is none.
  std::string get(const std::string& type);

 private:
  mutex_t lock_;
  std::map<std::string, std::deque<std::string>> lists_;  // guarded by lock_
};

extern OpCmd gOpCmd;
