#include "ConnectionGate.h"

ConnectionGate::ConnectionGate(int per_host, int all_hosts) : per_host_(per_host), all_hosts_(all_hosts) {}

bool ConnectionGate::local(const std::string& address) { return address == "127.0.0.1" || address == "::1"; }

bool ConnectionGate::admit(const std::string& address) {
  if (local(address)) return true;
  MutexGuard lock(&mutex_);
  auto it = open_.find(address);
  int count = it == open_.end() ? 0 : it->second;
  if (count >= per_host_ || remote_ >= all_hosts_) return false;
  ++open_[address];
  ++remote_;
  return true;
}

void ConnectionGate::release(const std::string& address) {
  if (local(address)) return;
  MutexGuard lock(&mutex_);
  auto it = open_.find(address);
  // Unmatched: nothing of another connection's is given away.
  if (it == open_.end()) return;
  --remote_;
  if (--it->second == 0) open_.erase(it);
}
