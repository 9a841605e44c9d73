#include "RecordReporting.h"

#include <memory>

#include "CourseHolder.h"
#include "Clock.h"
#include "HttpRecord.h"
#include "JsonReader.h"
#include "JsonWriter.h"
#include "Log.h"
#include "Thread.h"
#include "UserRegistry.h"
#include "Util.h"

const char* const kCmdRecordPath = "/api_dist/?q=json/record/cmd/index&info={}";
const char* const kReceiveRecordPath = "/api_dist/?q=json/record/receive/index&info={}";
const char* const kOnlineRecordPath = "/api_dist/?q=json/record/online/index&info={}";

namespace {

const int kPasses = 5;
const int64_t kOnlineGateMs = 300000;

void record_head(JsonWriter* w, const Instruction& in) {
  w->member("cmd_id", int64_to_text(static_cast<int64_t>(in.instruct_id)))
      .member("teacher_id", in.teacher_id)
      .member("type", in.type)
      .member("class_id", in.class_id);
  if (!in.publish_id.empty()) w->member("publish_id", in.publish_id);
}

}  // namespace

std::string wrapRecord(const std::string& record) {
  JsonWriter w;
  w.begin_object().member("content", record).end_object();
  return w.str();
}

std::string cmdRecord(const Instruction& instruction, const std::vector<User>& sent) {
  std::vector<UserTimes> times;
  for (const User& u : sent) times.push_back(UserTimes{u.user_id, u.send_time, u.send_times});
  return cmdRecord(instruction, times);
}

std::string receiveRecord(const Instruction& instruction, const std::vector<User>& answered) {
  std::vector<UserTimes> times;
  for (const User& u : answered) times.push_back(UserTimes{u.user_id, u.receipt_time, 0});
  return receiveRecord(instruction, times);
}

std::string cmdRecord(const Instruction& instruction, const std::vector<UserTimes>& sent) {
  JsonWriter w;
  w.begin_object();
  record_head(&w, instruction);
  w.key("users").begin_array();
  for (const UserTimes& u : sent) {
    w.begin_object()
        .member("student_id", u.user_id)
        .member("time", int64_to_text(u.time))
        .member("repeat", u.repeat)
        .end_object();
  }
  w.end_array();
  w.key("cmd_content");
  try {
    JsonDocument doc;
    parse_json(instruction.szInstruction, &doc);
    w.raw(json_write(doc));
  } catch (const std::exception&) {
    // A command that is not JSON cannot be nested: it goes as its text.
    w.value(instruction.szInstruction);
  }
  w.end_object();
  return w.str();
}

std::string receiveRecord(const Instruction& instruction, const std::vector<UserTimes>& answered) {
  JsonWriter w;
  w.begin_object();
  record_head(&w, instruction);
  w.key("receives").begin_array();
  for (const UserTimes& u : answered) {
    w.begin_object().member("student_id", u.user_id).member("time", int64_to_text(u.time)).end_object();
  }
  w.end_array().end_object();
  return w.str();
}

std::string onlineRecord(const BrocastData& course, int64_t now_ms, const std::vector<User>& online) {
  JsonWriter w;
  w.begin_object()
      .member("class_id", course.class_id)
      .member("teacher_id", course.teacher_id)
      .member("time", int64_to_text(now_ms));
  w.key("students").begin_array();
  for (const User& u : online) {
    w.begin_object().member("student_id", u.user_id).member("model", u.mtype).member("version", u.version_code).end_object();
  }
  w.end_array().end_object();
  return w.str();
}

// A reporter's own copy of its instruction, owned by its thread.
struct RecordReporting::Job {
  RecordReporting* reporting;
  void (RecordReporting::*run)(const Instruction&);
  Instruction instruction;
};

RecordReporting::RecordReporting(HttpRecord& http, UserRegistry& users, CourseHolder& course,
                                 int pass_ms)
    : http_(http), users_(users), course_(course), pass_ms_(pass_ms) {}

bool RecordReporting::sendCmdLog(const Instruction& instruction) {
  return startReporter(&RecordReporting::runCmdLog, instruction);
}

bool RecordReporting::sendResLog(const Instruction& instruction) {
  return startReporter(&RecordReporting::runResLog, instruction);
}

bool RecordReporting::startReporter(void (RecordReporting::*run)(const Instruction&),
                                    const Instruction& instruction) {
  Job* job = new Job{this, run, instruction};
  if (thread_begin(reporterThread, job) == 0) return true;
  delete job;
  return false;
}

unsigned int RecordReporting::reporterThread(void* arg) {
  thread_set_name("records");
  std::unique_ptr<Job> job(static_cast<Job*>(arg));
  (job->reporting->*job->run)(job->instruction);
  return 0;
}

// Posts a record to the course's upstream address. A data text always
// parses here (we wrote it), so postForm cannot throw.
void RecordReporting::sendRecord(const std::string& record, const char* path) {
  std::string url = "http://" + course_.getData().cache_addr + path;
  try {
    http_.postForm(url, wrapRecord(record));
  } catch (const std::exception& e) {
    LOG("w", "%s", e.what());
  }
}

void RecordReporting::runCmdLog(const Instruction& instruction) {
  LOG("d", "%s", "");
  for (int pass = 0; pass < kPasses; ++pass) {
    sleep_ms(static_cast<unsigned>(pass_ms_));
    std::vector<UserTimes> sent = users_.sentTimes(instruction.class_id, instruction.instruct_id);
    if (!sent.empty()) sendRecord(cmdRecord(instruction, sent), kCmdRecordPath);
  }
  LOG("d", "%s", "");
}

void RecordReporting::runResLog(const Instruction& instruction) {
  LOG("d", "%s", "");
  try {
    JsonDocument doc;
    parse_json(instruction.szInstruction, &doc);
    std::string action = json_as_text(json_at(json_at(doc, "params"), "action"));
    if (action == "end_class") {
      course_.setRuning(0);
      JsonWriter data;
      data.begin_object()
          .member("class_id", instruction.class_id)
          .member("teacher_id", instruction.teacher_id)
          .end_object();
      http_.uploadLogFile(course_.getData().cache_addr, wrapRecord(data.str()));
    } else if (action == "start_class") {
      course_.setRuning(1);
    }
  } catch (const std::exception& e) {
    LOG("w", "%s", e.what());
  }
  for (int pass = 0; pass < kPasses; ++pass) {
    sleep_ms(static_cast<unsigned>(pass_ms_));
    std::vector<UserTimes> answered = users_.repliedTimes(instruction.class_id, instruction.instruct_id);
    if (!answered.empty()) sendRecord(receiveRecord(instruction, answered), kReceiveRecordPath);
  }
  LOG("d", "%s", "");
}

void RecordReporting::sendOnlineLog() {
  int64_t now = wall_ms();
  if (now - online_clock_ < kOnlineGateMs) return;
  online_clock_ = now;
  BrocastData course = course_.getData();
  if (course.class_id <= 0 || course.teacher_id <= 0) return;
  std::vector<User> online = users_.onlineOfClass(course.class_id);
  if (online.empty()) return;
  sendRecord(onlineRecord(course, now, online), kOnlineRecordPath);
}
