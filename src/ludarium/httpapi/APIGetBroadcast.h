// "/getBroadcast": anyone, also from other hosts, reads the published course.
#pragma once

#include "BaseHttpAPI.h"

class APIGetBroadcast : public BaseHttpAPI {
 public:
  int onHandleEvent(HttpRequest& request) override;
};
