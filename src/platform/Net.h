// Socket handles and socket housekeeping shared by the servers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#if defined(_WIN32)
typedef uintptr_t sock_t;  // SOCKET
#else
typedef int sock_t;
#endif
extern const sock_t kInvalidSocket;

// Starts the socket library where the platform needs it (Windows Sockets,
// asking for the given version as major/minor). Returns 0 on success, -1
// when the library could not be started, -2 when it started with another
// version (it stays started; the caller decides whether to net_cleanup).
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

// The error code of the calling thread's last failed socket call, as the
// platform gives it (WSAGetLastError on Windows, errno on Linux).
int socket_error();

// A new unbound IPv4 socket, or kInvalidSocket.
sock_t open_udp();
sock_t open_tcp();

// Binds to ip:port; a null ip means every local address. 0 or -1.
int bind_socket(sock_t s, const char* ip, int port);
int listen_socket(sock_t s, int backlog);  // 0 or -1

// Waits for one connection. The peer's dotted address and its port in host
// byte order go to the optional outputs. kInvalidSocket on failure.
sock_t accept_socket(sock_t s, std::string* peer_ip, int* peer_port);

// Allows datagrams to broadcast addresses (the socket-level broadcast
// option). 0 or -1.
int enable_broadcast(sock_t s);

// Sends one datagram to ip:port. Bytes sent, or -1.
int send_datagram(sock_t s, const char* ip, int port, const char* data, size_t size);

// Waits up to timeout_ms for one datagram and copies at most size bytes of
// it into buf. Bytes received, -2 when the time ran out, -1 on failure.
int receive_datagram(sock_t s, char* buf, size_t size, int timeout_ms);

// One send on a connected socket, never raising a signal for a closed peer.
// Bytes sent (possibly fewer than size), or -1.
int send_some(sock_t s, const char* data, size_t size);

// Waits up to ms milliseconds for the socket to become writable: 1 when it
// did, 0 when the time ran out, -1 when the wait itself failed.
int wait_writable(sock_t s, int ms);

// The first IPv4 address the host's own name resolves to, as dotted text.
// False (and *ip unchanged) when the name cannot be taken or resolved.
bool host_address(std::string* ip);
