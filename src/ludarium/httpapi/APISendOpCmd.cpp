#include "APISendOpCmd.h"

#include "OpCmd.h"

int APISendOpCmd::onHandleEvent(HttpRequest& request) {
  std::string info, type;
  if (!getShortParams(request, "info", &info, "type", &type)) {
    replyFail(request, "no info or type");
    return 1;
  }
  if (!queue_->set(type, info)) {
    replyFail(request, "too many types");
    return 1;
  }
  replyOk(request);
  return 1;
}
