#include "HttpRecord.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "FileSystem.h"
#include "JsonReader.h"
#include "Log.h"
#include "Util.h"

const char* const HttpRecord::kBoundary = "7d33a816d302b61-029384gcabsdchjbadsc98*(&%";

namespace {

const char* const kLogFilePath = "/api_dist/?q=json/record/log_file/index&info={}";

std::string percent_encode(const std::string& value) {
  std::vector<char> buf(value.size() * 3 + 1);
  url_encode(value.c_str(), buf.data(), buf.size());
  return buf.data();
}

// Host and port of "host[:port]"; the port is 80 without a colon.
void split_host(const std::string& address, std::string* host, int* port) {
  size_t colon = address.find(':');
  if (colon == std::string::npos) {
    *host = address;
    *port = 80;
  } else {
    *host = address.substr(0, colon);
    *port = atoi(address.c_str() + colon + 1);
  }
}

}  // namespace

HttpRecord::HttpRecord() {
  // Started with another version, the library is released again.
  if (net_startup(2, 2) == -2) net_cleanup();
}

HttpRecord::~HttpRecord() {}

HttpRecord::Url HttpRecord::splitUrl(const std::string& url) {
  Url result;
  size_t start = url.find("//");
  start = start == std::string::npos ? 0 : start + 2;
  size_t slash = url.find('/', start);
  std::string host_part = url.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
  split_host(host_part, &result.host, &result.port);
  result.path = slash == std::string::npos ? std::string() : url.substr(slash);
  return result;
}

HttpRecord::Fields HttpRecord::toFields(const std::string& data) {
  MutexGuard guard(&mutex_);
  JsonDocument doc;
  parse_json(data, &doc);
  Fields fields;
  if (doc.IsObject()) {
    for (auto m = doc.MemberBegin(); m != doc.MemberEnd(); ++m) {
      const JsonValue& v = m->value;
      fields.emplace_back(json_name(m->name),
                          v.IsObject() || v.IsArray() ? json_write(v) : json_as_text(v));
    }
  }
  return fields;
}

std::string HttpRecord::formHead(const std::string& path, const std::string& host) {
  return "POST " + path + " HTTP/1.1\r\n" + "User-Agent: Tessera_Ludarium/3.0\r\n" + "Host: " + host +
         "\r\n" + "Pragma: no-cache\r\n" + "Accept: text/plain\r\n" +
         "Content-Type: application/x-www-form-urlencoded\r\n";
}

std::string HttpRecord::formBody(const Fields& fields) {
  if (fields.empty()) return std::string();
  std::string body;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) body += "&";
    body += fields[i].first + "=" + percent_encode(fields[i].second);
  }
  return body + "\n";
}

std::string HttpRecord::uploadHead(const std::string& path, const std::string& host) {
  return "POST " + path + " HTTP/1.1\r\n" + "User-Agent: Tessera_Ludarium/3.0\r\n" + "Host: " + host +
         "\r\n" + "Pragma: no-cache\r\n" + "Accept: text/plain\r\n" +
         "Content-Type: multipart/form-data; boundary=" + kBoundary + "\r\n";
}

std::string HttpRecord::uploadBody(const Fields& fields, const std::string& file_name) {
  std::string body = std::string("--") + kBoundary + "\n";
  for (const auto& field : fields) {
    body += "Content-Disposition: form-data; name=\"" + field.first + "\"; \r\n";
    body += "Content-Type: application/x-www-form-urlencoded \r\n\r\n";
    body += field.second + "\n--" + kBoundary + "\n";
  }
  body += "Content-Disposition: form-data; name=\"file\"; filename=\"" + file_name + "\";\n";
  body += "Content-Type: application/octet-stream  \r\n";
  return body;
}

std::string HttpRecord::closingText() { return std::string("\r\n--") + kBoundary + "--\r\n"; }

Socket HttpRecord::connectServer(const std::string& host, int port) {
  Socket s(net_tcp_socket(), SocketClose::kGraceful);
  if (!s.valid()) {
    printf("\"socket\" error! error code is %d\n", net_last_error());
    return s;
  }
  std::string name = host.substr(0, host.find(':'));
  std::string ip;
  if (!net_resolve_ipv4(name, &ip) || net_connect(s.get(), ip, port) != 0) return Socket();
  net_set_timeouts(s.get(), 5000);
  return s;
}

bool HttpRecord::allowRetry(std::atomic<int>* counter) {
  int current = counter->load();
  while (current < 5) {
    if (counter->compare_exchange_weak(current, current + 1)) return true;
  }
  return false;
}

