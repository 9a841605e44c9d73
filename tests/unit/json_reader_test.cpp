#include "JsonReader.h"

#include <gtest/gtest.h>

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

TEST(JsonReader, DuplicatesStayInOrderAndLookupFindsTheFirst) {
  JsonDocument doc;
  parse_json("{\"a\":1,\"b\":2,\"a\":3}", &doc);
  std::string names;
  for (auto m = doc.MemberBegin(); m != doc.MemberEnd(); ++m) names += json_name(m->name);
  EXPECT_EQ("aba", names);
  EXPECT_EQ(1, json_as_int(json_at(doc, "a")));
  EXPECT_THROW(json_at(doc, "missing"), std::out_of_range);
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
  EXPECT_THROW(json_as_int(json_at(doc, "bad")), std::invalid_argument);
  EXPECT_THROW(json_as_int(json_at(doc, "arr")), std::invalid_argument);
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
