#include "ASAuthorizeServer.h"

#include <string>

#include "ConsoleTrace.h"
#include "Log.h"
#include "PortRange.h"
#include "Thread.h"

const char ASAuthorizeServer::kPolicy[] =
    "<cross-domain-policy>\n<allow-access-from domain=\"*\" to-ports=\"*\"/>\n"
    "</cross-domain-policy>\n";
static_assert(sizeof(ASAuthorizeServer::kPolicy) == ASAuthorizeServer::kPolicySize + 1,
              "the policy reply is 90 bytes");

ASAuthorizeServer::ASAuthorizeServer(CourseHolder& course) : course_(course) {}

ASAuthorizeServer::~ASAuthorizeServer() { stop_ = 1; }

int ASAuthorizeServer::checkPort() {
  int port = first_free_port(kFirstPort, kLastPort, "127.0.0.1");
  if (port > kLastPort) return port;
  port_ = port;
  course_.update([port](BrocastData& course) { course.as_policy_port = port; });
  return port;
}

int ASAuthorizeServer::Start() {
  int started = net_startup(2, 2);
  if (started == -1) LOG("e", "WSAStartup load error");
  if (started == -2) LOG("e", "WinSock's version error");
  status_ = 0;
  sock_.reset(net_tcp_socket());
  BindSocket();
  ListenSocket();
  return thread_begin(acceptThread, this);
}

int ASAuthorizeServer::BindSocket() {
  if (net_bind_any(sock_.get(), port_) != 0) {
    LOG("e", "Bind error");
    return -1;
  }
  LOG("d", "Bind ok,Port:%d", port_);
  return 0;
}

int ASAuthorizeServer::ListenSocket() {
  if (net_listen(sock_.get(), 100) != 0) {
    LOG("e", "Listen error");
    return -1;
  }
  LOG("d", "Listen ok");
  return 0;
}

Socket ASAuthorizeServer::AcceptSocket() {
  std::string peer;
  int peer_port = 0;
  Socket s(net_accept(sock_.get(), &peer, &peer_port), SocketClose::kGraceful);
  if (!s.valid()) {
    LOG("e", "Accept error");
    return s;
  }
  LOG("d", "Accept %s:%d", peer.c_str(), peer_port);
  return s;
}

int ASAuthorizeServer::acceptPauseMs(int failures) {
  if (failures <= 0) return 0;
  // 100 ms, doubling up to 30 s; a single failure costs little.
  int pause = 100;
  for (int i = 1; i < failures && pause < 30000; ++i) pause *= 2;
  return pause < 30000 ? pause : 30000;
}

unsigned int ASAuthorizeServer::acceptThread(void* arg) {
  thread_set_name("authorize");
  ASAuthorizeServer* self = static_cast<ASAuthorizeServer*>(arg);
  int failures = 0;
  while (self->stop_ == 0) {
    Socket s = self->AcceptSocket();
    if (!s.valid()) {
      sleep_ms(static_cast<unsigned int>(acceptPauseMs(++failures)));
      continue;
    }
    failures = 0;
    // Without a thread the connection closes at once, with the lambda.
    thread_run([connection = std::move(s)]() mutable { answer(std::move(connection)); });
  }
  return 0;
}

void ASAuthorizeServer::answer(Socket connection) {
  thread_set_name("authorize reply");
  const sock_t s = connection.get();
  int ready;
  while ((ready = net_wait_writable(s, 10)) == 0) {
  }
  if (ready == 1) {
    size_t sent = 0;
    while (sent < kPolicySize) {
      int n = net_send(s, kPolicy + sent, static_cast<int>(kPolicySize - sent));
      if (n <= 0) {
        console_trace("Failed send(),error code:%d\n", net_last_error());
        break;
      }
      sent += static_cast<size_t>(n);
    }
  }
  // The client's request, if it sent one, is read and dropped as the
  // connection closes.
}
