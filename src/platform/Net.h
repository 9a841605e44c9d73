// Socket handles and socket housekeeping shared by the servers.
#pragma once

#include <cstdint>

#if defined(_WIN32)
typedef uintptr_t sock_t;  // SOCKET
#else
typedef int sock_t;
#endif
extern const sock_t kInvalidSocket;

// Starts the socket library where the platform needs it (Windows Sockets,
// asking for the given version as major/minor). Returns 0 on success.
int net_startup(int major, int minor);
void net_cleanup();

// 1 when a TCP connection to ip:port succeeds or, failing that, when a UDP
// socket cannot be bound to ip:port; otherwise 0. A socket library that
// cannot be started counts as in use.
int port_in_use(int port, const char* ip);

// Lingers one second, shuts the sending side, switches to non-blocking and
// drains the socket until a read returns 0 or fails. Does nothing for an
// invalid socket. The caller closes the socket afterwards.
void close_gracefully(sock_t s);

// A TCP socket listening on ip:port, or kInvalidSocket.
sock_t open_tcp_listener(const char* ip, int port, int backlog);

// A UDP socket bound to ip:port, or kInvalidSocket.
sock_t open_udp_socket(const char* ip, int port);

// Closes a socket handle; nothing for kInvalidSocket.
void close_socket(sock_t s);
