// An in-memory request for handler tests.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "HttpRequest.h"

class FakeRequest : public HttpRequest {
 public:
  explicit FakeRequest(std::string uri, std::string caller = "127.0.0.1") : uri_(std::move(uri)), caller_(std::move(caller)) {
    size_t q = uri_.find('?');
    if (q != std::string::npos) {
      query_ = uri_.substr(q + 1);
      has_query_ = true;
      uri_.resize(q);
    }
  }
  FakeRequest& withBody(std::string body) {
    body_ = std::move(body);
    method_ = "POST";
    return *this;
  }

  std::string method() const override { return method_; }
  std::string uri() const override { return uri_; }
  std::string http_version() const override { return "1.1"; }
  bool has_query() const override { return has_query_; }
  std::string query_string() const override { return query_; }
  std::string remote_user() const override { return ""; }
  std::string remote_addr() const override { return caller_; }
  int remote_port() const override { return 5555; }
  std::string local_addr() const override { return "127.0.0.1"; }
  int local_port() const override { return 40080; }
  std::vector<std::pair<std::string, std::string>> headers() const override { return headers_; }
  const std::string& body() override { return body_; }
  void write(const std::string& bytes) override { written += bytes; }

  // The body of what the handler wrote.
  std::string replyBody() const { return written.substr(written.find("\r\n\r\n") + 4); }

  std::string written;
  std::vector<std::pair<std::string, std::string>> headers_;

 private:
  std::string uri_, caller_, query_, body_, method_ = "GET";
  bool has_query_ = false;
};
