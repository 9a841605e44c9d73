#include "JsonReader.h"

#include <cxxabi.h>

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <typeinfo>
#include <vector>

#include <json/json.h>

#include "Mutex.h"

#include "JsonWriter.h"

static std::string number_text(const JsonValue& v);

namespace {

// The reader of Json::Reader with its settings (comments collected, no
// trailing commas, no strict root, no BOM skipping), plus a nesting limit
// that Json::Reader itself does not let us set.
Json::CharReader* new_validating_reader() {
  Json::CharReaderBuilder builder;
  builder["collectComments"] = true;
  builder["allowComments"] = true;
  builder["allowTrailingCommas"] = false;
  builder["strictRoot"] = false;
  builder["allowDroppedNullPlaceholders"] = false;
  builder["allowNumericKeys"] = false;
  builder["allowSingleQuotes"] = false;
  builder["failIfExtra"] = false;
  builder["rejectDupKeys"] = false;
  builder["allowSpecialFloats"] = false;
  builder["skipBom"] = false;
  // jsoncpp counts the innermost scalar as a level of its own.
  builder["stackLimit"] = kJsonMaxDepth + 1;
  return builder.newCharReader();
}

// Readers made once and lent out one parse at a time: making one (its
// settings and stacks) cost more than the parse of a short text, and a
// session reads a short head with every frame. A reader keeps no state from
// one parse to the next. The pool grows to the number of parses that ran
// at the same time and is never freed.
class ReaderLoan {
 public:
  ReaderLoan() {
    {
      MutexGuard guard(&lock());
      if (!idle().empty()) {
        reader_ = idle().back();
        idle().pop_back();
      }
    }
    if (reader_ == nullptr) reader_ = new_validating_reader();
  }
  ~ReaderLoan() {
    MutexGuard guard(&lock());
    try {
      idle().push_back(reader_);
    } catch (const std::bad_alloc&) {
      delete reader_;
    }
  }
  ReaderLoan(const ReaderLoan&) = delete;
  ReaderLoan& operator=(const ReaderLoan&) = delete;
  Json::CharReader* operator->() const { return reader_; }

 private:
  // Never destroyed: a thread may still parse while the process exits.
  static Mutex& lock() {
    static Mutex* mutex = new Mutex;
    return *mutex;
  }
  static std::vector<Json::CharReader*>& idle() {
    static std::vector<Json::CharReader*>* readers = new std::vector<Json::CharReader*>;
    return *readers;
  }

  Json::CharReader* reader_ = nullptr;
};

void jsoncpp_validate(const std::string& text) {
  ReaderLoan reader;
  Json::Value root;
  std::string errors;
  bool ok = false;
  try {
    ok = reader->parse(text.data(), text.data() + text.size(), &root, &errors);
  } catch (const Json::Exception&) {
    // The only exception the reader throws is for its stack limit.
    throw std::runtime_error("JSON nested deeper than " + std::to_string(kJsonMaxDepth) + " levels");
  }
  if (!ok) throw std::runtime_error(errors);
  if (!root.isObject() && !root.isArray()) {
    throw std::runtime_error("(not JSON object nor JSON array)");
  }
}

// A number's text as RapidJSON found it (valid JSON number syntax).
bool integer_syntax(const char* text) { return strpbrk(text, ".eE") == nullptr; }

// Builds the document from RapidJSON's events: numbers arrive as their texts
// and are converted here, and nesting is counted before each level.
class DocumentBuilder {
 public:
  explicit DocumentBuilder(JsonDocument* doc) : doc_(doc) {}

