// "/ping": the teacher's client says it is alive and asks for the version.
#pragma once

#include "BaseHttpAPI.h"
#include "TeacherPresence.h"

class APIPing : public BaseHttpAPI {
 public:
  explicit APIPing(TeacherPresence& presence);
  int onHandleEvent(HttpRequest& request) override;
 private:
  TeacherPresence& presence_;
};
