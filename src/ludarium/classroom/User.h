// One student as the registry keeps it; a plain value copied freely.
#pragma once

#include <cstdint>
#include <string>

template <typename Record>
class JsonFieldTable;

struct User {
  int32_t user_id = -1;        // -1: no student
  std::string user_name;
  std::string group_id;        // JSON array text of group ids, e.g. [2,5]
  int32_t class_id = -1;
  std::string log_time;
  std::string class_name;
  std::string grade_name;
  std::string mtype;           // device type
  std::string version_code;    // client version
  int32_t log_type = -1;       // login type; settles a second login
  std::string user_ip;
  std::string user_mac;
  uint64_t instruct_id = ~0ull;   // last instruction sent
  std::string last_instruct;      // its command text
  int64_t send_time = 0;          // ms since 1970 of that send
  int32_t send_times = 0;         // re-sends before that send (0: first)
  uint64_t receipt_id = ~0ull;    // id named by the last receipt
  std::string last_receipt;       // that receipt's head text
  int64_t receipt_time = 0;       // ms since 1970
  int32_t is_online = 0;
};

// What the lesson records need of a student: who, when, and how many
// re-sends (for the records of sends; 0 for receipts).
struct UserTimes {
  int32_t user_id;
  int64_t time;
  int32_t repeat;
};

// The members a student's JSON sets, every field above but the send time:
// "instruct_id", "receipt_id" and "receipt_time" are decimal texts (digits up
// to the first other character), the other numbers convert as json_as_int.
// The login body and the registry both read a student through it.
const JsonFieldTable<User>& user_json_fields();
