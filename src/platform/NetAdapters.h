// The machine's network adapters, IPv4 only, in the order the system lists
// them. Two views, as Windows' IP Helper gives them: the operational status
// with every unicast address (GetAdaptersAddresses), and the adapter
// records with the first address, mask and gateway (GetAdaptersInfo).
//
// On Linux an adapter is an interface from getifaddrs: it is up when its
// flags say IFF_UP and IFF_RUNNING; the hardware address comes from its
// link-layer entry, the gateway from the kernel's routing table
// (/proc/net/route), the description from the driver's name (the interface
// name when there is no driver). Loopback interfaces take part in the status
// view but not in the records, as on Windows.
//
// Both calls may run on any thread at once; they share nothing.
#pragma once

#include <string>
#include <vector>

struct AdapterStatus {
  bool up = false;
  std::vector<std::string> ipv4;  // dotted unicast addresses, first one first
};

// Fills out with every adapter. 0 on success; otherwise the system's error
// code, with its text in *error, and out empty.
int query_adapter_status(std::vector<AdapterStatus>* out, std::string* error);

struct AdapterRecord {
  std::string name;  // system name (GUID text on Windows, interface name on Linux)
  std::string desc;  // readable description
  unsigned char mac[8] = {0, 0, 0, 0, 0, 0, 0, 0};  // hardware address, zero-padded
  // Dotted texts as the system gives them; "0.0.0.0" when there is none.
  std::string ip;       // first IPv4 address
  std::string mask;     // its mask
  std::string gateway;  // first default gateway
};

// Fills out with the adapter records. 0 on success, -1 when the query
// failed; on Windows a machine without any adapter is such a failure
// (GetAdaptersInfo answers ERROR_NO_DATA), on Linux it gives an empty list.
int query_adapter_records(std::vector<AdapterRecord>* out);
