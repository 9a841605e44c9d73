// "/sendOpCmd": leaves the command "info" in the relay queue under "type".
// Open to callers on any host.
#pragma once

#include "BaseHttpAPI.h"

class OpCmd;

class APISendOpCmd : public BaseHttpAPI {
 public:
  explicit APISendOpCmd(OpCmd* queue) : queue_(queue) {}
  int onHandleEvent(HttpRequest& request) override;

 private:
  OpCmd* queue_;  // not owned; lives as long as the process
};
