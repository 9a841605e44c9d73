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
  // See json_number_text.
  JsonWriter& value(double number);
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

// A double as JSON that reads back to the same value: the shortest of %.15g
// and %.17g that converts back exactly, "-0.0" for negative zero (so the
// sign survives a round trip), +-1.7976931348623157e+308 for the infinities
// and null for NaN; never "nan" or "inf", which no reader accepts.
std::string json_number_text(double number);

// The escaped text with its quotes.
std::string json_quote(const std::string& text);
