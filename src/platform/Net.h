// Socket handles and socket housekeeping shared by the servers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#if defined(_WIN32)
typedef uintptr_t sock_t;  // SOCKET
#else
typedef int sock_t;
#endif
extern const sock_t kInvalidSocket;

// Starts the socket library where the platform needs it (Windows Sockets,
// asking for the given version as major/minor). Returns 0 on success, -1
// when the library could not be started, -2 when it started with another
// version than asked (net_startup_result; the library is then started and
// the caller decides whether to net_cleanup). Always 0 on Linux.
int net_startup(int major, int minor);

// How net_startup judges the Windows start-up call: `error` is its result,
// `version` and `high_version` the versions it reports (low byte major,
// high byte minor). -1 when error is not 0; -2 when the low byte of
// `version` is not `major` or the high byte of `high_version` is not
// `minor`; else 0.
int net_startup_result(int error, unsigned version, unsigned high_version, int major, int minor);
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

// Error code of the last failed socket call on this thread: errno on Linux,
// WSAGetLastError on Windows. Log lines print it as it is.
int net_last_error();

// Whether an error code means the peer is gone: 10053/10054 on Windows;
// ECONNABORTED, ECONNRESET and EPIPE on Linux.
bool net_is_connection_lost(int code);

// Waits at most ms for the socket to be readable / writable: 1 ready,
// 0 time ran out, -1 failure. Works for any descriptor value.
int net_wait_readable(sock_t s, int ms);
int net_wait_writable(sock_t s, int ms);

// One send / receive. Sending never raises SIGPIPE. Results: bytes moved,
// 0 for a receive when the peer closed, -1 on failure (see net_last_error).
// On Windows a socket made non-blocking (SocketSetWaiter) still sends as a
// blocking one: net_send waits for room in the send buffer.
int net_send(sock_t s, const char* data, int len);
int net_recv(sock_t s, char* buf, int len);

// A receive that never waits: bytes moved, 0 when the peer closed, -1 on
// failure (see net_last_error), kNetWouldBlock when nothing is there.
const int kNetWouldBlock = -2;
int net_recv_now(sock_t s, char* buf, int len);
// A send that never waits: bytes moved (perhaps fewer than len), -1 on
// failure (see net_last_error), kNetWouldBlock when there is no room.
int net_send_now(sock_t s, const char* data, int len);

// A TCP/IPv4 socket, or kInvalidSocket.
sock_t net_tcp_socket();
// A UDP/IPv4 socket, or kInvalidSocket.
sock_t net_udp_socket();
// Binds to every local IPv4 address. On Linux the socket may take a port
// whose old connections still sit in TIME_WAIT (SO_REUSEADDR), so a
// restarted server gets its port back; Windows keeps its default, where
// that option would let another program take the port. 0 or -1.
int net_bind_any(sock_t s, int port);
int net_listen(sock_t s, int backlog);  // 0 or -1
// Accepts one connection; the peer's dotted IPv4 address and port.
sock_t net_accept(sock_t listener, std::string* ip, int* port);
// The peer's address; false when it is not IPv4.
bool net_peer_address(sock_t s, std::string* ip, int* port);

// The first IPv4 address of a host name (or dotted text), as dotted text;
// false when the lookup fails.
bool net_resolve_ipv4(const std::string& host, std::string* ip);
// Connects with the platform's default connect time-out; 0 or -1.
int net_connect(sock_t s, const std::string& ip, int port);
// Send and receive time-outs of a socket, in milliseconds; 0 or -1.
int net_set_timeouts(sock_t s, int ms);

// Waits at most ms until some of the sockets are readable (or closed by the
// peer); sets `ready` of those. Any number of sockets. Returns how many are
// ready, 0 when the time ran out, -1 on failure.
struct PollItem {
  sock_t socket;
  bool ready;
};
int net_poll_readable(std::vector<PollItem>* items, int ms);

// Closes a socket handle; nothing for kInvalidSocket.
void close_socket(sock_t s);

// Binds to ip:port; a null ip means every local address. 0 or -1.
int bind_socket(sock_t s, const char* ip, int port);

// Allows datagrams to broadcast addresses (the socket-level broadcast
// option). 0 or -1.
int enable_broadcast(sock_t s);

// Sends one datagram to ip:port. Bytes sent, or -1.
int send_datagram(sock_t s, const char* ip, int port, const char* data, size_t size);

// Waits up to timeout_ms for one datagram and copies at most size bytes of
// it into buf. Bytes received, -2 when the time ran out, -1 on failure.
int receive_datagram(sock_t s, char* buf, size_t size, int timeout_ms);

// The first IPv4 address the host's own name resolves to, as dotted text.
// False (and *ip unchanged) when the name cannot be taken or resolved.
bool host_address(std::string* ip);
