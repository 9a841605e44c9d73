#include "UserRegistry.h"

#include "JsonFieldTable.h"
#include "Log.h"

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

void UserRegistry::add(const User& user) {
  MutexGuard guard(&lock_);
  users_[user.user_id] = user;
}

void UserRegistry::addFromNode(const JsonValue& node) {
  MutexGuard guard(&lock_);
  // Nested records are stored first, in document order; the outer record
  // is stored last, so it wins over a nested one of the same id.
  auto store_nested = [&](const JsonValue& value) {
    if (value.IsObject() || value.IsArray()) addFromNode(value);
  };
  if (node.IsObject()) {
    for (auto m = node.MemberBegin(); m != node.MemberEnd(); ++m) store_nested(m->value);
  } else if (node.IsArray()) {
    for (auto e = node.Begin(); e != node.End(); ++e) store_nested(*e);
  }
  User user;
  user_json_fields().apply(node, &user);
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

User& UserRegistry::recordOf(int32_t user_id) {
  // An unknown student gets a default record under that id.
  auto it = users_.find(user_id);
  if (it == users_.end()) it = users_.emplace(user_id, User()).first;
  return it->second;
}

void UserRegistry::setInstruction(int32_t user_id, const std::string& command, uint64_t instruct_id,
                                  int64_t send_time, int32_t send_times) {
  MutexGuard guard(&lock_);
  User& user = recordOf(user_id);
  user.last_instruct = command;
  user.instruct_id = instruct_id;
  user.send_time = send_time;
  user.send_times = send_times;
}

void UserRegistry::setReceipt(int32_t user_id, uint64_t receipt_id, const std::string& receipt_head,
                              int64_t receipt_time) {
  MutexGuard guard(&lock_);
  User& user = recordOf(user_id);
  user.receipt_id = receipt_id;
  user.last_receipt = receipt_head;
  user.receipt_time = receipt_time;
}

template <typename Row, typename Test, typename Pick>
std::vector<Row> UserRegistry::pickOfClass(int32_t class_id, Test accepts, Pick pick) const {
  std::vector<Row> result;
  for (const auto& entry : users_) {
    const User& u = entry.second;
    if (u.class_id == class_id && accepts(u)) result.push_back(pick(u));
  }
  return result;
}

template <typename Test>
std::vector<User> UserRegistry::ofClass(int32_t class_id, Test accepts) const {
  return pickOfClass<User>(class_id, accepts, [](const User& u) -> const User& { return u; });
}

namespace {

bool online(const User& u) { return u.is_online == 1; }
bool was_sent(const User& u, uint64_t instruct_id) { return u.instruct_id == instruct_id && u.send_times != -2; }
bool replied(const User& u, uint64_t instruct_id) { return u.receipt_id == instruct_id && u.send_times != -1; }

}  // namespace

std::vector<User> UserRegistry::onlineOfClass(int32_t class_id) {
  MutexGuard guard(&lock_);
  return ofClass(class_id, online);
}

std::vector<User> UserRegistry::getUserGetInstruct(int32_t class_id, uint64_t instruct_id) {
  MutexGuard guard(&lock_);
  return ofClass(class_id, [&](const User& u) { return was_sent(u, instruct_id); });
}

std::vector<User> UserRegistry::repliedTo(int32_t class_id, uint64_t instruct_id) {
  MutexGuard guard(&lock_);
  return ofClass(class_id, [&](const User& u) { return replied(u, instruct_id); });
}

std::vector<UserTimes> UserRegistry::sentTimes(int32_t class_id, uint64_t instruct_id) {
  MutexGuard guard(&lock_);
  return pickOfClass<UserTimes>(
      class_id, [&](const User& u) { return was_sent(u, instruct_id); },
      [](const User& u) { return UserTimes{u.user_id, u.send_time, u.send_times}; });
}

std::vector<UserTimes> UserRegistry::repliedTimes(int32_t class_id, uint64_t instruct_id) {
  MutexGuard guard(&lock_);
  return pickOfClass<UserTimes>(
      class_id, [&](const User& u) { return replied(u, instruct_id); },
      [](const User& u) { return UserTimes{u.user_id, u.receipt_time, 0}; });
}

std::vector<int32_t> UserRegistry::repliedIds(int32_t class_id, uint64_t instruct_id) {
  MutexGuard guard(&lock_);
  return pickOfClass<int32_t>(
      class_id, [&](const User& u) { return replied(u, instruct_id); }, [](const User& u) { return u.user_id; });
}

size_t UserRegistry::onlineCount(int32_t class_id) {
  MutexGuard guard(&lock_);
  size_t count = 0;
  for (const auto& entry : users_) {
    if (entry.second.class_id == class_id && online(entry.second)) count++;
  }
  return count;
}

void UserRegistry::delUserInfo(int32_t user_id) {
  MutexGuard guard(&lock_);
  if (users_.erase(user_id) > 0) LOG("d", "delete success");
}
