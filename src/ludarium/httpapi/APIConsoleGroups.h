// "/getConsoleGroups", "/setConsoleGroups": the names the teacher gives the
// class's groups in the console (ConsoleGroups). Local callers only, like
// every URI not open to the network.
//   /getConsoleGroups          -> "groups": [{"group_id":2,"name":"Blue"}, ...]
//   /setConsoleGroups info={"groups":[{"group_id":2,"name":"Blue"}, ...]}
// replaces every name; a failed write is answered as a failure.
#pragma once

#include "BaseHttpAPI.h"
#include "ConsoleGroups.h"

class APIConsoleGroups : public BaseHttpAPI {
 public:
  explicit APIConsoleGroups(ConsoleGroups& groups);
  int onHandleEvent(HttpRequest& request) override;

  // Longest info /setConsoleGroups takes: a class's group names, not the
  // 1,023 bytes of the other handlers.
  static const size_t kInfoLimit = 16 * 1024;

 private:
  void setGroups(HttpRequest& request);

  ConsoleGroups& groups_;
};
