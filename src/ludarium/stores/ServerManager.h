// The registry of upstream API servers, kept in the file "servers" of a
// config directory as a compact JSON array of records in ascending id order.
//
// The file is the lasting state; the table is a cache that every operation
// refreshes from the file first (records missing from the file stay in the
// table). Rewrites replace the file atomically (temporary file, rename).
//
// Thread safety: every operation holds lock_ for its whole re-read, change
// and rewrite, so concurrent requests never interleave. selectServer takes
// the course mutex (gBorcastObj) inside lock_; nothing takes them the other
// way round.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "Mutex.h"

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
  ~ServerManager();
  ServerManager(const ServerManager&) = delete;
  ServerManager& operator=(const ServerManager&) = delete;

  void readServers();
  // JSON array holding the recommended record (recommend above 0, latest
  // time, ties to the lower id), or "[]".
  std::string getRecommendServer();
  // Inserts or replaces the record, stamped with the current second.
  void addServer(const std::string& school_id, const std::string& id, const std::string& address,
                 const std::string& describe, int32_t recommend);
  void delServer(const std::string& id);
  // Copies the record's address and describe into the course's
  // "cache_addr" and "cache_describe"; false when there is no such record
  // or its address is empty.
  bool selectServer(const std::string& id);

  const std::string& path() const { return path_; }

 private:
  void writeServers();  // the whole table; lock_ held

  std::string path_;
  mutex_t lock_;
  std::map<std::string, Server> table_;  // guarded by lock_
};
