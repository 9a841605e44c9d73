#include "Instruction.h"

#include <cstdlib>

#include "JsonReader.h"
#include "JsonWriter.h"
#include "Log.h"
#include "Util.h"

std::string Instruction::jsonString() const {
  JsonWriter w;
  w.begin_object()
      .member("szInstruction", szInstruction)
      .member("szTarget", szTarget)
      .member("publish_id", publish_id)
      .member("teacher_id", teacher_id)
      .member("type", type)
      .member("class_id", class_id)
      .member("instruct_id", int64_to_text(static_cast<int64_t>(instruct_id)))
      .end_object();
  return w.str();
}

Instruction::Instruction(const std::string& json) {
  try {
    JsonDocument doc;
    parse_json(json, &doc);
    if (!doc.IsObject()) return;
    for (auto m = doc.MemberBegin(); m != doc.MemberEnd(); ++m) {
      std::string name = json_name(m->name);
      if (name == "szInstruction") {
        szInstruction = json_as_text(m->value);
        JsonDocument command;
        parse_json(szInstruction, &command);
        lock_screen = static_cast<int32_t>(json_as_int(json_at(command, "lock_screen")));
      } else if (name == "szTarget") {
        szTarget = json_as_text(m->value);
      } else if (name == "publish_id") {
        publish_id = json_as_text(m->value);
      } else if (name == "teacher_id") {
        teacher_id = static_cast<int32_t>(json_as_int(m->value));
      } else if (name == "type") {
        type = json_as_text(m->value);
      } else if (name == "instruct_id") {
        // Written as signed decimal text, so the largest ids read back from "-N".
        instruct_id = strtoull(json_as_text(m->value).c_str(), nullptr, 10);
      } else if (name == "class_id") {
        class_id = static_cast<int32_t>(json_as_int(m->value));
      }
    }
  } catch (const std::exception& e) {
    LOG("e", "%s", ("exception: " + exception_text(e) + " parse error").c_str());
  }
}
