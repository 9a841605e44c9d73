#include "JsonWriter.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>

std::string json_quote(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '/': out += "\\/"; break;
      case '\b': out += "\\b"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\f': out += "\\f"; break;
      case '\r': out += "\\r"; break;
      default:
        if (c < 0x20 || c > 0x7E) {
          out += "\\u00";
          out += kHex[c >> 4];
          out += kHex[c & 15];
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
  return out;
}

void JsonWriter::separate() {
  if (need_comma_) out_ += ',';
  need_comma_ = true;
}

JsonWriter& JsonWriter::begin_object() {
  separate();
  out_ += '{';
  need_comma_ = false;
  return *this;
}

JsonWriter& JsonWriter::end_object() {
  out_ += '}';
  need_comma_ = true;
  return *this;
}

JsonWriter& JsonWriter::begin_array() {
  separate();
  out_ += '[';
  need_comma_ = false;
  return *this;
}

JsonWriter& JsonWriter::end_array() {
  out_ += ']';
  need_comma_ = true;
  return *this;
}

JsonWriter& JsonWriter::key(const std::string& name) {
  separate();
  out_ += json_quote(name);
  out_ += ':';
  need_comma_ = false;
  return *this;
}

JsonWriter& JsonWriter::value(const std::string& text) {
  separate();
  out_ += json_quote(text);
  return *this;
}

JsonWriter& JsonWriter::value(int64_t number) {
  separate();
  char buf[32];
  snprintf(buf, sizeof(buf), "%lld", static_cast<long long>(number));
  out_ += buf;
  return *this;
}

std::string json_number_text(double number) {
  if (std::isnan(number)) return "null";
  if (std::isinf(number)) number = number > 0 ? DBL_MAX : -DBL_MAX;
  if (number == 0) return std::signbit(number) ? "-0.0" : "0";
  char buf[40];
  snprintf(buf, sizeof(buf), "%.15g", number);
  if (strtod(buf, nullptr) != number) snprintf(buf, sizeof(buf), "%.17g", number);
  return buf;
}

JsonWriter& JsonWriter::value(double number) {
  separate();
  out_ += json_number_text(number);
  return *this;
}

JsonWriter& JsonWriter::value_bool(bool b) {
  separate();
  out_ += b ? "true" : "false";
  return *this;
}

JsonWriter& JsonWriter::value_null() {
  separate();
  out_ += "null";
  return *this;
}

JsonWriter& JsonWriter::raw(const std::string& json) {
  separate();
  out_ += json;
  return *this;
}
