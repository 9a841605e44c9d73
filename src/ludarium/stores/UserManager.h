// The login-user store: one opaque text per login name, kept in the file
// "ud" of a config directory as a compact JSON array of entries in
// ascending login-name order.
//
// The file is the lasting state; the table is a cache that every operation
// refreshes from the file first (entries missing from the file stay in the
// table). Rewrites replace the file atomically (temporary file, rename).
//
// Thread safety: every operation holds lock_ for its whole re-read, change
// and rewrite.
#pragma once

#include <map>
#include <string>

#include "Mutex.h"

class UserManager {
 public:
  struct Entry {
    std::string loginnm;
    std::string data;  // never empty in a stored entry
    std::string time;  // seconds since 1970, decimal
  };

  // Creates the directory (an existing one is fine, a failure is ignored).
  explicit UserManager(const std::string& config_dir);
  ~UserManager();
  UserManager(const UserManager&) = delete;
  UserManager& operator=(const UserManager&) = delete;

  void readUsers();
  // JSON array of every entry, as the file holds it.
  std::string getUsers();
  // Sets the entry, stamped with the current second.
  void addUser(const std::string& loginnm, const std::string& data);
  void delUser(const std::string& loginnm);

  const std::string& path() const { return path_; }

 private:
  std::string usersJson();  // lock_ held
  void writeUsers();        // lock_ held

  std::string path_;
  mutex_t lock_;
  std::map<std::string, Entry> table_;  // guarded by lock_
};
