// Reading JSON. Every JSON text the system takes in goes through parse_json:
// jsoncpp's reader decides whether the text is acceptable (its error messages
// are the ones reported), then the text is parsed into a RapidJSON document.
//
// Texts are byte strings. The document's encoding keeps raw bytes untouched
// (a GBK text from a Windows client survives), turns \u0000-\u00FF escapes
// into that single byte (the inverse of JsonWriter, so a stored text survives
// any number of round trips byte for byte) and other \u escapes into UTF-8.
// Object members keep their document order, duplicates included, so an
// in-order walk lets a later member overwrite an earlier one.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include <rapidjson/document.h>

// One byte is one code unit; see above.
struct ByteStringEncoding {
  typedef char Ch;
  enum { supportUnicode = 1 };

  template <typename OutputStream>
  static void Encode(OutputStream& os, unsigned codepoint) {
    if (codepoint <= 0xFF) {
      os.Put(static_cast<Ch>(codepoint));
    } else {
      rapidjson::UTF8<char>::Encode(os, codepoint);
    }
  }

  template <typename OutputStream>
  static void EncodeUnsafe(OutputStream& os, unsigned codepoint) {
    Encode(os, codepoint);
  }

  template <typename InputStream>
  static bool Decode(InputStream& is, unsigned* codepoint) {
    *codepoint = static_cast<unsigned char>(is.Take());
    return true;
  }

  template <typename InputStream, typename OutputStream>
  static bool Validate(InputStream& is, OutputStream& os) {
    os.Put(is.Take());
    return true;
  }
};

typedef rapidjson::GenericDocument<ByteStringEncoding> JsonDocument;
typedef JsonDocument::ValueType JsonValue;

// Deepest nesting of objects and arrays parse_json accepts. Both readers
// recurse once per level and HTTP worker threads have small stacks; the
// limit is checked before either of them goes a level deeper.
constexpr int kJsonMaxDepth = 64;

// Parses an object or array. Throws std::runtime_error with jsoncpp's
// formatted messages for invalid JSON, or "(not JSON object nor JSON array)",
// or a message naming the limit for nesting deeper than kJsonMaxDepth.
//
// Numbers: an integer that fits a 64-bit signed (or, when positive, unsigned)
// value is kept exactly; any other number (fractions, exponents, bigger
// integers, and "-0", so that its sign survives) becomes the nearest double,
// converted by strtod. Nothing that parses crashes or gives an unspecified
// value. jsoncpp's rule decides for numbers too: numbers it refuses (such as
// 1e400) fail the parse, and every number it reads is read (1 followed by
// 400 zeros and e-300 is 1e100).
void parse_json(const std::string& text, JsonDocument* doc);

// The two halves of parse_json's decision, for the fuzz targets and tests.
// json_plainly_valid: true only for a one-level object of members whose
// names and values are printable ASCII strings without escapes or integers
// of at most 15 digits (JSON white space allowed between tokens), such as a
// tablet's frame head. jsoncpp accepts every such text, so parse_json does
// not ask it; any other text is judged by json_validate, jsoncpp's reader
// with parse_json's settings (throws as parse_json does).
bool json_plainly_valid(const std::string& text);
void json_validate(const std::string& text);

// The member `name` of an object. Throws std::out_of_range with an empty
// message (callers log the type name and a suffix of their own) when the
// value is not an object or has no such member; with duplicates, the first.
const JsonValue& json_at(const JsonValue& object, const char* name);

// A value as an integer, never failing: numbers (fractions cut toward zero,
// beyond the 64-bit range the nearest end of it), texts written as a decimal
// number (optional sign, digits, optional fraction and exponent) by the same
// rule, any other text 0, booleans 0/1, null, objects and arrays 0.
int64_t json_as_int(const JsonValue& value);

// A value as text: a string's bytes, a number's decimal text, "true" or
// "false", "" for null, and an object's or array's compact JSON text.
std::string json_as_text(const JsonValue& value);

// A member's name as text.
std::string json_name(const JsonValue& name);

// Compact JSON text of a value, written by JsonWriter's rules.
std::string json_write(const JsonValue& value);

// "<demangled type name><message>" of an exception, as handlers log it.
std::string exception_text(const std::exception& e);
// The demangled type name alone ("std::runtime_error").
std::string exception_type_name(const std::exception& e);
