// The names the teacher gives the class's groups in the console: the file
// "groups" of the config directory, a JsonFileTable of records
// {"group_id","name"}. Before this store the console kept the same names
// as one text ("<id> <name>" a line) under the login "ludarium-console-groups"
// of the login-user store, where the teacher's own client saw them;
// adoptLoginEntry() moves such a text here once.
//
// Thread safety: every operation holds the table's mutex for its whole
// re-read, change and rewrite; HTTP worker threads call it concurrently.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "JsonFileTable.h"

class ConsoleGroups {
 public:
  using Group = std::pair<int32_t, std::string>;  // group id, name

  // The login the console used to keep its groups under.
  static const char* const kLegacyLogin;

  explicit ConsoleGroups(const std::string& config_dir);

  // Every named group, ascending by id.
  std::vector<Group> groups();
  // JSON array of groups() as the file holds its records.
  std::string json();
  // Replaces every group by these (ids unique, names not empty). 0, or -1
  // when the file could not be written: the groups are then those of the
  // file, unchanged.
  int replace(const std::vector<Group>& groups);

  // The old text form, one "<id> <name>" a line; lines without an id or
  // without a name are left out.
  static std::vector<Group> parseLines(const std::string& text);

  // Moves the legacy login's groups from the login-user store of config_dir
  // into this store (a group already named here keeps its name), then
  // deletes the login. Nothing happens without such a login; the login
  // stays when this store could not be written. Run at start-up, before
  // anything else opens the login-user store: that store's table keeps
  // what it read, and would write an entry deleted under it back.
  void adoptLoginEntry(const std::string& config_dir);

  const std::string& path() const { return table_.path(); }

 private:
  std::vector<Group> rowsAsGroups();  // mutex held

  JsonFileTable table_;
};
