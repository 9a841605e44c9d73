// winsock2.h before windows.h, iphlpapi.h after both.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
// clang-format on

#include <cstring>

#include "NetAdapters.h"

namespace {

std::string system_error_text(DWORD code) {
  char* text = nullptr;
  DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&text), 0,
      nullptr);
  std::string result = (n > 0 && text != nullptr) ? std::string(text, n) : std::string();
  if (text != nullptr) LocalFree(text);
  return result;
}

}  // namespace

int query_adapter_status(std::vector<AdapterStatus>* out, std::string* error) {
  out->clear();
  const ULONG flags = GAA_FLAG_SKIP_ANYCAST;
  ULONG size = 0;
  ULONG result = GetAdaptersAddresses(AF_INET, flags, nullptr, nullptr, &size);
  // The records hold 64-bit fields: the buffer is allocated in 8-byte units.
  std::vector<ULONGLONG> buffer;
  // The list can grow between the size query and the query itself.
  for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    buffer.assign(size / sizeof(ULONGLONG) + 1, 0);
    size = static_cast<ULONG>(buffer.size() * sizeof(ULONGLONG));
    result = GetAdaptersAddresses(AF_INET, flags, nullptr,
                                  reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
  }
  if (result != NO_ERROR) {
    if (error != nullptr) *error = system_error_text(result);
    return static_cast<int>(result);
  }
  for (const IP_ADAPTER_ADDRESSES* a = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data());
       a != nullptr; a = a->Next) {
    AdapterStatus status;
    status.up = a->OperStatus == IfOperStatusUp;
    for (const IP_ADAPTER_UNICAST_ADDRESS* u = a->FirstUnicastAddress; u != nullptr; u = u->Next) {
      const sockaddr* address = u->Address.lpSockaddr;
      if (address == nullptr || address->sa_family != AF_INET) continue;
      char text[INET_ADDRSTRLEN] = {0};
      in_addr ip = reinterpret_cast<const sockaddr_in*>(address)->sin_addr;
      if (inet_ntop(AF_INET, &ip, text, sizeof(text)) != nullptr) status.ipv4.push_back(text);
    }
    out->push_back(status);
  }
  return 0;
}

int query_adapter_records(std::vector<AdapterRecord>* out) {
  out->clear();
  // First with a buffer too small for any record, to learn the size.
  ULONG size = 4;
  std::vector<ULONGLONG> buffer(1, 0);
  DWORD result = GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()), &size);
  for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    buffer.assign(size / sizeof(ULONGLONG) + 1, 0);
    size = static_cast<ULONG>(buffer.size() * sizeof(ULONGLONG));
    result = GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()), &size);
  }
  if (result != NO_ERROR) return -1;
  for (const IP_ADAPTER_INFO* a = reinterpret_cast<const IP_ADAPTER_INFO*>(buffer.data());
       a != nullptr; a = a->Next) {
    AdapterRecord record;
    record.name = a->AdapterName;
    record.desc = a->Description;
    UINT n = a->AddressLength < sizeof(record.mac) ? a->AddressLength : sizeof(record.mac);
    memcpy(record.mac, a->Address, n);
    record.ip = a->IpAddressList.IpAddress.String;
    record.mask = a->IpAddressList.IpMask.String;
    record.gateway = a->GatewayList.IpAddress.String;
    out->push_back(record);
  }
  return 0;
}
