#include "JsonReader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "JsonWriter.h"

namespace {

std::string round_trip(const std::string& bytes) {
  JsonWriter w;
  w.begin_object().member("t", bytes).end_object();
  JsonDocument doc;
  parse_json(w.str(), &doc);
  return json_as_text(json_at(doc, "t"));
}

std::string error_of(const std::string& text) {
  try {
    JsonDocument doc;
    parse_json(text, &doc);
  } catch (const std::exception& e) {
    return exception_text(e);
  }
  return "";
}

}  // namespace

TEST(JsonReader, AnyByteStringSurvivesWriteAndRead) {
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  EXPECT_EQ(all, round_trip(all));
  EXPECT_EQ(all, round_trip(round_trip(all)));
  // A UTF-8 text written as one escape per byte reads back as the same bytes.
  EXPECT_EQ("\xe4\xb8\xad\xe6\x96\x87", round_trip("\xe4\xb8\xad\xe6\x96\x87"));
}

TEST(JsonReader, RawBytesPassAndEscapesAboveLatin1BecomeUtf8) {
  JsonDocument doc;
  // "\xd6\xd0\xce\xc4" is GBK as a Windows client sends it, unescaped.
  parse_json("{\"gbk\":\"\xd6\xd0\xce\xc4\",\"u\":\"\\u4e2d\",\"b\":\"\\u00C3\\u00A9\"}", &doc);
  EXPECT_EQ("\xd6\xd0\xce\xc4", json_as_text(json_at(doc, "gbk")));
  EXPECT_EQ("\xe4\xb8\xad", json_as_text(json_at(doc, "u")));
  EXPECT_EQ("\xc3\xa9", json_as_text(json_at(doc, "b")));  // two bytes, not four
}

TEST(JsonReader, ErrorsComeFromJsoncpp) {
  EXPECT_EQ("std::runtime_error(not JSON object nor JSON array)", error_of("42"));
  EXPECT_EQ("std::runtime_error(not JSON object nor JSON array)", error_of("\"text\""));
  std::string bad = error_of("{bad");
  EXPECT_EQ(0u, bad.find("std::runtime_error* Line 1, Column 2"));
  EXPECT_NE("", error_of(""));
}

TEST(JsonReader, AcceptsWhatJsoncppAccepts) {
  JsonDocument doc;
  parse_json("// comment\n{\"a\":1 /* c */} trailing text", &doc);
  EXPECT_EQ(1, json_as_int(json_at(doc, "a")));
  parse_json("[1,2]", &doc);
  EXPECT_TRUE(doc.IsArray());
}

// Texts parse_json takes without asking jsoncpp must be ones jsoncpp
// accepts, and near misses must still get jsoncpp's verdict and message.
TEST(JsonReader, OnlyPlainTextsSkipJsoncpp) {
  const char* plain[] = {
      "{}", " { } \r\n",
      "{\"protocol\":\"tessera\",\"content-length\":12,\"type\":-3,\"instruct_id\":\"7\"}",
      "{ \"a\" : \"x/y\" ,\t\"a\":0, \"b\":999999999999999 }",
  };
  for (const char* text : plain) {
    EXPECT_TRUE(json_plainly_valid(text)) << text;
    EXPECT_NO_THROW(json_validate(text)) << text;
    EXPECT_EQ("", error_of(text)) << text;
  }
  const char* not_plain[] = {
      "{\"a\":01}", "{\"a\":1,}", "{\"a\":-}", "{\"a\":1 2}", "{\"a\" 1}", "{\"a\":1",
      "{\"a\":1}x", "{a:1}", "{\"a\":1.5}", "{\"a\":1e3}", "{\"a\":1234567890123456}",
      "{\"a\":\"\\n\"}", "{\"a\":\"\xd6\xd0\"}", "{\"a\":\"\x01\"}", "{\"a\":{}}", "{\"a\":true}",
      "[1]", "{\"a\":1}// c", "",
  };
  for (const char* text : not_plain) {
    EXPECT_FALSE(json_plainly_valid(text)) << text;
    std::string jsoncpp_verdict;
    try {
      json_validate(text);
    } catch (const std::exception& e) {
      jsoncpp_verdict = exception_text(e);
    }
    if (!jsoncpp_verdict.empty()) {
      EXPECT_EQ(jsoncpp_verdict, error_of(text)) << text;
    }
  }
}

