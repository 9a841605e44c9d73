// "/activeUserList": which students of a class are online.
#pragma once

#include "BaseHttpAPI.h"
#include "UserRegistry.h"

class APIActiveUserList : public BaseHttpAPI {
 public:
  explicit APIActiveUserList(UserRegistry& users);
  int onHandleEvent(HttpRequest& request) override;
 private:
  UserRegistry& users_;
};
