// The local HTTP API: CivetWeb on one port with 20 worker threads, and the
// event handler that admits each request by its caller and routes it by URI
// prefix to one handler object.
//
// Admission: callers on this machine (address beginning "127.0.0.1") reach
// every route; other hosts reach only /getBroadcast, /sendOpCmd, /pullOpCmd
// and files below the document root's www folder.
//
// start() and the destructor run on the main thread; the event handler on
// CivetWeb's worker threads.
#pragma once

#include <string>

class HttpRequest;
struct mg_context;

class HttpServer {
 public:
  // CivetWeb's worker threads: requests served at once.
  static const int kWorkerThreads = 20;

  explicit HttpServer(int port);
  ~HttpServer();  // stops the server if it runs

  void setPort(int port) { port_ = port; }
  int port() const { return port_; }

  // 0 once running; -1 when already running or CivetWeb did not start.
  int start();

  // The event handler's decision for one request: 1 when a handler wrote
  // the response, 0 to let CivetWeb serve the URI as a file. Never throws:
  // an exception out of a handler (std::bad_alloc included) is logged and
  // answered with the failure reply "exception: <type><message>".
  static int handle(HttpRequest& request);

  // Whether a caller on another host may ask for this URI (for /www, only
  // paths that stay inside the www folder).
  static bool admitted(const std::string& caller, const std::string& uri);

 private:
  static int beginRequest(struct mg_connection* conn);
  static int route(HttpRequest& request);

  struct mg_context* context_ = nullptr;
  int port_;
};
