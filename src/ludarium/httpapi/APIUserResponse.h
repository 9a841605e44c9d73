// "/userResponse": how many students of a class are online, and which of
// them answered a given command.
#pragma once

#include "BaseHttpAPI.h"
#include "UserRegistry.h"

class APIUserResponse : public BaseHttpAPI {
 public:
  explicit APIUserResponse(UserRegistry& users);
  int onHandleEvent(HttpRequest& request) override;
 private:
  UserRegistry& users_;
};
