#include "APISendOpCmd.h"

#include "OpCmd.h"

int APISendOpCmd::onHandleEvent(HttpRequest& request) {
  char info[1024];
  char type[1024];
  if (getParam(request, "info", info, sizeof(info)) < 1 ||
      getParam(request, "type", type, sizeof(type)) < 1) {
    replyFail(request, "no info or type");
    return 1;
  }
  queue_->set(type, info);
  replyOk(request);
  return 1;
}
