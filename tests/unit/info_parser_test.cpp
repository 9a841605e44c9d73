#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "FakeRequest.h"
#include "InfoParser.h"

namespace {

std::string member_a(HttpRequest& request, std::string* a, size_t buffer = kInfoBuffer) {
  return parse_info(
      request, [a](const JsonDocument& doc) { *a = json_as_text(json_at(doc, "a")); }, buffer);
}

}  // namespace

TEST(InfoParser, NoInfoParseErrorsAndReadErrorsEachHaveTheirText) {
  std::string a;
  FakeRequest none("/x");
  EXPECT_EQ(kNoInfo, member_a(none, &a));
  FakeRequest empty("/x?info=");
  EXPECT_EQ(kNoInfo, member_a(empty, &a));
  FakeRequest not_json("/x?info=nojson");
  std::string error = member_a(not_json, &a);
  EXPECT_EQ(0u, error.find("exception: std::runtime_error"));
  EXPECT_EQ(error.size() - 17, error.find(" parse info error"));
  FakeRequest missing("/x?info=%7B%7D");
  error = member_a(missing, &a);
  EXPECT_EQ(0u, error.find("exception: "));
  EXPECT_NE(std::string::npos, error.find(" parse info error"));
  FakeRequest good("/x?info=%7B%22a%22%3A%22b%22%7D");
  EXPECT_EQ("", member_a(good, &a));
  EXPECT_EQ("b", a);
  // Whatever the reader throws is a read error too.
  EXPECT_EQ("exception: std::logic_errorno parse info error",
            parse_info_text("{}", [](const JsonDocument&) { throw std::logic_error("no"); }));
}

TEST(InfoParser, TheBufferBoundsTheInfoAndAZeroByteEndsIt) {
  std::string a;
  // 1,023 bytes fit the usual buffer, 1,022 the short one.
  FakeRequest longest("/x?info=" + std::string(1023, ' ') + "1");
  EXPECT_EQ(kNoInfo, member_a(longest, &a));
  FakeRequest fits("/x?info=" + std::string(1022, ' ') + "1");
  EXPECT_NE(kNoInfo, member_a(fits, &a));
  EXPECT_EQ(kNoInfo, member_a(fits, &a, kShortInfoBuffer));
  FakeRequest short_fits("/x?info=" + std::string(1021, ' ') + "1");
  EXPECT_NE(kNoInfo, member_a(short_fits, &a, kShortInfoBuffer));
  FakeRequest wide("/x?info=" + std::string(2046, ' ') + "1");
  std::string info;
  EXPECT_TRUE(take_info(wide, 2 * kInfoBuffer, &info));
  EXPECT_EQ(2047u, info.size());

  FakeRequest zero("/x?info=%7B%7D%00garbage");
  EXPECT_TRUE(take_info(zero, kInfoBuffer, &info));
  EXPECT_EQ("{}", info);
}
