#include "TeacherWatchdog.h"

#include <string>

#include "CourseHolder.h"
#include "Clock.h"
#include "HttpRecord.h"
#include "InstructionManager.h"
#include "JsonReader.h"
#include "JsonWriter.h"
#include "Log.h"
#include "Settings.h"
#include "TeacherPresence.h"
#include "Util.h"

namespace {
const int64_t kOfflineMs = 120000;
}  // namespace

TeacherWatchdog::TeacherWatchdog(CourseHolder& course, TeacherPresence& presence,
                                 InstructionManager& instructions, HttpRecord& http,
                                 const Settings& settings)
    : course_(course),
      presence_(presence),
      instructions_(instructions),
      http_(http),
      settings_(settings) {}

void TeacherWatchdog::checkTeacherOnline(int port) { checkTeacherOnline(port, wall_ms()); }

void TeacherWatchdog::checkTeacherOnline(int port, int64_t now) {
  if (course_.stopped()) return;
  BrocastData course = course_.getData();
  if (course.class_id <= 0 || course.teacher_id <= 0) return;
  if (presence_.count() == 0 && now - settings_.loopStartMs() <= kOfflineMs) return;
  if (now - presence_.lookup(course.teacher_id).last_ping_ms <= kOfflineMs) return;

  LOG("d", "\n-----------------------teacher off line----------------------------------\n");
  course_.stop();
  Instruction current = instructions_.getInstruction();
  try {
    JsonDocument doc;
    parse_json(current.szInstruction, &doc);
    if (json_as_text(json_at(json_at(doc, "params"), "action")) == "end_class") {
      LOG("d", "\n-----------------------not send command----------------------------------\n");
      return;
    }
  } catch (const std::exception&) {
    // No readable current command: the class is ended all the same.
  }
  std::string target = "{\"type\":\"class\", \"class_id\":" + std::to_string(course.class_id) + "}";
  // The next id /sendCmd accepts (1 .. 2^64-2).
  uint64_t next_id = current.instruct_id + 1 >= UINT64_MAX ? 1 : current.instruct_id + 1;
  std::string command = "{\"class\":\"order\",\"id\":" + uint64_to_text(next_id) +
                        ",\"params\":{\"action\":\"end_class\"}}";
  JsonWriter data;
  data.begin_object().member("target", target).member("command", command).end_object();
  std::string url = "http://127.0.0.1:" + std::to_string(port) + "/sendCmd";
  LOG("d", "post %s\t\n%s", url.c_str(), data.str().c_str());
  http_.postForm(url, data.str());
}
