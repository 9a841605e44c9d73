// "/userResponse": how many students of a class are online, and which of
// them answered a given command.
#pragma once

#include "BaseHttpAPI.h"

class APIUserResponse : public BaseHttpAPI {
 public:
  int onHandleEvent(HttpRequest& request) override;
};
