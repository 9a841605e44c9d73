#include "Instruction.h"

#include <cstdlib>

#include "JsonFieldTable.h"
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
  typedef JsonFieldTable<Instruction>::Field Field;
  static const JsonFieldTable<Instruction> kFields{
      Field("szInstruction",
            [](Instruction* in, const JsonValue& v) {
              in->szInstruction = json_as_text(v);
              // A command without "lock_screen" throws here and ends the read.
              JsonDocument command;
              parse_json(in->szInstruction, &command);
              in->lock_screen = static_cast<int32_t>(json_as_int(json_at(command, "lock_screen")));
            }),
      Field("szTarget", &Instruction::szTarget),
      Field("publish_id", &Instruction::publish_id),
      Field("teacher_id", &Instruction::teacher_id),
      Field("type", &Instruction::type),
      // Written as signed decimal text, so the largest ids read back from "-N".
      Field("instruct_id",
            [](Instruction* in, const JsonValue& v) {
              in->instruct_id = strtoull(json_as_text(v).c_str(), nullptr, 10);
            }),
      Field("class_id", &Instruction::class_id),
  };
  try {
    kFields.read(json, this);
  } catch (const std::exception& e) {
    LOG("e", "%s", ("exception: " + exception_text(e) + " parse error").c_str());
  }
}
