// The local HTTP API: CivetWeb on one port with 20 worker threads, and the
// event handler that admits each request by its caller and routes it by URI
// prefix to one handler object.
//
// Admission (Admission.h): other hosts reach only /getBroadcast, /sendOpCmd,
// /pullOpCmd and files below the document root's www folder; callers on
// this machine reach every route, except web pages in the teacher's browser
// that are neither the console nor allowed in config/origins.
//
// Connections: another host may hold only a few open at once, all other
// hosts together 3/4 of the workers (ConnectionGate); one over either cap is
// closed as it is accepted, so no host can keep this machine's requests
// waiting for a worker.
//
// start() and the destructor run on the main thread; the event handler on
// CivetWeb's worker threads.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ApiContext.h"
#include "ConnectionGate.h"
#include "RefusalLog.h"

class BaseHttpAPI;
class HttpRequest;
struct mg_context;

class HttpServer {
 public:
  // CivetWeb's worker threads: requests served at once.
  static const int kWorkerThreads = 20;
  // Connections another host may hold open at once (a browser's parallel
  // fetches fit), and all other hosts together: the rest of the workers
  // stay free for this machine.
  static const int kPerRemoteHost = 6;
  static const int kAllRemoteHosts = kWorkerThreads * 3 / 4;

  HttpServer(int port, const ApiContext& context);
  ~HttpServer();  // stops the server if it runs

  void setPort(int port) { port_ = port; }
  int port() const { return port_; }

  // 0 once running; -1 when already running or CivetWeb did not start.
  int start();

  // The event handler's decision for one request: 1 when a handler wrote
  // the response, 0 to let CivetWeb serve the URI as a file. Never throws:
  // an exception out of a handler (std::bad_alloc included) is logged and
  // answered with the failure reply "exception: <type><message>".
  int handle(HttpRequest& request);

  // Whether a caller may ask for this URI by its address alone: any URI from
  // this machine; from another host only the URIs open to the network (for
  // /www, only paths that stay inside the www folder).
  static bool admitted(const std::string& caller, const std::string& uri);

 private:
  static int beginRequest(struct mg_connection* conn);
  // CivetWeb's master thread, for each connection accepted; its workers,
  // for each one closed.
  static int acceptConnection(const struct mg_context* ctx, const char* remote_addr);
  static void connectionClosed(const struct mg_connection* conn);
  int route(HttpRequest& request);
  struct Slot;
  static std::shared_ptr<Slot> slot(std::function<BaseHttpAPI*()> make);
  // The handler object of a URI, made on first use; nullptr for none.
  BaseHttpAPI* handler_for(const std::string& uri);

  struct Route {
    const char* prefix;
    std::shared_ptr<Slot> slot;  // shared by the URIs one handler serves
  };

  struct mg_context* mg_ = nullptr;
  int port_;
  const ApiContext context_;
  RefusalLog refusals_;
  std::vector<Route> routes_;
  ConnectionGate gate_{kPerRemoteHost, kAllRemoteHosts};
};