  bool Null() { return doc_->Null(); }
  bool Bool(bool b) { return doc_->Bool(b); }
  bool Int(int i) { return doc_->Int(i); }
  bool Uint(unsigned u) { return doc_->Uint(u); }
  bool Int64(int64_t i) { return doc_->Int64(i); }
  bool Uint64(uint64_t u) { return doc_->Uint64(u); }
  bool Double(double d) { return doc_->Double(d); }
  bool RawNumber(const char* text, rapidjson::SizeType, bool) {
    if (integer_syntax(text)) {
      errno = 0;
      char* end = nullptr;
      if (text[0] == '-') {
        long long i = strtoll(text, &end, 10);
        if (errno == 0 && i != 0) return doc_->Int64(i);
      } else {
        unsigned long long u = strtoull(text, &end, 10);
        if (errno == 0) return doc_->Uint64(u);
      }
    }
    double d = strtod(text, nullptr);
    if (std::isinf(d)) d = d > 0 ? DBL_MAX : -DBL_MAX;
    return doc_->Double(d);
  }
  bool String(const char* s, rapidjson::SizeType n, bool copy) { return doc_->String(s, n, copy); }
  bool StartObject() { return deeper() && doc_->StartObject(); }
  bool Key(const char* s, rapidjson::SizeType n, bool copy) { return doc_->Key(s, n, copy); }
  bool EndObject(rapidjson::SizeType n) {
    --depth_;
    return doc_->EndObject(n);
  }
  bool StartArray() { return deeper() && doc_->StartArray(); }
  bool EndArray(rapidjson::SizeType n) {
    --depth_;
    return doc_->EndArray(n);
  }

  bool too_deep() const { return depth_ > kJsonMaxDepth; }

 private:
  bool deeper() { return ++depth_ <= kJsonMaxDepth; }

