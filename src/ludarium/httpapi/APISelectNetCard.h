// "/selectNetCard": the teacher chooses the adapter the course broadcast
// goes out on, by its IPv4 address ("info" = {"ip":"a.b.c.d"}).
#pragma once

#include "BaseHttpAPI.h"

class APISelectNetCard : public BaseHttpAPI {
 public:
  int onHandleEvent(HttpRequest& request) override;
};
