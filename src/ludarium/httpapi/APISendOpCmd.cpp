#include "APISendOpCmd.h"

#include "OpCmd.h"

int APISendOpCmd::onHandleEvent(HttpRequest& request) {
  char info[1024];
  char type[1024];
  if (getShortParam(request, "info", info, sizeof(info)) < 1 ||
      getShortParam(request, "type", type, sizeof(type)) < 1) {
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
