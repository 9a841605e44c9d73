// "/ping": the teacher's client says it is alive and asks for the version.
#pragma once

#include "BaseHttpAPI.h"

class APIPing : public BaseHttpAPI {
 public:
  int onHandleEvent(HttpRequest& request) override;
};
