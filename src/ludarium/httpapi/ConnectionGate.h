// How many connections to the HTTP API each caller may hold open at once,
// counted from the moment CivetWeb accepts one until it is closed. A
// connection over the limit is closed at accept, before a worker thread is
// spent on it, so a host that opens slow or idle connections occupies a
// bounded number of workers and the rest stay free for this machine.
//
// The teacher's PC (127.0.0.1, ::1) is never limited. Every other address
// may hold per_host connections, and all of them together all_hosts.
//
// admit() runs on CivetWeb's master thread, release() on its worker
// threads; mutex_ guards the counts.
#pragma once

#include <map>
#include <string>

#include "Mutex.h"

class ConnectionGate {
 public:
  ConnectionGate(int per_host, int all_hosts);

  // Whether a connection just accepted from this numeric address may be
  // served; one that may is counted until release() with the same address.
  bool admit(const std::string& address);
  // The connection admitted for this address has closed.
  void release(const std::string& address);

  static bool local(const std::string& address);

 private:
  const int per_host_;
  const int all_hosts_;
  Mutex mutex_;
  std::map<std::string, int> open_;  // by remote address, only counts above 0; mutex_
  int remote_ = 0;                   // sum of open_; mutex_
};
