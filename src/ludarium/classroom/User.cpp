#include "User.h"

#include "JsonFieldTable.h"
#include "Util.h"

const JsonFieldTable<User>& user_json_fields() {
  typedef JsonFieldTable<User>::Field Field;
  static const JsonFieldTable<User> kFields{
      Field("user_id", &User::user_id),
      Field("user_name", &User::user_name),
      Field("group_id", &User::group_id),
      Field("class_id", &User::class_id),
      Field("log_time", &User::log_time),
      Field("class_name", &User::class_name),
      Field("grade_name", &User::grade_name),
      Field("mtype", &User::mtype),
      Field("version_code", &User::version_code),
      Field("log_type", &User::log_type),
      Field("user_ip", &User::user_ip),
      Field("user_mac", &User::user_mac),
      Field("instruct_id",
            [](User* u, const JsonValue& v) { u->instruct_id = text_to_uint64(json_as_text(v)); }),
      Field("last_instruct", &User::last_instruct),
      Field("send_times", &User::send_times),
      Field("receipt_id",
            [](User* u, const JsonValue& v) { u->receipt_id = text_to_uint64(json_as_text(v)); }),
      Field("last_receipt", &User::last_receipt),
      Field("receipt_time",
            [](User* u, const JsonValue& v) {
              u->receipt_time = static_cast<int64_t>(text_to_uint64(json_as_text(v)));
            }),
      Field("is_online", &User::is_online),
  };
  return kFields;
}
