// The web pages a school allows to use the local API: the file "origins" of
// the config directory, one origin per line ("scheme://host[:port]"), "#"
// starting a comment, blank lines ignored. Lines are compared in their
// canonical form (WebOrigin.h), so "HTTPS://Platform.example" and
// "https://platform.example:443" are one entry.
//
// The file is the lasting state and may be edited by hand while the server
// runs: every lookup re-reads it when the last read is more than a second
// old. add() and remove() rewrite it atomically, keeping the other lines
// (comments included) as they stand.
//
// Thread safety: every method takes the list's own mutex; HTTP worker
// threads call it concurrently.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Mutex.h"

class OriginList {
 public:
  // Reads the file now; a missing file is an empty list.
  explicit OriginList(const std::string& config_dir);

  // Whether the canonical origin is listed.
  bool contains(const std::string& canonical);
  // Every listed origin, canonical, in file order, each once.
  std::vector<std::string> origins();

  // How many origins add() lists at most: a school allows a page or two, and
  // every browser request may look the list up.
  static constexpr size_t kMaxOrigins = 100;
  // 0 when the origin is listed afterwards (already listed included); -1
  // when the file could not be written, -2 when kMaxOrigins are listed
  // (nothing changed then). The origin must be canonical.
  int add(const std::string& canonical);
  // 0 when the origin is not listed afterwards; -1 when the file could not
  // be written.
  int remove(const std::string& canonical);

  const std::string& path() const { return path_; }

 private:
  void refresh(bool force);                          // lock_ held
  int store(const std::vector<std::string>& lines);  // lock_ held

  const std::string dir_;
  const std::string path_;
  Mutex lock_;
  // Guarded by lock_: the file's lines as read, and their origins.
  std::vector<std::string> lines_;
  std::vector<std::string> origins_;
  int64_t read_at_ms_ = 0;
  bool read_once_ = false;
};
