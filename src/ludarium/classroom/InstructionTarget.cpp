#include "InstructionTarget.h"

#include <cstdio>
#include <typeinfo>

#include "JsonFieldTable.h"

namespace {

void report(const std::exception& e) { printf("exception: %s\n", exception_type_name(e).c_str()); }

}  // namespace

InstructionTarget::InstructionTarget(const std::string& json) {
  typedef JsonFieldTable<InstructionTarget>::Field Field;
  static const JsonFieldTable<InstructionTarget> kFields{
      Field("type", &InstructionTarget::type),
      Field("class_id", &InstructionTarget::class_id),
      Field("groups", &InstructionTarget::groups),
      Field("users", &InstructionTarget::users),
  };
  try {
    kFields.read(json, this);
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
