// Adapters for the announcer's tests: a fixed set that the test changes,
// and queries that fail on demand.
#pragma once

#include <string>
#include <vector>

#include "Brocast.h"
#include "NetAdapters.h"

inline AdapterRecord record(const char* name, const char* ip, const char* mask) {
  AdapterRecord r;
  r.name = name;
  r.desc = std::string("desc of ") + name;
  r.ip = ip;
  r.mask = mask;
  r.gateway = "0.0.0.0";
  return r;
}

// A fixed set of adapters; `fail_*` make the queries fail.
struct FakeAdapters {
  std::vector<AdapterStatus> status;
  std::vector<AdapterRecord> records;
  bool fail_status = false;
  bool fail_records = false;

  AdapterSource source() {
    AdapterSource s;
    s.status = [this](std::vector<AdapterStatus>* out, std::string* error) {
      out->clear();
      if (fail_status) {
        *error = "broken";
        return 5;
      }
      *out = status;
      return 0;
    };
    s.records = [this](std::vector<AdapterRecord>* out) {
      out->clear();
      if (fail_records) return -1;
      *out = records;
      return 0;
    };
    return s;
  }
};

inline AdapterStatus up(bool is_up, std::vector<std::string> ipv4) {
  AdapterStatus s;
  s.up = is_up;
  s.ipv4 = std::move(ipv4);
  return s;
}
