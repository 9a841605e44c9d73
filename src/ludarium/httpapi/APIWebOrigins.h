// "/getWebOrigins", "/addWebOrigin", "/delWebOrigin": the web pages allowed
// to use this classroom (config/origins) and the pages refused recently, for
// the console's panel. The frame serves these URIs only to callers without
// browser headers and to pages of this server itself (Admission.h).
//
// getWebOrigins needs no info and answers
//   "origins":{"allowed":["https://host:443",…],"refused":[{"origin","uri","time","count"},…]}
// add/del take info {"origin":"scheme://host[:port]"}; the origin is stored
// in its canonical form. A failed write is answered as a failure.
#pragma once

#include "BaseHttpAPI.h"
#include "OriginList.h"
#include "RefusalLog.h"

class APIWebOrigins : public BaseHttpAPI {
 public:
  APIWebOrigins(OriginList& origins, RefusalLog& refusals);
  int onHandleEvent(HttpRequest& request) override;

 private:
  void getOrigins(HttpRequest& request);
  void changeOrigin(HttpRequest& request, bool add);

  OriginList& origins_;
  RefusalLog& refusals_;
};
