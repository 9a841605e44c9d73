// "/getMoreNetCardInfo": the working network adapters, for the teacher to
// choose the one the tablets are on.
#pragma once

#include "BaseHttpAPI.h"

class APIGetMoreNetCardInfo : public BaseHttpAPI {
 public:
  int onHandleEvent(HttpRequest& request) override;
};