  JsonDocument* doc_;
  int depth_ = 0;
};

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

// Cuts a double toward zero into the 64-bit range; NaN is 0.
int64_t double_to_int(double d) {
  if (std::isnan(d)) return 0;
  if (d >= 9223372036854775807.0) return INT64_MAX;
  if (d <= -9223372036854775808.0) return INT64_MIN;
  return static_cast<int64_t>(d);
}

// Whether a whole text is a decimal number: [+-] digits [. digits] [e [+-] digits],
// with digits on at least one side of the point.
bool decimal_syntax(const std::string& s) {
  size_t i = 0, n = s.size();
  auto digits = [&] {
    size_t from = i;
    while (i < n && s[i] >= '0' && s[i] <= '9') ++i;
    return i - from;
  };
  if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
  size_t whole = digits();
  size_t fraction = 0;
  if (i < n && s[i] == '.') {
    ++i;
    fraction = digits();
  }
  if (whole + fraction == 0) return false;
  if (i < n && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
    if (digits() == 0) return false;
  }
  return i == n;
}

int64_t text_to_int(const std::string& s) {
  if (!decimal_syntax(s)) return 0;
  if (s.find_first_of(".eE") == std::string::npos) {
    errno = 0;
    long long i = strtoll(s.c_str(), nullptr, 10);
    if (errno == 0) return i;
  }
  return double_to_int(strtod(s.c_str(), nullptr));
}

// The text with every number that has a fraction or an exponent written
// again in the shortest form that reads back to the same double ("%.17e"),
// strings and comments left as they are. RapidJSON refuses some numbers
// jsoncpp reads, such as 1 followed by 400 zeros and e-300 (1e100): it
// gives up when the digits before the point alone pass the double range.
// Rewritten, they read as the same value jsoncpp read. Integers are left as
// they are: one past the double range is refused by jsoncpp already.
std::string with_numbers_shortened(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0, n = text.size();
  while (i < n) {
    char c = text[i];
    if (c == '"') {
      size_t j = i + 1;
      while (j < n && text[j] != '"') j += text[j] == '\\' ? 2 : 1;
      j = std::min(j + 1, n);
      out.append(text, i, j - i);
      i = j;
    } else if (c == '/' && i + 1 < n && (text[i + 1] == '/' || text[i + 1] == '*')) {
      bool line = text[i + 1] == '/';
      size_t end = line ? text.find('\n', i + 2) : text.find("*/", i + 2);
      size_t j = end == std::string::npos ? n : end + (line ? 1 : 2);
      out.append(text, i, j - i);
      i = j;
    } else if (c == '-' || (c >= '0' && c <= '9')) {
      size_t j = i;
      while (j < n && strchr("0123456789+-.eE", text[j]) != nullptr && text[j] != '\0') ++j;
      std::string number = text.substr(i, j - i);
      if (integer_syntax(number.c_str())) {
        out += number;
      } else {
        char buf[40];
        snprintf(buf, sizeof(buf), "%.17e", strtod(number.c_str(), nullptr));
        out += buf;
      }
      i = j;
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}

}  // namespace

static std::string number_text(const JsonValue& v) {
  if (v.IsInt64()) return std::to_string(v.GetInt64());
  if (v.IsUint64()) return std::to_string(v.GetUint64());
  return json_number_text(v.GetDouble());
}

namespace {

struct PlainScan {
  const char* p;
  const char* end;

  void blanks() {
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r')) ++p;
  }
  bool take(char c) {
    blanks();
    if (p == end || *p != c) return false;
    ++p;
    return true;
  }
  bool string() {
    if (!take('"')) return false;
    while (p < end && *p != '"') {
      if (*p < 0x20 || *p > 0x7E || *p == '\\') return false;
      ++p;
    }
    return take('"');
  }
  bool integer() {
    blanks();
    if (p < end && *p == '-') ++p;
    const char* digits = p;
    while (p < end && *p >= '0' && *p <= '9') ++p;
    size_t n = static_cast<size_t>(p - digits);
    return n >= 1 && n <= 15 && !(n > 1 && *digits == '0');
  }
  bool value() {
    blanks();
    return p < end && *p == '"' ? string() : integer();
  }
};

}  // namespace

bool json_plainly_valid(const std::string& text) {
  PlainScan scan{text.data(), text.data() + text.size()};
  if (!scan.take('{')) return false;
  scan.blanks();
  if (scan.p < scan.end && *scan.p != '}') {
    do {
      if (!scan.string() || !scan.take(':') || !scan.value()) return false;
    } while (scan.take(','));
  }
  if (!scan.take('}')) return false;
  scan.blanks();
  return scan.p == scan.end;
}

void json_validate(const std::string& text) { jsoncpp_validate(text); }

void parse_json(const std::string& text, JsonDocument* doc) {
  // jsoncpp builds a whole tree of its own to judge a text; a plain one it
  // accepts is spared that (see json_plainly_valid).
  if (!json_plainly_valid(text)) jsoncpp_validate(text);
  // Comments allowed and parsing stops after the root value, like jsoncpp.
  // A text with an embedded zero byte ends there for RapidJSON; jsoncpp has
  // already judged the whole text. Numbers come as texts: RapidJSON 1.1.0's
  // own conversion reads outside a table for some inputs.
  rapidjson::GenericReader<ByteStringEncoding, ByteStringEncoding> reader;
  DocumentBuilder builder(doc);
  const std::string* input = &text;
  auto generate = [&](JsonDocument&) {
    rapidjson::GenericStringStream<ByteStringEncoding> stream(input->c_str());
    return !reader
                .Parse<rapidjson::kParseCommentsFlag | rapidjson::kParseStopWhenDoneFlag |
                       rapidjson::kParseNumbersAsStringsFlag>(stream, builder)
                .IsError();
  };
  doc->Populate(generate);
  // A number jsoncpp read but RapidJSON found too big: once more with the
  // numbers written in a form both read the same (rare, so the text is
  // rewritten only then).
  std::string shortened;
  if (reader.HasParseError() && reader.GetParseErrorCode() == rapidjson::kParseErrorNumberTooBig &&
      !builder.too_deep()) {
    shortened = with_numbers_shortened(text);
    input = &shortened;
    builder = DocumentBuilder(doc);
    doc->Populate(generate);
  }
  if (builder.too_deep()) {
    throw std::runtime_error("JSON nested deeper than " + std::to_string(kJsonMaxDepth) + " levels");
  }
  if (reader.HasParseError()) {
    throw std::runtime_error("JSON text not accepted at offset " +
                             std::to_string(reader.GetErrorOffset()));
  }
}

const JsonValue& json_at(const JsonValue& object, const char* name) {
  if (!object.IsObject()) throw std::out_of_range("");
  size_t len = strlen(name);
  for (auto m = object.MemberBegin(); m != object.MemberEnd(); ++m) {
    if (m->name.GetStringLength() == len && memcmp(m->name.GetString(), name, len) == 0) {
      return m->value;
    }
  }
  throw std::out_of_range("");
}

int64_t json_as_int(const JsonValue& v) {
  if (v.IsInt64()) return v.GetInt64();
  if (v.IsUint64()) return v.GetUint64() > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX
                                                                           : static_cast<int64_t>(v.GetUint64());
  if (v.IsDouble()) return double_to_int(v.GetDouble());
  if (v.IsBool()) return v.GetBool() ? 1 : 0;
  if (v.IsString()) return text_to_int(std::string(v.GetString(), v.GetStringLength()));
  return 0;
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
