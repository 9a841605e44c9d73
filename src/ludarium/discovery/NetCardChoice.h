// Which network adapter the course broadcast goes out on, and how adapters
// are listed to the teacher's client. Plain functions over the adapter views
// of NetAdapters.h; the announcer (Brocast) queries the system and keeps the
// result.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "NetAdapters.h"

// The 32-bit value (host order) of a dotted IPv4 text. Anything that is not
// four dotted decimal parts of 0-255, the empty text included, gives all
// ones, as the system's inet_addr does.
uint32_t ipv4_value(const std::string& text);
std::string ipv4_text(uint32_t value);

// The directed broadcast address of an address and its mask:
// (address AND mask) OR NOT mask. Empty texts give 255.255.255.255.
std::string directed_broadcast(const std::string& address, const std::string& mask);

// The first six bytes of a hardware address as "00-1a-2b-3c-4d-5e".
std::string mac_text(const unsigned char* mac);

// The JSON array of the adapters whose first address is a working address,
// each once, in the system's order: "name", "desc", "mac", "IP Address",
// "IP Mask", "Gateway".
std::string net_card_list_json(const std::vector<AdapterRecord>& records,
                               const std::vector<std::string>& working);

// The address and mask the announcer takes: those of the adapter whose first
// address is `selected` (even when it is not up), else those of the first
// adapter whose first address is working, else empty texts.
void choose_net_card(const std::vector<AdapterRecord>& records,
                     const std::vector<std::string>& working, const std::string& selected,
                     std::string* address, std::string* mask);
