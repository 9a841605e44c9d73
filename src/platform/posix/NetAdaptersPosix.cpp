#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>
#include <netpacket/packet.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "NetAdapters.h"
#include "Socket.h"

namespace {

struct Interface {
  std::string name;
  unsigned int flags = 0;
  unsigned char mac[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  std::vector<std::pair<std::string, std::string>> ipv4;  // address, mask
};

std::string dotted(const sockaddr* address) {
  char text[INET_ADDRSTRLEN] = {0};
  if (address == nullptr || address->sa_family != AF_INET) return "0.0.0.0";
  inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof(text));
  return text;
}

// The interfaces in the order getifaddrs first names them (its link-layer
// entries come first, in index order). A secondary address labelled
// "eth0:1" belongs to eth0.
int collect(std::vector<Interface>* out) {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return errno;
  for (ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_name == nullptr) continue;
    std::string name = entry->ifa_name;
    size_t colon = name.find(':');
    if (colon != std::string::npos) name.resize(colon);
    Interface* iface = nullptr;
    for (Interface& known : *out) {
      if (known.name == name) iface = &known;
    }
    if (iface == nullptr) {
      out->emplace_back();
      iface = &out->back();
      iface->name = name;
    }
    iface->flags = entry->ifa_flags;
    if (entry->ifa_addr == nullptr) continue;
    if (entry->ifa_addr->sa_family == AF_PACKET) {
      const sockaddr_ll* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
      size_t n = link->sll_halen < sizeof(iface->mac) ? link->sll_halen : sizeof(iface->mac);
      memcpy(iface->mac, link->sll_addr, n);
    } else if (entry->ifa_addr->sa_family == AF_INET) {
      iface->ipv4.emplace_back(dotted(entry->ifa_addr), dotted(entry->ifa_netmask));
    }
  }
  freeifaddrs(list);
  return 0;
}

// The gateway of the interface's first default route in the kernel's table;
// the file prints addresses as the hexadecimal of their network-order value.
std::string default_gateway(const std::string& iface) {
  FILE* f = fopen("/proc/net/route", "r");
  if (f == nullptr) return "0.0.0.0";
  std::string result = "0.0.0.0";
  char line[512];
  if (fgets(line, sizeof(line), f) != nullptr) {  // the heading
    while (fgets(line, sizeof(line), f) != nullptr) {
      char name[IFNAMSIZ + 1] = {0};
      unsigned int destination = 0, gateway = 0, flags = 0;
      if (sscanf(line, "%16s %x %x %x", name, &destination, &gateway, &flags) != 4) continue;
      if (iface != name || destination != 0 || (flags & RTF_GATEWAY) == 0) continue;
      in_addr address;
      address.s_addr = gateway;
      char text[INET_ADDRSTRLEN] = {0};
      inet_ntop(AF_INET, &address, text, sizeof(text));
      result = text;
      break;
    }
  }
  fclose(f);
  return result;
}

// The driver's name as the kernel reports it (e1000e, veth, dummy...), or
// the interface name when the interface has no driver information.
std::string description(const std::string& iface) {
  Socket s(net_udp_socket());
  if (!s.valid()) return iface;
  ethtool_drvinfo info;
  memset(&info, 0, sizeof(info));
  info.cmd = ETHTOOL_GDRVINFO;
  ifreq request;
  memset(&request, 0, sizeof(request));
  strncpy(request.ifr_name, iface.c_str(), IFNAMSIZ - 1);
  request.ifr_data = reinterpret_cast<char*>(&info);
  std::string result = iface;
  if (ioctl(s.get(), SIOCETHTOOL, &request) == 0 && info.driver[0] != '\0') {
    info.driver[sizeof(info.driver) - 1] = '\0';
    result = info.driver;
  }
  return result;
}

}  // namespace

int query_adapter_status(std::vector<AdapterStatus>* out, std::string* error) {
  out->clear();
  std::vector<Interface> interfaces;
  int failure = collect(&interfaces);
  if (failure != 0) {
    if (error != nullptr) *error = strerror(failure);
    return failure;
  }
  for (const Interface& iface : interfaces) {
    AdapterStatus status;
    status.up = (iface.flags & IFF_UP) != 0 && (iface.flags & IFF_RUNNING) != 0;
    for (const auto& address : iface.ipv4) status.ipv4.push_back(address.first);
    out->push_back(status);
  }
  return 0;
}

int query_adapter_records(std::vector<AdapterRecord>* out) {
  out->clear();
  std::vector<Interface> interfaces;
  if (collect(&interfaces) != 0) return -1;
  for (const Interface& iface : interfaces) {
    if ((iface.flags & IFF_LOOPBACK) != 0) continue;
    AdapterRecord record;
    record.name = iface.name;
    record.desc = description(iface.name);
    memcpy(record.mac, iface.mac, sizeof(record.mac));
    record.ip = iface.ipv4.empty() ? "0.0.0.0" : iface.ipv4.front().first;
    record.mask = iface.ipv4.empty() ? "0.0.0.0" : iface.ipv4.front().second;
    record.gateway = default_gateway(iface.name);
    out->push_back(record);
  }
  return 0;
}
