// The JSON parse helper on any bytes: it either throws or gives a document
// whose written text parses again and writes to the same bytes. Every value
// also goes through the conversions the readers use. A text parse_json
// takes as plainly valid, without asking jsoncpp, must be one jsoncpp
// accepts.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "FuzzSetup.h"
#include "JsonReader.h"

namespace {

void convert_all(const JsonValue& v) {
  (void)json_as_int(v);
  (void)json_as_text(v);
  if (v.IsObject()) {
    for (auto m = v.MemberBegin(); m != v.MemberEnd(); ++m) convert_all(m->value);
  } else if (v.IsArray()) {
    for (auto e = v.Begin(); e != v.End(); ++e) convert_all(*e);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return fuzz_setup(); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  if (json_plainly_valid(text)) {
    try {
      json_validate(text);
    } catch (const std::runtime_error&) {
      abort();
    }
  }
  JsonDocument doc;
  try {
    parse_json(text, &doc);
  } catch (const std::runtime_error&) {
    return 0;
  }
  convert_all(doc);
  if (doc.IsObject() && doc.MemberCount() > 0) {
    try {
      (void)json_at(doc, json_name(doc.MemberBegin()->name).c_str());
    } catch (const std::out_of_range&) {
      // A name with a zero byte in it is not found by its C text.
    }
  }
  const std::string written = json_write(doc);
  JsonDocument again;
  try {
    parse_json(written, &again);
  } catch (const std::runtime_error&) {
    abort();  // what the writer wrote must read back
  }
  if (json_write(again) != written) abort();
  return 0;
}
