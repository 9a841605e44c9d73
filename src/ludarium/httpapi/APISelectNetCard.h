// "/selectNetCard": the teacher chooses the adapter the course broadcast
// goes out on, by its IPv4 address ("info" = {"ip":"a.b.c.d"}).
#pragma once

#include "BaseHttpAPI.h"
#include "Brocast.h"

class APISelectNetCard : public BaseHttpAPI {
 public:
  explicit APISelectNetCard(Brocast& announcer);
  int onHandleEvent(HttpRequest& request) override;
 private:
  Brocast& announcer_;
};
