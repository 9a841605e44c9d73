#include "JsonWriter.h"

#include <gtest/gtest.h>

#include <cmath>

#include "JsonReader.h"

TEST(JsonWriter, EnvelopeBytes) {
  JsonWriter w;
  w.begin_object().member("status", 1).member("msg", "ok").end_object();
  EXPECT_EQ("{\"status\":1,\"msg\":\"ok\"}", w.str());
}

TEST(JsonWriter, EscapesEveryByteOutsidePrintableAscii) {
  EXPECT_EQ("\"\\u00E4\\u00B8\\u00AD\"", json_quote("\xe4\xb8\xad"));  // one escape per byte
  EXPECT_EQ("\"http:\\/\\/a\\/b\"", json_quote("http://a/b"));
  EXPECT_EQ("\"\\\"\\\\\\b\\t\\n\\f\\r\\u0001\\u001F\\u007F ~\"",
            json_quote("\"\\\b\t\n\f\r\x01\x1f\x7f ~"));
  EXPECT_EQ("\"\\u0000\"", json_quote(std::string(1, '\0')));
}

TEST(JsonWriter, NestingArraysAndRawValues) {
  JsonWriter w;
  w.begin_object()
      .key("list").begin_array().value(1).value(-2).value("x").end_array()
      .key("obj").begin_object().member("a", int64_t(9007199254740993)).end_object()
      .key("raw").raw("{\"k\":[1]}")
      .key("flag").value_bool(true)
      .key("none").value_null()
      .end_object();
  EXPECT_EQ("{\"list\":[1,-2,\"x\"],\"obj\":{\"a\":9007199254740993},\"raw\":{\"k\":[1]},"
            "\"flag\":true,\"none\":null}",
            w.str());
}

TEST(JsonWriter, NonFiniteNumbersAreNeverWrittenAsNanOrInf) {
  EXPECT_EQ("null", json_number_text(std::nan("")));
  EXPECT_EQ("1.7976931348623157e+308", json_number_text(HUGE_VAL));
  EXPECT_EQ("-1.7976931348623157e+308", json_number_text(-HUGE_VAL));
  EXPECT_EQ("-0.0", json_number_text(-0.0));
  for (double d : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
    JsonWriter w;
    w.begin_array().value(d).end_array();
    JsonDocument doc;
    EXPECT_NO_THROW(parse_json(w.str(), &doc)) << w.str();
  }
}
