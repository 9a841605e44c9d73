// "/activeUserList": which students of a class are online.
#pragma once

#include "BaseHttpAPI.h"

class APIActiveUserList : public BaseHttpAPI {
 public:
  int onHandleEvent(HttpRequest& request) override;
};
