#include "BrocastData.h"

#include <cstring>

#include "JsonFieldTable.h"
#include "JsonWriter.h"
#include "Log.h"

BrocastData::BrocastData() {}

BrocastData::BrocastData(const std::string& json) : BrocastData() {
  typedef JsonFieldTable<BrocastData>::Field Field;
  static const JsonFieldTable<BrocastData> kFields{
      Field("teacher_id", &BrocastData::teacher_id),
      Field("teacher_name", &BrocastData::teacher_name),
      Field("class_id", &BrocastData::class_id),
      Field("class_name", &BrocastData::class_name),
      Field("grade_name", &BrocastData::grade_name),
      Field("book_name", &BrocastData::book_name),
      Field("chapter_name", &BrocastData::chapter_name),
      Field("subject_name", &BrocastData::subject_name),
      Field("course_hour", &BrocastData::course_hour),
      Field("cache_addr", &BrocastData::cache_addr),
      Field("cache_describe", &BrocastData::cache_describe),
      Field("socket_ip", &BrocastData::socket_ip),
      Field("socket_port", &BrocastData::socket_port),
      Field("as_policy_port", &BrocastData::as_policy_port),
      Field("runing", &BrocastData::runing),
  };
  try {
    kFields.read(json, this);
  } catch (const std::exception& e) {
    LOG("e", "%s", ("exception: " + exception_text(e) + " parse error").c_str());
  }
}

std::string BrocastData::toJSON(int32_t session_timeout) const {
  JsonWriter w;
  w.begin_object()
      .member("teacher_id", teacher_id)
      .member("teacher_name", teacher_name)
      .member("class_id", class_id)
      .member("class_name", class_name)
      .member("grade_name", grade_name)
      .member("book_name", book_name)
      .member("chapter_name", chapter_name)
      .member("subject_name", subject_name)
      .member("course_hour", course_hour)
      .member("cache_addr", cache_addr)
      .member("cache_describe", cache_describe)
      .member("socket_ip", socket_ip)
      .member("socket_port", socket_port)
      .member("as_policy_port", as_policy_port)
      .member("timeout", session_timeout)
      .member("runing", runing)
      .end_object();
  return w.str();
}
