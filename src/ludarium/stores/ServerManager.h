// The registry of upstream API servers, kept in the file "servers" of a
// config directory as a compact JSON array of records in ascending id order
// (a JsonFileTable: the file is the lasting state, every operation
// refreshes the table from it first).
//
// Thread safety: every operation holds the table's mutex for its whole
// re-read, change and rewrite, so concurrent requests never interleave.
// selectServer calls its `use` inside that mutex.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "JsonFileTable.h"

class ServerManager {
 public:
  struct Server {
    std::string school_id;
    std::string id;
    std::string address;
    std::string describe;
    std::string time;  // seconds since 1970, decimal
    int32_t recommend = 0;
  };

  // Creates the directory (an existing one is fine, a failure is ignored).
  explicit ServerManager(const std::string& config_dir);

  void readServers();
  // JSON array holding the recommended record (recommend above 0, latest
  // time, ties to the lower id), or "[]".
  std::string getRecommendServer();
  // Inserts or replaces the record, stamped with the current second, and
  // writes the file. 0, or a JsonFileTable write failure (logged "e"): the
  // file and the table are then as they were.
  int addServer(const std::string& school_id, const std::string& id, const std::string& address,
                const std::string& describe, int32_t recommend);
  int delServer(const std::string& id);
  // The reply text of a failed add or delete.
  std::string failureText(int rc) const { return table_.writeFailureText(rc); }
  // Hands the record to `use` (which copies it into the course); false,
  // without calling it, when there is no such record or its address is
  // empty.
  bool selectServer(const std::string& id, const std::function<void(const Server&)>& use);

  const std::string& path() const { return table_.path(); }

 private:
  int writeServers(int rc);  // logs a failed write; its mutex held

  JsonFileTable table_;
};
