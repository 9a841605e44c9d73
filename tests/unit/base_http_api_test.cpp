#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "BaseHttpAPI.h"
#include "FakeRequest.h"

TEST(BaseHttpAPI, InfoComesFromTheQueryOrElseTheBody) {
  char buf[1024];
  FakeRequest body_only("/ping");
  body_only.withBody("info=%7B%7D");
  EXPECT_EQ(2, BaseHttpAPI::getInfo(body_only, buf, sizeof(buf)));
  EXPECT_STREQ("{}", buf);
  FakeRequest query_wins("/ping?a=1");
  query_wins.withBody("info=%7B%7D");
  EXPECT_LT(BaseHttpAPI::getInfo(query_wins, buf, sizeof(buf)), 1);
  FakeRequest plus("/ping?x=1&Info=a+b%2Fc");
  EXPECT_EQ(5, BaseHttpAPI::getInfo(plus, buf, sizeof(buf)));
  EXPECT_STREQ("a b/c", buf);
  FakeRequest too_long("/ping?info=" + std::string(1024, 'x'));
  EXPECT_LT(BaseHttpAPI::getInfo(too_long, buf, sizeof(buf)), 1);
  FakeRequest not_at_a_pair_start("/ping?xinfo=1");
  EXPECT_LT(BaseHttpAPI::getInfo(not_at_a_pair_start, buf, sizeof(buf)), 1);
}


TEST(BaseHttpAPI, ACaughtExceptionIsAnsweredWithItsTypeMessageAndContext) {
  FakeRequest request("/x");
  BaseHttpAPI::replyException(request, std::out_of_range("index 3"), " parse thing error",
                              HANDLER_SITE);
  EXPECT_EQ("{\"status\":0,\"msg\":\"exception: std::out_of_rangeindex 3 parse thing error\"}",
            request.replyBody());
  EXPECT_EQ("exception: std::bad_allocstd::bad_alloc",
            BaseHttpAPI::exceptionText(std::bad_alloc(), ""));
  FakeRequest logged("/x");
  BaseHttpAPI::replyFailLogged(logged, "no info", HANDLER_SITE);
  EXPECT_EQ("{\"status\":0,\"msg\":\"no info\"}", logged.replyBody());
}

TEST(BaseHttpAPI, ShortParamsNeedBothAndEndAtAZeroByte) {
  std::string a, b;
  FakeRequest both("/x?b=2&a=x%00y");
  EXPECT_TRUE(BaseHttpAPI::getShortParams(both, "a", &a, "b", &b));
  EXPECT_EQ("x", a);
  EXPECT_EQ("2", b);
  FakeRequest no_second("/x?a=1&b=");
  EXPECT_FALSE(BaseHttpAPI::getShortParams(no_second, "a", &a, "b", &b));
  FakeRequest too_long("/x?a=" + std::string(1023, 'a') + "&b=1");
  EXPECT_FALSE(BaseHttpAPI::getShortParams(too_long, "a", &a, "b", &b));
}
