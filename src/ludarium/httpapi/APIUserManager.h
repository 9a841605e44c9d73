// "/loginUserGet", "/loginUserSet": the login-user store (UserManager)
// over HTTP. Serves only those two URIs exactly (without regard to case,
// optionally followed by one "/"); any other URI routed here gets no reply.
#pragma once

#include <string>

#include "BaseHttpAPI.h"
#include "UserManager.h"

class APIUserManager : public BaseHttpAPI {
 public:
  // The store's file lives in config_dir ("config" beside the executable in
  // the running server).
  explicit APIUserManager(const std::string& config_dir);
  int onHandleEvent(HttpRequest& request) override;

 private:
  void getUsers(HttpRequest& request);
  // Sets the entry, or deletes it when "data" is empty.
  void addUser(HttpRequest& request);

  UserManager manager_;
};