TEST(JsonReader, DuplicatesStayInOrderAndLookupFindsTheFirst) {
  JsonDocument doc;
  parse_json("{\"a\":1,\"b\":2,\"a\":3}", &doc);
  std::string names;
  for (auto m = doc.MemberBegin(); m != doc.MemberEnd(); ++m) names += json_name(m->name);
  EXPECT_EQ("aba", names);
  EXPECT_EQ(1, json_as_int(json_at(doc, "a")));
  EXPECT_THROW(json_at(doc, "missing"), std::out_of_range);
  try {
    json_at(doc, "missing");
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ("", e.what());  // callers add their own suffix
  }
  EXPECT_THROW(json_at(json_at(doc, "a"), "x"), std::out_of_range);
  EXPECT_EQ("{\"a\":1,\"b\":2,\"a\":3}", json_write(doc));
}

TEST(JsonReader, Conversions) {
  JsonDocument doc;
  parse_json(
      "{\"n\":12,\"neg\":-3,\"f\":2.75,\"s\":\"42\",\"bad\":\"x1\",\"t\":true,\"z\":null,"
      "\"arr\":[3, 7],\"big\":18446744073709551615,\"url\":\"a/b\"}",
      &doc);
  EXPECT_EQ(12, json_as_int(json_at(doc, "n")));
  EXPECT_EQ(-3, json_as_int(json_at(doc, "neg")));
  EXPECT_EQ(2, json_as_int(json_at(doc, "f")));
  EXPECT_EQ(42, json_as_int(json_at(doc, "s")));
  EXPECT_EQ(0, json_as_int(json_at(doc, "bad")));
  EXPECT_EQ(0, json_as_int(json_at(doc, "arr")));
  EXPECT_EQ(0, json_as_int(json_at(doc, "z")));
  EXPECT_EQ(INT64_MAX, json_as_int(json_at(doc, "big")));
  EXPECT_EQ(1, json_as_int(json_at(doc, "t")));
  EXPECT_EQ("12", json_as_text(json_at(doc, "n")));
  EXPECT_EQ("2.75", json_as_text(json_at(doc, "f")));
  EXPECT_EQ("true", json_as_text(json_at(doc, "t")));
  EXPECT_EQ("", json_as_text(json_at(doc, "z")));
  EXPECT_EQ("[3,7]", json_as_text(json_at(doc, "arr")));
  EXPECT_EQ("18446744073709551615", json_as_text(json_at(doc, "big")));
  EXPECT_EQ("{\"x\":\"a\\/b\"}",
            [&] {
              JsonWriter w;
              w.begin_object().key("x").raw(json_write(json_at(doc, "url"))).end_object();
              return w.str();
            }());
}

namespace {

int64_t int_of_text(const std::string& text) {
  JsonDocument doc;
  JsonWriter w;
  w.begin_array().value(text).end_array();
  parse_json(w.str(), &doc);
  return json_as_int(doc[0]);
}

std::string rewritten(const std::string& text) {
  JsonDocument doc;
  parse_json(text, &doc);
  return json_write(doc);
}

}  // namespace

TEST(JsonReader, TextsConvertToNumbersOnlyWhenTheyAreDecimalNumbers) {
  EXPECT_EQ(42, int_of_text("42"));
  EXPECT_EQ(-7, int_of_text("-7"));
  EXPECT_EQ(3, int_of_text("+3.9"));
  EXPECT_EQ(-3, int_of_text("-3.9"));
  EXPECT_EQ(1500, int_of_text("1.5e3"));
  EXPECT_EQ(0, int_of_text(".5"));
  EXPECT_EQ(5, int_of_text("5."));
  EXPECT_EQ(INT64_MAX, int_of_text("1e300"));
  EXPECT_EQ(INT64_MIN, int_of_text("-99999999999999999999"));
  EXPECT_EQ(9007199254740993, int_of_text("9007199254740993"));  // exact, not via a double
  EXPECT_EQ(0, int_of_text("0e99999"));
  for (const char* not_number : {"", "abc", "12abc", " 12", "0x1A", "inf", "nan", "1e", "-", ".", "1e+"}) {
    EXPECT_EQ(0, int_of_text(not_number)) << not_number;
  }
}

