// Every student that logged in during this run, by user id. Records are
// never removed in normal operation; a student who leaves stays with
// is_online 0. Results are copies.
//
// Thread safety: each operation holds lock_ (re-entrant) for its whole run
// and takes no other lock meanwhile. Callers may hold the socket server's
// lock when they call in (server lock first).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "JsonReader.h"
#include "Mutex.h"
#include "User.h"

class UserRegistry {
 public:
  UserRegistry();
  ~UserRegistry();

  // Stores the record under its user id, replacing the whole previous record.
  void add(const User& user);
  // Parses a student's JSON and stores records from it (below); a text that
  // does not parse stores nothing. Returns false then.
  bool addFromJson(const std::string& json);
  // Stores the object's record under its "user_id" (-1 when absent),
  // replacing the whole previous record; nested objects and arrays are
  // stored first, on their own.
  void addFromNode(const JsonValue& node);

  // Replaces the stored record of user.user_id; nothing when there is none.
  void update(const User& user);
  // A copy, or a default record (user id -1) for an unknown id.
  User get(int32_t user_id);

  void setInstruction(int32_t user_id, const std::string& command, uint64_t instruct_id,
                      int64_t send_time, int32_t send_times);
  void setReceipt(int32_t user_id, uint64_t receipt_id, const std::string& receipt_head,
                  int64_t receipt_time);

  // Online students of a class, ascending by user id.
  std::vector<User> onlineOfClass(int32_t class_id);
  // Students of a class that were sent that instruction (send_times != -2).
  std::vector<User> getUserGetInstruct(int32_t class_id, uint64_t instruct_id);
  // Students of a class whose receipt names that instruction (send_times != -1).
  std::vector<User> repliedTo(int32_t class_id, uint64_t instruct_id);
  // The same three, with only what a record or a count needs: a class of
  // thousands is asked several times a second while an instruction goes
  // out, and whole copies of its records cost more than the delivery.
  std::vector<UserTimes> sentTimes(int32_t class_id, uint64_t instruct_id);    // send_time, send_times
  std::vector<UserTimes> repliedTimes(int32_t class_id, uint64_t instruct_id);  // receipt_time
  std::vector<int32_t> repliedIds(int32_t class_id, uint64_t instruct_id);
  size_t onlineCount(int32_t class_id);

  void delUserInfo(int32_t user_id);

 private:
  // Copies of the records of that class the test accepts, ascending by user
  // id. Call with lock_ held.
  template <typename Test>
  std::vector<User> ofClass(int32_t class_id, Test accepts) const;
  // What `pick` makes of each record of that class the test accepts,
  // ascending by user id. Call with lock_ held.
  template <typename Row, typename Test, typename Pick>
  std::vector<Row> pickOfClass(int32_t class_id, Test accepts, Pick pick) const;
  // The record of that id, a default one inserted when there is none. Call
  // with lock_ held.
  User& recordOf(int32_t user_id);

  Mutex lock_;
  std::map<int32_t, User> users_;
};
