// The small HTTP/1.1 client that posts lesson records and the day's log to
// the upstream server (and the end-of-class command to our own API). Every
// request is written by hand, byte for byte; a reply is read once and judged
// by its first line ("200" anywhere in it). A failed exchange is re-sent on
// the same connection while a process-wide budget lasts: each kind (form,
// upload) is re-sent at most four times in the life of the process.
//
// Thread safety: any thread may post; each request uses its own connection.
// mutex_ is held only while a data text becomes a field list; the budgets
// are atomic.
#pragma once

#include <atomic>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "HttpChannel.h"
#include "Mutex.h"
#include "Net.h"
#include "Socket.h"

class HttpRecord {
 public:
  typedef std::vector<std::pair<std::string, std::string>> Fields;

  struct Url {
    std::string host;
    int port;
    std::string path;
  };

  static const char* const kBoundary;
  static const int kPieceSize = 102400;

  HttpRecord();
  ~HttpRecord();

  // Form POST of the members of a JSON object. Throws (from the JSON reader)
  // when data is not a JSON object or array; nothing is sent then.
  void postForm(const std::string& url, const std::string& data);
  // Multipart POST of the members of `data` and today's verbose log to the
  // upstream server at address ("host[:port]", the course's cache address).
  void uploadLogFile(const std::string& address, const std::string& data);

  // The pieces, for tests.
  static Url splitUrl(const std::string& url);
  Fields toFields(const std::string& data);
  static std::string formHead(const std::string& path, const std::string& host);
  static std::string formBody(const Fields& fields);
  static std::string uploadHead(const std::string& path, const std::string& host);
  static std::string uploadBody(const Fields& fields, const std::string& file_name);
  static std::string closingText();

  // One exchange with its re-sends; true when a reply said "200".
  bool sendHttpRequest(const std::string& head, const std::string& body, HttpChannel& channel);
  bool sendHttpRequest(const std::string& head, const std::string& body, FILE* file,
                       const std::string& closing, HttpChannel& channel);

  // A connected socket with 5 s send and receive time-outs (closed
  // gracefully), or an invalid Socket.
  Socket connectServer(const std::string& host, int port);

  // Restores both budgets (tests only).
  void resetBudgets();

 private:
  // Step 3 and 4 of an exchange: reads the reply once. Each sendHttpRequest
  // logs the outcome itself, so that its lines carry its own name.
  enum class Verdict { kSuccess, kFailure, kClosed, kSocketError };
  static Verdict judge(HttpChannel& channel, std::string* reply);
  bool allowRetry(std::atomic<int>* counter);

  Mutex mutex_;
  std::atomic<int> form_retries_{1};
  std::atomic<int> upload_retries_{1};
};
