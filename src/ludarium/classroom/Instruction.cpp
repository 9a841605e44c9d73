#include "Instruction.h"

#include "JsonWriter.h"
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
