// "/getBroadcast": anyone, also from other hosts, reads the published course.
#pragma once

#include "BaseHttpAPI.h"
#include "CourseHolder.h"

class APIGetBroadcast : public BaseHttpAPI {
 public:
  explicit APIGetBroadcast(CourseHolder& course);
  int onHandleEvent(HttpRequest& request) override;
 private:
  CourseHolder& course_;
};
