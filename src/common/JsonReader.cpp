#include "JsonReader.h"

#include <cxxabi.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <typeinfo>

#include <json/json.h>

#include "JsonWriter.h"

namespace {

void jsoncpp_validate(const std::string& text) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  Json::Reader reader;
  Json::Value root;
  if (!reader.parse(text, root, true)) throw std::runtime_error(reader.getFormattedErrorMessages());
#pragma GCC diagnostic pop
  if (!root.isObject() && !root.isArray()) {
    throw std::runtime_error("(not JSON object nor JSON array)");
  }
}

std::string number_text(const JsonValue& v) {
  if (v.IsInt64()) return std::to_string(v.GetInt64());
  if (v.IsUint64()) return std::to_string(v.GetUint64());
  double d = v.GetDouble();
  char buf[40];
  snprintf(buf, sizeof(buf), "%.15g", d);
  if (strtod(buf, nullptr) != d) snprintf(buf, sizeof(buf), "%.17g", d);
  return buf;
}

void write_value(JsonWriter* w, const JsonValue& v) {
  switch (v.GetType()) {
    case rapidjson::kNullType: w->value_null(); break;
    case rapidjson::kFalseType: w->value_bool(false); break;
    case rapidjson::kTrueType: w->value_bool(true); break;
    case rapidjson::kStringType: w->value(std::string(v.GetString(), v.GetStringLength())); break;
    case rapidjson::kNumberType: w->raw(number_text(v)); break;
    case rapidjson::kObjectType:
      w->begin_object();
      for (auto m = v.MemberBegin(); m != v.MemberEnd(); ++m) {
        w->key(json_name(m->name));
        write_value(w, m->value);
      }
      w->end_object();
      break;
    case rapidjson::kArrayType:
      w->begin_array();
      for (auto e = v.Begin(); e != v.End(); ++e) write_value(w, *e);
      w->end_array();
      break;
  }
}

}  // namespace

void parse_json(const std::string& text, JsonDocument* doc) {
  jsoncpp_validate(text);
  rapidjson::GenericStringStream<ByteStringEncoding> stream(text.c_str());
  // Comments allowed and parsing stops after the root value, like jsoncpp.
  // A text with an embedded zero byte ends there for both readers.
  doc->ParseStream<rapidjson::kParseCommentsFlag | rapidjson::kParseStopWhenDoneFlag |
                       rapidjson::kParseFullPrecisionFlag,
                   ByteStringEncoding>(stream);
  if (doc->HasParseError()) {
    throw std::runtime_error("JSON text not accepted at offset " +
                             std::to_string(doc->GetErrorOffset()));
  }
}

const JsonValue& json_at(const JsonValue& object, const char* name) {
  if (!object.IsObject()) throw std::out_of_range(std::string("not an object: ") + name);
  size_t len = strlen(name);
  for (auto m = object.MemberBegin(); m != object.MemberEnd(); ++m) {
    if (m->name.GetStringLength() == len && memcmp(m->name.GetString(), name, len) == 0) {
      return m->value;
    }
  }
  throw std::out_of_range(std::string("no member ") + name);
}

int64_t json_as_int(const JsonValue& v) {
  if (v.IsInt64()) return v.GetInt64();
  if (v.IsUint64()) return static_cast<int64_t>(v.GetUint64());
  if (v.IsDouble()) {
    double d = v.GetDouble();
    if (std::isnan(d)) return 0;
    if (d >= 9.2e18) return INT64_MAX;
    if (d <= -9.2e18) return INT64_MIN;
    return static_cast<int64_t>(d);
  }
  if (v.IsBool()) return v.GetBool() ? 1 : 0;
  if (v.IsNull()) return 0;
  if (v.IsString()) {
    std::string s(v.GetString(), v.GetStringLength());
    char* end = nullptr;
    double d = strtod(s.c_str(), &end);
    if (end != s.c_str() && end != nullptr && *end == '\0' && !std::isnan(d)) {
      if (d >= 9.2e18) return INT64_MAX;
      if (d <= -9.2e18) return INT64_MIN;
      long long whole = strtoll(s.c_str(), &end, 10);
      return *end == '\0' ? whole : static_cast<int64_t>(d);
    }
    throw std::invalid_argument("not a number: " + s);
  }
  throw std::invalid_argument("not a number");
}

std::string json_as_text(const JsonValue& v) {
  switch (v.GetType()) {
    case rapidjson::kStringType: return std::string(v.GetString(), v.GetStringLength());
    case rapidjson::kNumberType: return number_text(v);
    case rapidjson::kTrueType: return "true";
    case rapidjson::kFalseType: return "false";
    case rapidjson::kNullType: return "";
    default: return json_write(v);
  }
}

std::string json_name(const JsonValue& name) {
  return std::string(name.GetString(), name.GetStringLength());
}

std::string json_write(const JsonValue& value) {
  JsonWriter w;
  write_value(&w, value);
  return w.str();
}

std::string exception_type_name(const std::exception& e) {
  const char* mangled = typeid(e).name();
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(
      abi::__cxa_demangle(mangled, nullptr, nullptr, &status), free);
  return (status == 0 && demangled) ? demangled.get() : mangled;
}

std::string exception_text(const std::exception& e) { return exception_type_name(e) + e.what(); }
