#include "BrocastData.h"

#include <cstring>

#include "JsonReader.h"
#include "JsonWriter.h"
#include "Log.h"

BrocastData::BrocastData() {}

BrocastData::BrocastData(const std::string& json) : BrocastData() {
  struct IntField {
    const char* name;
    int32_t BrocastData::*field;
  };
  struct TextField {
    const char* name;
    std::string BrocastData::*field;
  };
  static const IntField kInts[] = {{"teacher_id", &BrocastData::teacher_id},
                                   {"class_id", &BrocastData::class_id},
                                   {"socket_port", &BrocastData::socket_port},
                                   {"as_policy_port", &BrocastData::as_policy_port},
                                   {"runing", &BrocastData::runing}};
  static const TextField kTexts[] = {{"teacher_name", &BrocastData::teacher_name},
                                     {"class_name", &BrocastData::class_name},
                                     {"grade_name", &BrocastData::grade_name},
                                     {"book_name", &BrocastData::book_name},
                                     {"chapter_name", &BrocastData::chapter_name},
                                     {"subject_name", &BrocastData::subject_name},
                                     {"course_hour", &BrocastData::course_hour},
                                     {"cache_addr", &BrocastData::cache_addr},
                                     {"cache_describe", &BrocastData::cache_describe},
                                     {"socket_ip", &BrocastData::socket_ip}};
  try {
    JsonDocument doc;
    parse_json(json, &doc);
    if (!doc.IsObject()) return;  // an array has no named members
    for (auto m = doc.MemberBegin(); m != doc.MemberEnd(); ++m) {
      std::string name = json_name(m->name);
      for (const IntField& f : kInts) {
        // A member of another type is converted (a text that is no number is 0).
        if (name == f.name) this->*f.field = static_cast<int32_t>(json_as_int(m->value));
      }
      for (const TextField& f : kTexts) {
        if (name == f.name) this->*f.field = json_as_text(m->value);
      }
    }
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
