// The one way the system writes JSON: compact, members in the order they are
// written, integers as plain decimals, and strings escaped byte by byte:
// `"` `\` `/` as \" \\ \/, \b \t \n \f \r, every other byte below 0x20 or
// above 0x7E as \u00XX (upper-case hex, one escape per byte). Texts are byte
// strings, so a UTF-8 or GBK text round-trips through the reader unchanged.
#pragma once

#include <cstdint>
#include <string>

class JsonWriter {
 public:
  JsonWriter& begin_object();
  JsonWriter& end_object();
  JsonWriter& begin_array();
  JsonWriter& end_array();
  JsonWriter& key(const std::string& name);
  JsonWriter& value(const std::string& text);
  JsonWriter& value(const char* text) { return value(std::string(text)); }
  JsonWriter& value(int64_t number);
  JsonWriter& value(int number) { return value(static_cast<int64_t>(number)); }
  JsonWriter& value_bool(bool b);
  JsonWriter& value_null();
  // Appends already written JSON (a nested value) as it is.
  JsonWriter& raw(const std::string& json);

  // Shorthands for a member.
  template <typename T>
  JsonWriter& member(const std::string& name, const T& v) {
    key(name);
    return value(v);
  }

  const std::string& str() const { return out_; }

 private:
  void separate();

  std::string out_;
  bool need_comma_ = false;
};

// The escaped text with its quotes.
std::string json_quote(const std::string& text);
