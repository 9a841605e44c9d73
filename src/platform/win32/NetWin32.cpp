// Socket housekeeping on Win32 (Windows Sockets).
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include "Net.h"

const sock_t kInvalidSocket = INVALID_SOCKET;

namespace {

// A null ip means every local address. False for a text that is not an
// IPv4 address.
bool MakeAddress(const char* ip, int port, sockaddr_in* address) {
  *address = sockaddr_in();
  address->sin_family = AF_INET;
  address->sin_port = htons(static_cast<u_short>(port));
  if (ip == nullptr) {
    address->sin_addr.s_addr = htonl(INADDR_ANY);
    return true;
  }
  return inet_pton(AF_INET, ip, &address->sin_addr) == 1;
}

SOCKET BoundSocket(int type, int protocol, const char* ip, int port) {
  sockaddr_in address;
  if (!MakeAddress(ip, port, &address)) return INVALID_SOCKET;
  SOCKET s = socket(AF_INET, type, protocol);
  if (s == INVALID_SOCKET) return INVALID_SOCKET;
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  return s;
}

}  // namespace

int net_startup(int major, int minor) {
  WSADATA data;
  if (WSAStartup(MAKEWORD(major, minor), &data) != 0) return -1;
  if (LOBYTE(data.wVersion) != major || HIBYTE(data.wVersion) != minor) return -2;
  return 0;
}

void net_cleanup() { WSACleanup(); }

int port_in_use(int port, const char* ip) {
  sockaddr_in address;
  if (!MakeAddress(ip, port, &address)) return 1;
  // Its own reference on the socket library, so that it works before (and
  // independently of) the program's net_startup.
  WSADATA data;
  if (WSAStartup(MAKEWORD(1, 1), &data) != 0) return 1;
  sockaddr* target = reinterpret_cast<sockaddr*>(&address);

  int in_use = 0;
  SOCKET tcp = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (tcp != INVALID_SOCKET) {
    if (connect(tcp, target, sizeof(address)) == 0) in_use = 1;
    close_gracefully(tcp);
    closesocket(tcp);
  }
  if (!in_use) {
    SOCKET udp = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (udp != INVALID_SOCKET) {
      if (bind(udp, target, sizeof(address)) != 0) in_use = 1;
      close_gracefully(udp);
      closesocket(udp);
    }
  }
  WSACleanup();
  return in_use;
}

void close_gracefully(sock_t s) {
  if (s == INVALID_SOCKET) return;
  linger option;
  option.l_onoff = 1;
  option.l_linger = 1;
  setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&option), sizeof(option));
  shutdown(s, SD_SEND);
  u_long non_blocking = 1;
  ioctlsocket(s, FIONBIO, &non_blocking);
  char buf[1024];
  while (recv(s, buf, sizeof(buf), 0) > 0) {
  }
}

sock_t open_tcp_listener(const char* ip, int port, int backlog) {
  SOCKET s = BoundSocket(SOCK_STREAM, IPPROTO_TCP, ip, port);
  if (s != INVALID_SOCKET && listen(s, backlog) != 0) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  return s;
}

sock_t open_udp_socket(const char* ip, int port) {
  return BoundSocket(SOCK_DGRAM, IPPROTO_UDP, ip, port);
}

void close_socket(sock_t s) {
  if (s != INVALID_SOCKET) closesocket(s);
}

int socket_error() { return WSAGetLastError(); }

sock_t open_udp() { return socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP); }

sock_t open_tcp() { return socket(AF_INET, SOCK_STREAM, IPPROTO_TCP); }

int bind_socket(sock_t s, const char* ip, int port) {
  sockaddr_in address;
  if (!MakeAddress(ip, port, &address)) {
    WSASetLastError(WSAEINVAL);
    return -1;
  }
  return bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 ? 0 : -1;
}

int listen_socket(sock_t s, int backlog) { return listen(s, backlog) == 0 ? 0 : -1; }

sock_t accept_socket(sock_t s, std::string* peer_ip, int* peer_port) {
  sockaddr_in peer;
  int len = sizeof(peer);
  SOCKET c = accept(s, reinterpret_cast<sockaddr*>(&peer), &len);
  if (c == INVALID_SOCKET) return kInvalidSocket;
  if (peer_ip != nullptr) {
    char text[INET_ADDRSTRLEN] = {0};
    inet_ntop(AF_INET, &peer.sin_addr, text, sizeof(text));
    *peer_ip = text;
  }
  if (peer_port != nullptr) *peer_port = ntohs(peer.sin_port);
  return c;
}

int enable_broadcast(sock_t s) {
  // BOOL-sized rather than one byte: every Winsock, Wine's too, takes it.
  BOOL on = TRUE;
  return setsockopt(s, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof(on)) == 0
             ? 0
             : -1;
}

int send_datagram(sock_t s, const char* ip, int port, const char* data, size_t size) {
  sockaddr_in address;
  if (!MakeAddress(ip, port, &address)) {
    WSASetLastError(WSAEINVAL);
    return -1;
  }
  int n = sendto(s, data, static_cast<int>(size), 0, reinterpret_cast<sockaddr*>(&address),
                 sizeof(address));
  return n == SOCKET_ERROR ? -1 : n;
}

int receive_datagram(sock_t s, char* buf, size_t size, int timeout_ms) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(s, &readable);
  timeval limit;
  limit.tv_sec = timeout_ms / 1000;
  limit.tv_usec = (timeout_ms % 1000) * 1000;
  int n = select(0, &readable, nullptr, nullptr, &limit);
  if (n == SOCKET_ERROR) return -1;
  if (n == 0) return -2;
  int got = recv(s, buf, static_cast<int>(size), 0);
  // A datagram larger than buf arrives cut, reported as WSAEMSGSIZE.
  if (got == SOCKET_ERROR) return WSAGetLastError() == WSAEMSGSIZE ? static_cast<int>(size) : -1;
  return got;
}

int send_some(sock_t s, const char* data, size_t size) {
  if (size > 0x7FFFFFFF) size = 0x7FFFFFFF;
  int n = send(s, data, static_cast<int>(size), 0);
  return n == SOCKET_ERROR ? -1 : n;
}

int wait_writable(sock_t s, int ms) {
  fd_set writable;
  FD_ZERO(&writable);
  FD_SET(s, &writable);
  fd_set failed;
  FD_ZERO(&failed);
  FD_SET(s, &failed);
  timeval limit;
  limit.tv_sec = ms / 1000;
  limit.tv_usec = (ms % 1000) * 1000;
  int n = select(0, nullptr, &writable, &failed, &limit);
  if (n == SOCKET_ERROR) return -1;
  return n == 0 ? 0 : 1;
}

bool host_address(std::string* ip) {
  char name[256] = {0};
  if (gethostname(name, sizeof(name) - 1) != 0) return false;
  addrinfo hints = addrinfo();
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr) return false;
  char text[INET_ADDRSTRLEN] = {0};
  const sockaddr_in* first = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
  bool ok = inet_ntop(AF_INET, const_cast<in_addr*>(&first->sin_addr), text, sizeof(text)) != nullptr;
  freeaddrinfo(found);
  if (ok) *ip = text;
  return ok;
}