TEST(JsonReader, NumbersThatOnceCrashedOrCameBackAsGarbage) {
  JsonDocument doc;
  parse_json("[0.970368547758075e-334, 0e50, 0.0e308, -0e10, 1e-400, 4.9e-324, 2.2250738585072011e-308]", &doc);
  ASSERT_EQ(7u, doc.Size());
  EXPECT_EQ(0.0, doc[0].GetDouble());
  EXPECT_EQ(0.0, doc[1].GetDouble());
  EXPECT_EQ(0.0, doc[2].GetDouble());
  EXPECT_TRUE(doc[3].IsDouble() && std::signbit(doc[3].GetDouble()));
  EXPECT_EQ(0.0, doc[4].GetDouble());
  EXPECT_EQ(4.9e-324, doc[5].GetDouble());
  EXPECT_EQ(2.2250738585072011e-308, doc[6].GetDouble());
  // Correctly rounded, so a written number reads back to the same double.
  parse_json("[0.1, 1.7976931348623157e308, 123456789.123456789, 5e-324]", &doc);
  EXPECT_EQ(0.1, doc[0].GetDouble());
  EXPECT_EQ(1.7976931348623157e308, doc[1].GetDouble());
  EXPECT_EQ(123456789.123456789, doc[2].GetDouble());
  // jsoncpp refuses numbers beyond the double range: a parse error, not inf.
  EXPECT_THROW(parse_json("[1e400]", &doc), std::runtime_error);
}

TEST(JsonReader, NumbersJsoncppReadsAreReadWithTheSameValue) {
  // jsoncpp reads these; RapidJSON alone gave up on the digits before the
  // exponent brings them back into range.
  std::string zeros(400, '0');
  JsonDocument doc;
  parse_json("[1" + zeros + "e-300, -1" + zeros + ".5e-310, 2" + std::string(309, '0') + "E-5, 7]", &doc);
  ASSERT_EQ(4u, doc.Size());
  EXPECT_EQ(1e100, doc[0].GetDouble());
  EXPECT_EQ(-1e90, doc[1].GetDouble());
  EXPECT_EQ(2e304, doc[2].GetDouble());
  EXPECT_EQ(7u, doc[3].GetUint64());
  // Strings, comments and exact integers beside such a number are untouched.
  parse_json("{\"a\":\"1.50\", /* 0.10 */ \"b\":1" + zeros + "e-399, \"c\":18446744073709551615, \"d\":-0.0}", &doc);
  EXPECT_EQ("1.50", json_as_text(json_at(doc, "a")));
  EXPECT_EQ(10.0, json_at(doc, "b").GetDouble());
  EXPECT_EQ(18446744073709551615ull, json_at(doc, "c").GetUint64());
  EXPECT_TRUE(std::signbit(json_at(doc, "d").GetDouble()));
  // What jsoncpp refuses stays refused, with its message.
  EXPECT_EQ(0u, error_of("[1" + zeros + "]").find("std::runtime_error* Line 1, Column 2"));
  EXPECT_EQ(0u, error_of("[1" + zeros + "e-50]").find("std::runtime_error* Line 1, Column 2"));
}

TEST(JsonReader, NumbersWriteBackToTextsThatReadTheSame) {
  EXPECT_EQ("[-0.0,-0.0,0,-0.0]", rewritten("[-0, -0.0, 0e5, -0e-5]"));
  EXPECT_EQ("[-0.0]", rewritten(rewritten("[-0]")));
  EXPECT_EQ("[1,1e+20,0.1,-9223372036854775808,18446744073709551615,1.8446744073709552e+19]",
            rewritten("[1.0, 1e20, 0.1, -9223372036854775808, 18446744073709551615, 18446744073709551616]"));
  // 15 digits are enough for the smallest subnormal to read back.
  EXPECT_EQ("[4.94065645841247e-324]", rewritten("[5e-324]"));
  EXPECT_EQ("[4.94065645841247e-324]", rewritten(rewritten("[5e-324]")));
  EXPECT_EQ("[0.30000000000000004]", rewritten("[0.30000000000000004]"));
}

TEST(JsonReader, NestingBeyondTheLimitIsAParseError) {
  JsonDocument doc;
  std::string deepest = std::string(kJsonMaxDepth, '[') + std::string(kJsonMaxDepth, ']');
  EXPECT_NO_THROW(parse_json(deepest, &doc));
  std::string objects;
  for (int i = 0; i < kJsonMaxDepth; ++i) objects += "{\"a\":";
  objects += "1" + std::string(kJsonMaxDepth, '}');
  EXPECT_NO_THROW(parse_json(objects, &doc));
  for (int depth : {kJsonMaxDepth + 1, 250, 100000}) {
    std::string deep = std::string(depth, '[') + std::string(depth, ']');
    EXPECT_THROW(parse_json(deep, &doc), std::runtime_error) << depth;
    // Unclosed, and behind a comment that hides nothing.
    EXPECT_THROW(parse_json("/*[*/" + std::string(depth, '['), &doc), std::runtime_error) << depth;
  }
  EXPECT_EQ("std::runtime_errorJSON nested deeper than 64 levels", error_of(std::string(300, '[')));
}
