#include "InstructionTarget.h"

#include <cstdio>
#include <typeinfo>

#include "JsonReader.h"

namespace {

void report(const std::exception& e) {
  std::string text = exception_text(e);
  // Only the type's name, as the console line has always shown it.
  std::string type = text.substr(0, text.size() - std::string(e.what()).size());
  printf("exception: %s\n", type.c_str());
}

}  // namespace

InstructionTarget::InstructionTarget(const std::string& json) {
  try {
    JsonDocument doc;
    parse_json(json, &doc);
    if (!doc.IsObject()) return;
    for (auto m = doc.MemberBegin(); m != doc.MemberEnd(); ++m) {
      std::string name = json_name(m->name);
      if (name == "type") type = json_as_text(m->value);
      else if (name == "class_id") class_id = static_cast<int32_t>(json_as_int(m->value));
      else if (name == "groups") groups = json_as_text(m->value);
      else if (name == "users") users = json_as_text(m->value);
    }
  } catch (const std::exception& e) {
    report(e);
  }
}

std::vector<int32_t> parse_id_list(const std::string& json) {
  std::vector<int32_t> ids;
  try {
    JsonDocument doc;
    parse_json(json, &doc);
    if (doc.IsArray()) {
      for (auto e = doc.Begin(); e != doc.End(); ++e) ids.push_back(static_cast<int32_t>(json_as_int(*e)));
    } else {
      for (auto m = doc.MemberBegin(); m != doc.MemberEnd(); ++m) {
        ids.push_back(static_cast<int32_t>(json_as_int(m->value)));
      }
    }
  } catch (const std::exception& e) {
    report(e);
    ids.clear();
  }
  return ids;
}
