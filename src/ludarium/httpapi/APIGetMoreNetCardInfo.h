// "/getMoreNetCardInfo": the working network adapters, for the teacher to
// choose the one the tablets are on.
#pragma once

#include "BaseHttpAPI.h"
#include "Brocast.h"

class APIGetMoreNetCardInfo : public BaseHttpAPI {
 public:
  explicit APIGetMoreNetCardInfo(Brocast& announcer);
  int onHandleEvent(HttpRequest& request) override;
 private:
  Brocast& announcer_;
};
