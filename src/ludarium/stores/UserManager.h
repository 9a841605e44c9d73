// The login-user store: one opaque text per login name, kept in the file
// "ud" of a config directory as a compact JSON array of entries
// {"loginnm","data","time"} in ascending login-name order (a JsonFileTable:
// the file is the lasting state, every operation refreshes the table from
// it first). A stored entry's data is never empty; time is seconds since
// 1970, decimal.
//
// Thread safety: every operation holds the table's mutex for its whole
// re-read, change and rewrite.
#pragma once

#include <string>

#include "JsonFileTable.h"

class UserManager {
 public:
  // Creates the directory (an existing one is fine, a failure is ignored).
  explicit UserManager(const std::string& config_dir);

  void readUsers();
  // JSON array of every entry, as the file holds it.
  std::string getUsers();
  // Sets the entry, stamped with the current second, and writes the file.
  // 0, or a JsonFileTable write failure (logged "e"): the file and the
  // table are then as they were.
  int addUser(const std::string& loginnm, const std::string& data);
  int delUser(const std::string& loginnm);
  // The reply text of a failed set or delete.
  std::string failureText(int rc) const { return table_.writeFailureText(rc); }

  const std::string& path() const { return table_.path(); }

 private:
  int writeUsers(int rc);  // logs a failed write; the table's mutex held

  JsonFileTable table_;
};
