#include "APISendCmd.h"

#include <cstring>

#include "JsonReader.h"
#include "JsonWriter.h"
#include "Log.h"
#include "Util.h"

namespace {

// Lock-screen state after an action; -1 for an action that keeps the one of
// the current instruction.
int32_t lock_state_for(const std::string& action) {
  static const char* const kLocking[] = {"start_task", "lock_screen", "rush_ready", "rush_start",
                                         "rush_stop",  "start_class"};
  for (const char* a : kLocking) {
    if (action == a) return 1;
  }
  if (action == "unlock_screen" || action == "end_class") return 0;
  return -1;
}

// The command object written back with the members appended.
std::string with_members(const JsonValue& command, int32_t lock, const std::string* broadcast) {
  JsonWriter w;
  w.begin_object();
  for (auto m = command.MemberBegin(); m != command.MemberEnd(); ++m) {
    w.key(json_name(m->name)).raw(json_write(m->value));
  }
  w.member("lock_screen", lock);
  if (broadcast != nullptr) w.member("broadcast", *broadcast);
  w.end_object();
  return w.str();
}

// The instruction id of a command: a JSON number or string holding a whole
// number in 1 .. 2^64-2 (0 and all bits set mean "none" to the sessions and
// the registry). False for anything else: a fraction or exponent form, a
// sign, other characters, a value too large for 64 bits.
bool instruction_id(const JsonValue& value, uint64_t* id) {
  uint64_t read = 0;
  if (value.IsNumber()) {
    if (!value.IsUint64()) return false;  // negative, or kept as a double
    read = value.GetUint64();
  } else if (value.IsString()) {
    std::string text(value.GetString(), value.GetStringLength());
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos || text.find_first_not_of("0123456789", first) != std::string::npos) {
      return false;
    }
    bool overflow = false;
    read = text_to_uint64(text, &overflow);
    if (overflow) return false;
  } else {
    return false;
  }
  if (read == 0 || read == UINT64_MAX) return false;
  *id = read;
  return true;
}

}  // namespace

const char* const APISendCmd::kBadIdText = "id is not a whole number in 1..18446744073709551614";

APISendCmd::APISendCmd(CourseHolder& course, InstructionManager& manager, InstructionSet& set,
                       RecordReporting& reporting)
    : course_(course), manager_(manager), set_(set), reporting_(reporting) {}

bool APISendCmd::buildInstruction(const std::string& target, const std::string& command_text,
                                  Instruction* out, std::string* error) {
  Instruction in;
  std::string command = command_text;
  uint64_t id = 0;
  // The lock state written into the command; the instruction carries the
  // same value even when another /sendCmd changes lockScreen meanwhile.
  int32_t lock = -1;
  try {
    JsonDocument doc;
    parse_json(command_text, &doc);
    if (!instruction_id(json_at(doc, "id"), &id)) {
      *error = kBadIdText;
      LOG("w", "%s", error->c_str());
      return false;
    }
    try {
      const JsonValue& params = json_at(doc, "params");
      std::string action = json_as_text(json_at(params, "action"));
      std::string publish_id;
      if (action == "start_task") publish_id = json_as_text(json_at(params, "course_hour_publish_id"));
      int32_t state = lock_state_for(action);
      if (state < 0) state = manager_.getInstruction().lock_screen;
      lockScreen = state;
      lock = state;
      LOG("d", "lock_screen=%d", lock);
      std::string course;
      if (action == "start_class") course = course_.getJSONString();
      // Kept whole: the command (at most 2,047 bytes) with a published
      // course (at most 2,047 bytes, escaped as a string) may pass 2,046
      // bytes, and a cut one would reach the tablets as broken JSON.
      command = with_members(doc, lock, action == "start_class" ? &course : nullptr);
      in.publish_id = publish_id;
    } catch (const std::exception& e) {
      LOG("w", "%s", e.what());
      command = command_text;
    }
  } catch (const std::exception& e) {
    // No usable command (not JSON, not an object, no "id"): nothing is queued.
    *error = exceptionText(e, " parse target or command error");
    LOG("w", "%s", error->c_str());
    return false;
  }
  try {
    JsonDocument doc;
    parse_json(target, &doc);
    in.class_id = static_cast<int32_t>(json_as_int(json_at(doc, "class_id")));
    in.type = json_as_text(json_at(doc, "type"));
  } catch (const std::exception& e) {
    *error = exceptionText(e, " parse target or command error");
    LOG("w", "%s", error->c_str());
    return false;
  }
  in.szInstruction = command;
  in.szTarget = target;
  in.instruct_id = id;
  in.teacher_id = course_.getData().teacher_id;
  in.lock_screen = lock >= 0 ? lock : lockScreen.load();
  *out = in;
  return true;
}

int APISendCmd::onHandleEvent(HttpRequest& request) {
  char target[1024];
  char command[2048];
  memset(target, 0, sizeof(target));
  memset(command, 0, sizeof(command));
  int target_len, command_len;
  if (request.has_query()) {
    std::string query = request.query_string();
    LOG("d", "pinfo->query_string=%s", query.c_str());
    target_len = formVar(query, "target", target, sizeof(target));
    command_len = formVar(query, "command", command, sizeof(command));
  } else {
    const std::string& body = request.body();
    LOG("d", "pinfo->content=%s", body.c_str());
    target_len = body.empty() ? -1 : formVar(body, "target", target, sizeof(target));
    command_len = body.empty() ? -1 : formVar(body, "command", command, sizeof(command));
  }
  LOG("d", "target=%s", target);
  LOG("d", "command=%s", command);
  if (target_len < 1 || command_len < 1) {
    LOG("w", "no target or command");
    replyFail(request, "no target or command");
    return 1;
  }
  Instruction instruction;
  std::string error;
  if (!buildInstruction(target, command, &instruction, &error)) {
    replyFail(request, error);
    return 1;
  }
  manager_.add(instruction);
  set_.wake_worker();
  replyOk(request);
  reporting_.sendCmdLog(instruction);
  reporting_.sendResLog(instruction);
  return 1;
}
