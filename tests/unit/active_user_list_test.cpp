#include <gtest/gtest.h>

#include "APIActiveUserList.h"
#include "FakeRequest.h"
#include "UserRegistry.h"

namespace {

std::string ask(UserRegistry& users, const std::string& info_query) {
  APIActiveUserList api(users);
  FakeRequest request("/activeUserList?info=" + info_query);
  api.onHandleEvent(request);
  return request.replyBody();
}

}  // namespace

TEST(APIActiveUserList, DetailAddsTheStudentsAndLeavesThePlainReplyAsItWas) {
  UserRegistry users;
  users.addFromJson(
      "{\"user_id\":7702,\"user_name\":\"<b>Li</b>\",\"group_id\":\"[2]\",\"class_id\":77,"
      "\"mtype\":\"pad\",\"user_ip\":\"10.0.0.2\",\"log_time\":\"t1\",\"is_online\":1}");
  users.addFromJson("{\"user_id\":7701,\"user_name\":\"\xe6\x9d\x8e\",\"class_id\":77,\"is_online\":1}");
  users.addFromJson("{\"user_id\":7703,\"user_name\":\"gone\",\"class_id\":77,\"is_online\":0}");

  const std::string plain = "{\"status\":1,\"msg\":\"ok\",\"recordset\":{\"onlines\":2,\"users\":[7701,7702]}}";
  EXPECT_EQ(plain, ask(users, "%7B%22class_id%22%3A77%7D"));
  EXPECT_EQ(plain, ask(users, "%7B%22class_id%22%3A77%2C%22detail%22%3A0%7D"));
  EXPECT_EQ(plain, ask(users, "%7B%22class_id%22%3A77%2C%22detail%22%3A%5B%5D%7D"));  // not a number

  EXPECT_EQ(
      "{\"status\":1,\"msg\":\"ok\",\"recordset\":{\"onlines\":2,\"users\":[7701,7702],\"students\":["
      "{\"user_id\":7701,\"user_name\":\"\\u00E6\\u009D\\u008E\",\"group_id\":\"\",\"mtype\":\"\","
      "\"user_ip\":\"\",\"log_time\":\"\"},"
      "{\"user_id\":7702,\"user_name\":\"<b>Li<\\/b>\",\"group_id\":\"[2]\",\"mtype\":\"pad\","
      "\"user_ip\":\"10.0.0.2\",\"log_time\":\"t1\"}]}}",
      ask(users, "%7B%22class_id%22%3A77%2C%22detail%22%3A1%7D"));
}
