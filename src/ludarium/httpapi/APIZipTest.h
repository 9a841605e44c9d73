// "/zipTest": a diagnostic echo of the request (nothing is compressed).
#pragma once

#include <string>

#include "BaseHttpAPI.h"

class APIZipTest : public BaseHttpAPI {
 public:
  int onHandleEvent(HttpRequest& request) override;

  // The echo text, at most 10,239 bytes.
  static std::string echo(HttpRequest& request);
};
