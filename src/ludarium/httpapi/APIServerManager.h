// "/getAPIServer", "/addAPIServer", "/delAPIServer", "/selectAPIServer":
// the registry of upstream API servers (ServerManager) over HTTP.
//
// The frame routes by prefix; this handler serves only the four URIs
// exactly (without regard to case, optionally followed by one "/") and
// writes nothing for any other URI routed here.
#pragma once

#include <string>

#include "BaseHttpAPI.h"
#include "CourseHolder.h"
#include "ServerManager.h"

class APIServerManager : public BaseHttpAPI {
 public:
  // The registry file lives in config_dir ("config" beside the executable
  // in the running server).
  APIServerManager(const std::string& config_dir, CourseHolder& course);
  int onHandleEvent(HttpRequest& request) override;

 private:
  void getServers(HttpRequest& request);
  void addServer(HttpRequest& request);
  void delServer(HttpRequest& request);
  void selectServer(HttpRequest& request);

  CourseHolder& course_;
  ServerManager manager_;
};
