// A student record with only what the registry's and the instruction
// set's queries look at.
#pragma once

#include <cstdint>
#include <string>

#include "User.h"

inline User student(int32_t id, int32_t class_id, int32_t online, std::string groups = "[]") {
  User u;
  u.user_id = id;
  u.class_id = class_id;
  u.is_online = online;
  u.group_id = groups;
  return u;
}
