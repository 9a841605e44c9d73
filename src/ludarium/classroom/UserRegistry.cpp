#include "UserRegistry.h"

#include "Log.h"
#include "Util.h"

namespace {

// Sets the field named by a member; unknown names are ignored. A value of
// another type is converted (json_as_int, json_as_text).
void set_field(User* u, const std::string& name, const JsonValue& v) {
  struct IntField {
    const char* name;
    int32_t User::*field;
  };
  struct TextField {
    const char* name;
    std::string User::*field;
  };
  static const IntField kInts[] = {{"user_id", &User::user_id},     {"class_id", &User::class_id},
                                   {"log_type", &User::log_type},   {"send_times", &User::send_times},
                                   {"is_online", &User::is_online}};
  static const TextField kTexts[] = {
      {"user_name", &User::user_name},   {"group_id", &User::group_id},
      {"log_time", &User::log_time},     {"class_name", &User::class_name},
      {"grade_name", &User::grade_name}, {"mtype", &User::mtype},
      {"version_code", &User::version_code}, {"user_ip", &User::user_ip},
      {"user_mac", &User::user_mac},     {"last_instruct", &User::last_instruct},
      {"last_receipt", &User::last_receipt}};
  for (const IntField& f : kInts) {
    if (name != f.name) continue;
    u->*f.field = static_cast<int32_t>(json_as_int(v));
    return;
  }
  for (const TextField& f : kTexts) {
    if (name == f.name) {
      u->*f.field = json_as_text(v);
      return;
    }
  }
  if (name == "instruct_id") u->instruct_id = text_to_uint64(json_as_text(v));
  if (name == "receipt_id") u->receipt_id = text_to_uint64(json_as_text(v));
  if (name == "receipt_time") u->receipt_time = static_cast<int64_t>(text_to_uint64(json_as_text(v)));
}

}  // namespace

UserRegistry::UserRegistry() {}

UserRegistry::~UserRegistry() {}

bool UserRegistry::addFromJson(const std::string& json) {
  JsonDocument doc;
  try {
    parse_json(json, &doc);
  } catch (const std::exception& e) {
    LOG("e", "%s", ("exception: " + exception_text(e) + " parse error").c_str());
    return false;
  }
  addFromNode(doc);
  return true;
}

void UserRegistry::addFromNode(const JsonValue& node) {
  MutexGuard guard(&lock_);
  User user;
  auto visit = [&](const std::string& name, const JsonValue& value) {
    if (value.IsObject() || value.IsArray()) addFromNode(value);
    set_field(&user, name, value);
  };
  if (node.IsObject()) {
    for (auto m = node.MemberBegin(); m != node.MemberEnd(); ++m) visit(json_name(m->name), m->value);
  } else if (node.IsArray()) {
    for (auto e = node.Begin(); e != node.End(); ++e) visit("", *e);
  }
  users_[user.user_id] = user;
}

void UserRegistry::update(const User& user) {
  MutexGuard guard(&lock_);
  auto it = users_.find(user.user_id);
  if (it != users_.end()) it->second = user;
}

User UserRegistry::get(int32_t user_id) {
  MutexGuard guard(&lock_);
  auto it = users_.find(user_id);
  return it != users_.end() ? it->second : User();
}

void UserRegistry::setInstruction(int32_t user_id, const std::string& command, uint64_t instruct_id,
                                  int64_t send_time, int32_t send_times) {
  MutexGuard guard(&lock_);
  // An unknown student gets a default record under that id.
  auto it = users_.find(user_id);
  if (it == users_.end()) it = users_.emplace(user_id, User()).first;
  User& user = it->second;
  user.last_instruct = command;
  user.instruct_id = instruct_id;
  user.send_time = send_time;
  user.send_times = send_times;
}

void UserRegistry::setReceipt(int32_t user_id, uint64_t receipt_id, const std::string& receipt_head,
                              int64_t receipt_time) {
  MutexGuard guard(&lock_);
  auto it = users_.find(user_id);
  if (it == users_.end()) it = users_.emplace(user_id, User()).first;
  User& user = it->second;
  user.receipt_id = receipt_id;
  user.last_receipt = receipt_head;
  user.receipt_time = receipt_time;
}

std::vector<User> UserRegistry::onlineOfClass(int32_t class_id) {
  MutexGuard guard(&lock_);
  std::vector<User> result;
  for (const auto& entry : users_) {
    if (entry.second.class_id == class_id && entry.second.is_online == 1) result.push_back(entry.second);
  }
  return result;
}

std::vector<User> UserRegistry::getUserGetInstruct(int32_t class_id, uint64_t instruct_id) {
  MutexGuard guard(&lock_);
  std::vector<User> result;
  for (const auto& entry : users_) {
    const User& u = entry.second;
    if (u.class_id == class_id && u.instruct_id == instruct_id && u.send_times != -2) result.push_back(u);
  }
  return result;
}

std::vector<User> UserRegistry::repliedTo(int32_t class_id, uint64_t instruct_id) {
  MutexGuard guard(&lock_);
  std::vector<User> result;
  for (const auto& entry : users_) {
    const User& u = entry.second;
    if (u.class_id == class_id && u.receipt_id == instruct_id && u.send_times != -1) result.push_back(u);
  }
  return result;
}

void UserRegistry::delUserInfo(int32_t user_id) {
  MutexGuard guard(&lock_);
  if (users_.erase(user_id) > 0) LOG("d", "delete success");
}
