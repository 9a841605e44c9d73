// The published course: which lesson is taught and where tablets connect.
// A plain value copied freely; the process's one record lives in the course
// holder (CourseHolder). A class id of -1 means no course is published.
#pragma once

#include <cstdint>
#include <string>

struct BrocastData {
  // The session time-out in seconds when the command line gives none.
  static const int32_t kDefaultTimeout = 35;

  int32_t teacher_id = -1;
  std::string teacher_name;  // names are stored URL-encoded
  int32_t class_id = -1;
  std::string class_name;
  std::string grade_name;
  std::string book_name;
  std::string chapter_name;
  std::string subject_name;
  std::string course_hour;
  std::string cache_addr;      // the upstream API server, "host[:port]"
  std::string cache_describe;
  std::string socket_ip;       // dotted IPv4 of the chosen adapter
  int32_t socket_port = 0;
  int32_t as_policy_port = 0;
  int32_t timeout = kDefaultTimeout;  // never written: the JSON shows the server's
  int32_t runing = 0;          // 1 while a class runs ("runing" is the wire spelling)

  BrocastData();
  // Starts from the defaults and takes the known members of a JSON object
  // in document order. Invalid JSON is logged ("... parse error") and leaves
  // the defaults; a member of another type is converted (json_as_int,
  // json_as_text: a text that is no number gives 0).
  explicit BrocastData(const std::string& json);

  // Compact JSON with the members in their fixed order; "timeout" is the
  // server's session time-out (Settings::sessionTimeoutSeconds), not the
  // field.
  std::string toJSON(int32_t session_timeout = kDefaultTimeout) const;
};
