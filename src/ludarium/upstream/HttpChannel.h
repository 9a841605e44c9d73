// The byte stream one HTTP exchange runs over: a socket, or a fake in tests.
#pragma once

#include "Net.h"

class HttpChannel {
 public:
  virtual ~HttpChannel() {}
  // Sends every byte; false on failure.
  virtual bool sendAll(const char* data, int length) = 0;
  // One receive: bytes, 0 when the peer closed, -1 on failure.
  virtual int receive(char* buf, int size) = 0;
  // Whether the last failed receive means the peer reset the connection.
  virtual bool lastFailureWasReset() = 0;
};

class SocketChannel : public HttpChannel {
 public:
  explicit SocketChannel(sock_t s) : socket_(s) {}
  bool sendAll(const char* data, int length) override {
    int done = 0;
    while (done < length) {
      int n = net_send(socket_, data + done, length - done);
      if (n <= 0) return false;
      done += n;
    }
    return true;
  }
  int receive(char* buf, int size) override { return net_recv(socket_, buf, size); }
  bool lastFailureWasReset() override { return net_is_connection_lost(net_last_error()); }

 private:
  sock_t socket_;
};
