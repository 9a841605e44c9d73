#include "APIGetBroadcast.h"

#include "Log.h"

APIGetBroadcast::APIGetBroadcast(CourseHolder& course) : course_(course) {}

int APIGetBroadcast::onHandleEvent(HttpRequest& request) {
  LOG("d", "client : %s:%d", request.remote_addr().c_str(), request.remote_port());
  std::string course = course_.getJSONString();
  // The course text is our own writer's compact JSON: parsing it and writing
  // it again would give the same bytes, so it goes into the reply as it is.
  replyOk(request, "broadcast", course.empty() ? "{}" : course);
  return 1;
}
