// Socket housekeeping on Win32 (Windows Sockets).
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include "Net.h"
#include "Socket.h"

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

}  // namespace

int net_startup(int major, int minor) {
  WSADATA data;
  ZeroMemory(&data, sizeof(data));
  int error = WSAStartup(MAKEWORD(major, minor), &data);
  return net_startup_result(error, data.wVersion, data.wHighVersion, major, minor);
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
  {
    Socket tcp(net_tcp_socket(), SocketClose::kGraceful);
    if (tcp.valid() && connect(tcp.get(), target, sizeof(address)) == 0) in_use = 1;
  }
  if (!in_use) {
    Socket udp(net_udp_socket(), SocketClose::kGraceful);
    if (udp.valid() && bind(udp.get(), target, sizeof(address)) != 0) in_use = 1;
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

void close_socket(sock_t s) {
  if (s != INVALID_SOCKET) closesocket(s);
}

int net_last_error() { return WSAGetLastError(); }

bool net_is_connection_lost(int code) { return code == WSAECONNABORTED || code == WSAECONNRESET; }

namespace {

// A negative ms waits without limit.
int WaitFor(sock_t s, bool write, int ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval tv;
  tv.tv_sec = ms / 1000;
  tv.tv_usec = (ms % 1000) * 1000;
  int rc = select(0, write ? nullptr : &set, write ? &set : nullptr, nullptr, ms < 0 ? nullptr : &tv);
  if (rc == SOCKET_ERROR) return -1;
  return rc == 0 ? 0 : 1;
}

bool Ipv4Of(const sockaddr_storage& address, std::string* ip, int* port) {
  if (address.ss_family != AF_INET) return false;
  const sockaddr_in* in = reinterpret_cast<const sockaddr_in*>(&address);
  char text[INET_ADDRSTRLEN] = "";
  inet_ntop(AF_INET, const_cast<in_addr*>(&in->sin_addr), text, sizeof(text));
  if (ip != nullptr) *ip = text;
  if (port != nullptr) *port = ntohs(in->sin_port);
  return true;
}

}  // namespace

int net_wait_readable(sock_t s, int ms) { return WaitFor(s, false, ms); }
int net_wait_writable(sock_t s, int ms) { return WaitFor(s, true, ms); }

int net_send(sock_t s, const char* data, int len) {
  for (;;) {
    int n = send(s, data, len, 0);
    if (n != SOCKET_ERROR) return n;
    if (WSAGetLastError() != WSAEWOULDBLOCK) return -1;
    // A non-blocking socket with a full send buffer: wait for room, as a
    // blocking send would.
    if (WaitFor(s, true, -1) < 0) return -1;
  }
}

int net_send_now(sock_t s, const char* data, int len) {
  // Asking first keeps a blocking socket from blocking, as in net_recv_now.
  int ready = WaitFor(s, true, 0);
  if (ready < 0) return -1;
  if (ready == 0) return kNetWouldBlock;
  int n = send(s, data, len, 0);
  if (n != SOCKET_ERROR) return n;
  return WSAGetLastError() == WSAEWOULDBLOCK ? kNetWouldBlock : -1;
}

int net_recv(sock_t s, char* buf, int len) {
  int n = recv(s, buf, len, 0);
  return n == SOCKET_ERROR ? -1 : n;
}

int net_recv_now(sock_t s, char* buf, int len) {
  // Asking first keeps a blocking socket from blocking; on a non-blocking
  // one the receive itself may still report that nothing is there.
  int ready = WaitFor(s, false, 0);
  if (ready < 0) return -1;
  if (ready == 0) return kNetWouldBlock;
  int n = recv(s, buf, len, 0);
  if (n != SOCKET_ERROR) return n;
  return WSAGetLastError() == WSAEWOULDBLOCK ? kNetWouldBlock : -1;
}

sock_t net_tcp_socket() { return socket(AF_INET, SOCK_STREAM, IPPROTO_TCP); }

sock_t net_udp_socket() { return socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP); }

int net_bind_any(sock_t s, int port) {
  sockaddr_in address;
  MakeAddress(nullptr, port, &address);
  return bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 ? 0 : -1;
}

int net_listen(sock_t s, int backlog) { return listen(s, backlog) == 0 ? 0 : -1; }

sock_t net_accept(sock_t listener, std::string* ip, int* port) {
  sockaddr_storage address;
  int len = sizeof(address);
  SOCKET s = accept(listener, reinterpret_cast<sockaddr*>(&address), &len);
  if (s == INVALID_SOCKET) return INVALID_SOCKET;
  if (!Ipv4Of(address, ip, port)) {
    if (ip != nullptr) ip->clear();
    if (port != nullptr) *port = 0;
  }
  return s;
}

bool net_peer_address(sock_t s, std::string* ip, int* port) {
  sockaddr_storage address;
  int len = sizeof(address);
  if (getpeername(s, reinterpret_cast<sockaddr*>(&address), &len) != 0) return false;
  return Ipv4Of(address, ip, port);
}

bool net_resolve_ipv4(const std::string& host, std::string* ip) {
  addrinfo hints = addrinfo();
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &result) != 0 || result == nullptr) return false;
  char text[INET_ADDRSTRLEN] = "";
  inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(result->ai_addr)->sin_addr, text, sizeof(text));
  freeaddrinfo(result);
  *ip = text;
  return true;
}

int net_connect(sock_t s, const std::string& ip, int port) {
  sockaddr_in address;
  if (!MakeAddress(ip.c_str(), port, &address)) return -1;
  return connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 ? 0 : -1;
}

int net_set_timeouts(sock_t s, int ms) {
  DWORD value = static_cast<DWORD>(ms);
  int a = setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&value), sizeof(value));
  int b = setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&value), sizeof(value));
  return a == 0 && b == 0 ? 0 : -1;
}

int net_poll_readable(std::vector<PollItem>* items, int ms) {
  std::vector<WSAPOLLFD> fds(items->size());
  for (size_t i = 0; i < items->size(); ++i) {
    fds[i].fd = (*items)[i].socket;
    fds[i].events = POLLRDNORM;
    fds[i].revents = 0;
  }
  if (fds.empty()) {
    Sleep(static_cast<DWORD>(ms));
    return 0;
  }
  int rc = WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), ms);
  if (rc == SOCKET_ERROR) return -1;
  for (size_t i = 0; i < items->size(); ++i) (*items)[i].ready = fds[i].revents != 0;
  return rc;
}

int bind_socket(sock_t s, const char* ip, int port) {
  sockaddr_in address;
  if (!MakeAddress(ip, port, &address)) {
    WSASetLastError(WSAEINVAL);
    return -1;
  }
  return bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 ? 0 : -1;
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
  int ready = WaitFor(s, false, timeout_ms);
  if (ready < 0) return -1;
  if (ready == 0) return -2;
  int got = recv(s, buf, static_cast<int>(size), 0);
  // A datagram larger than buf arrives cut, reported as WSAEMSGSIZE.
  if (got == SOCKET_ERROR) return WSAGetLastError() == WSAEMSGSIZE ? static_cast<int>(size) : -1;
  return got;
}

bool host_address(std::string* ip) {
  char name[256] = {0};
  if (gethostname(name, sizeof(name) - 1) != 0) return false;
  return net_resolve_ipv4(name, ip);
}
