// Instructions, targets and id lists from any text, and the /sendCmd step
// that turns a target and a command into an instruction. An instruction's
// JSON reads back to the same JSON when its command carries "lock_screen"
// (without it the parse stops there, as it should).
#include "Instruction.h"

#include <cstdint>
#include <cstdlib>
#include <string>

#include "APISendCmd.h"
#include "FuzzSetup.h"
#include "InstructionTarget.h"
#include "JsonReader.h"
#include "ServerObjects.h"

namespace {

bool has_lock_screen(const std::string& command) {
  try {
    JsonDocument doc;
    parse_json(command, &doc);
    json_at(doc, "lock_screen");
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

void check_round_trip(const Instruction& instruction) {
  if (!has_lock_screen(instruction.szInstruction)) return;
  const std::string json = instruction.jsonString();
  if (Instruction(json).jsonString() != json) abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return fuzz_setup(); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  check_round_trip(Instruction(text));
  InstructionTarget target(text);
  (void)parse_id_list(text);
  (void)parse_id_list(target.groups);

  // The first line is the target, the rest the command.
  size_t cut = text.find('\n');
  std::string target_text = text.substr(0, cut);
  std::string command_text = cut == std::string::npos ? std::string() : text.substr(cut + 1);
  Instruction built;
  std::string error;
  static ServerObjects* objects = new ServerObjects();
  APISendCmd api(objects->course, objects->manager, objects->set, objects->reporting);
  if (api.buildInstruction(target_text, command_text, &built, &error))
    check_round_trip(built);
  return 0;
}