void HttpRecord::resetBudgets() {
  form_retries_ = 1;
  upload_retries_ = 1;
}

HttpRecord::Verdict HttpRecord::judge(HttpChannel& channel, std::string* reply) {
  char buf[1024];
  int n = channel.receive(buf, sizeof(buf));
  if (n == 0 || (n < 0 && channel.lastFailureWasReset())) return Verdict::kClosed;
  if (n < 0) return Verdict::kSocketError;
  reply->assign(buf, static_cast<size_t>(n));
  std::string first_line = reply->substr(0, reply->find('\n'));
  return first_line.find("200") != std::string::npos ? Verdict::kSuccess : Verdict::kFailure;
}

bool HttpRecord::sendHttpRequest(const std::string& head, const std::string& body, HttpChannel& channel) {
  for (;;) {
    std::string request = head + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    // A send that fails still has its reply read and judged once: the peer
    // may have answered (and closed) before taking the whole request.
    channel.sendAll(request.data(), static_cast<int>(request.size()));
    std::string reply;
    Verdict verdict = judge(channel, &reply);
    if (verdict == Verdict::kClosed) LOG("e", "Connection Closed.\n");
    if (verdict == Verdict::kSocketError) LOG("e", "socket error\n");
    if (verdict == Verdict::kSuccess) return true;
    if (!allowRetry(&form_retries_)) return false;
  }
}

bool HttpRecord::sendHttpRequest(const std::string& head, const std::string& body, FILE* file,
                                 const std::string& closing, HttpChannel& channel) {
  if (file == nullptr) return false;
  for (;;) {
    fseek(file, 0, SEEK_END);
    long size = ftell(file);
    rewind(file);
    if (size < 0) size = 0;
    std::string length_line =
        "Content-Length: " + std::to_string(body.size() + static_cast<size_t>(size) + closing.size()) +
        "\r\n\r\n";
    std::string shown = replace_all(head + length_line + body + "data" + closing, kBoundary, "boundary");
    LOG("d", "send: \n%s", shown.c_str());

    // As in the form case, a failed send is still followed by one read.
    bool ok = channel.sendAll(head.data(), static_cast<int>(head.size())) &&
              channel.sendAll(length_line.data(), static_cast<int>(length_line.size())) &&
              channel.sendAll(body.data(), static_cast<int>(body.size()));
    if (ok) {
      std::unique_ptr<char[]> piece(new char[kPieceSize]);
      long sent = 0;
      // Never more than the measured size: the day's log may grow meanwhile,
      // and the declared Content-Length must hold.
      while (ok && sent < size) {
        size_t want = static_cast<size_t>(std::min<long>(kPieceSize, size - sent));
        size_t n = fread(piece.get(), 1, want, file);
        if (n == 0) break;
        ok = channel.sendAll(piece.get(), static_cast<int>(n));
        sent += static_cast<long>(n);
      }
      ok = ok && channel.sendAll(closing.data(), static_cast<int>(closing.size()));
    }
    std::string reply;
    Verdict verdict = judge(channel, &reply);
    if (verdict == Verdict::kClosed) LOG("e", "Connection Closed.\n");
    if (verdict == Verdict::kSocketError) LOG("e", "socket error\n");
    if (verdict == Verdict::kSuccess || verdict == Verdict::kFailure) {
      LOG("d", "received: \n%s", reply.c_str());
    }
    if (verdict == Verdict::kSuccess) return true;
    if (!allowRetry(&upload_retries_)) return false;
  }
}

void HttpRecord::postForm(const std::string& url, const std::string& data) {
  Url target = splitUrl(url);
  Socket s = connectServer(target.host, target.port);
  if (!s.valid()) return;
  std::string body;
  if (data.size() > 1) body = formBody(toFields(data));
  SocketChannel channel(s.get());
  sendHttpRequest(formHead(target.path, target.host), body, channel);
}

void HttpRecord::uploadLogFile(const std::string& address, const std::string& data) {
  std::string host;
  int port;
  split_host(address, &host, &port);
  printf("url=%s\n", ("http://" + host + kLogFilePath).c_str());
  Socket s = connectServer(host, port);
  if (!s.valid()) return;
  std::string file_name = today_verbose_log_name();
  std::string body;
  if (data.size() > 1) body = uploadBody(toFields(data), file_name);
  FILE* file = open_file(path_join(path_join(module_dir(), "log"), file_name), "rb");
  if (file != nullptr) {
    SocketChannel channel(s.get());
    sendHttpRequest(uploadHead(kLogFilePath, host), body + "\r\n", file, closingText(), channel);
    fclose(file);
  }
}
