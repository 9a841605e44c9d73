#include "NetCardChoice.h"

#include <algorithm>
#include <cstdio>

#include "JsonWriter.h"

namespace {

bool contains(const std::vector<std::string>& list, const std::string& text) {
  return std::find(list.begin(), list.end(), text) != list.end();
}

}  // namespace

uint32_t ipv4_value(const std::string& text) {
  const uint32_t kNone = 0xFFFFFFFFu;
  uint32_t value = 0;
  size_t pos = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (pos >= text.size() || text[pos] != '.') return kNone;
      ++pos;
    }
    size_t start = pos;
    uint32_t number = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < 3) {
      number = number * 10 + static_cast<uint32_t>(text[pos] - '0');
      ++pos;
    }
    if (pos == start || number > 255) return kNone;
    value = (value << 8) | number;
  }
  return pos == text.size() ? value : kNone;
}

std::string ipv4_text(uint32_t value) {
  char text[16];
  snprintf(text, sizeof(text), "%u.%u.%u.%u", (value >> 24) & 0xFF, (value >> 16) & 0xFF,
           (value >> 8) & 0xFF, value & 0xFF);
  return text;
}

std::string directed_broadcast(const std::string& address, const std::string& mask) {
  uint32_t a = ipv4_value(address);
  uint32_t m = ipv4_value(mask);
  return ipv4_text((a & m) | ~m);
}

std::string mac_text(const unsigned char* mac) {
  char text[18];
  snprintf(text, sizeof(text), "%02x-%02x-%02x-%02x-%02x-%02x", mac[0], mac[1], mac[2], mac[3],
           mac[4], mac[5]);
  return text;
}

std::string net_card_list_json(const std::vector<AdapterRecord>& records,
                               const std::vector<std::string>& working) {
  JsonWriter w;
  w.begin_array();
  for (const AdapterRecord& r : records) {
    if (!contains(working, r.ip)) continue;
    w.begin_object()
        .member("name", r.name)
        .member("desc", r.desc)
        .member("mac", mac_text(r.mac))
        .member("IP Address", r.ip)
        .member("IP Mask", r.mask)
        .member("Gateway", r.gateway)
        .end_object();
  }
  w.end_array();
  return w.str();
}

void choose_net_card(const std::vector<AdapterRecord>& records,
                     const std::vector<std::string>& working, const std::string& selected,
                     std::string* address, std::string* mask) {
  const AdapterRecord* chosen = nullptr;
  const AdapterRecord* first_working = nullptr;
  for (const AdapterRecord& r : records) {
    if (r.ip == selected) chosen = &r;
    if (first_working == nullptr && contains(working, r.ip)) first_working = &r;
  }
  if (chosen == nullptr) chosen = first_working;
  *address = chosen != nullptr ? chosen->ip : std::string();
  *mask = chosen != nullptr ? chosen->mask : std::string();
}
