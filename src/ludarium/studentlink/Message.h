// One frame received from a tablet: a head line of compact JSON, then a body
// of "content-length" bytes (kept only for USER_INFO).
#pragma once

#include <cstdint>
#include <string>

enum MessageType {
  ACK = 1,
  USER_INFO = 2,
  USER_INFO_REQUEST = 3,
  HEARTBEAT = 4,
  INSTRUCTION = 5,
  LOGIN_REFUSED = 6,
  KICKOFF = 7,
  HEARTBEAT_REPLY = 8,
  INSTRUCTION_RECEIPT = 9,
  QUIT = 11,
};

struct Message {
  std::string head;  // the head line without its newline
  std::string body;
  std::string protocol;
  std::string version;
  std::string content_type;
  int32_t content_length = 0;
  int32_t type = 0;  // 0: none, which no state acts on
  std::string instruct_id;
  bool parsed = false;  // the head parsed as JSON
};
