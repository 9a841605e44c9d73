// A tablet's JSON: the same bytes as a USER_INFO body and as a frame head.
#include <cstdint>
#include <string>

#include "FuzzSetup.h"
#include "WireProtocol.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) { return fuzz_setup(); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  User user = parseUserJson(text);
  (void)user;
  Message message;
  message.head = text;
  parse_head_json(&message);
  return 0;
}
