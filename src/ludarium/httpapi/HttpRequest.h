// One HTTP request as the handlers see it. The server's adapter implements
// it over a CivetWeb connection; tests implement it in memory.
//
// A request object belongs to the one worker thread serving it.
#pragma once

#include <string>
#include <utility>
#include <vector>

class HttpRequest {
 public:
  virtual ~HttpRequest() {}

  virtual std::string method() const = 0;
  // The URI path, URL-decoded, without the query string.
  virtual std::string uri() const = 0;
  virtual std::string http_version() const = 0;
  // Whether the URI had a "?" at all; the text after it.
  virtual bool has_query() const = 0;
  virtual std::string query_string() const = 0;
  virtual std::string remote_user() const = 0;
  virtual std::string remote_addr() const = 0;  // dotted IPv4
  virtual int remote_port() const = 0;
  virtual std::string local_addr() const = 0;
  virtual int local_port() const = 0;
  virtual std::vector<std::pair<std::string, std::string>> headers() const = 0;

  // The body, read on first call and at most kMaxBody bytes of it.
  virtual const std::string& body() = 0;
  static const size_t kMaxBody = 64 * 1024;

  // Writes raw bytes to the connection.
  virtual void write(const std::string& bytes) = 0;
};
