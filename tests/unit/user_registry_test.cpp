#include <gtest/gtest.h>

#include "Students.h"
#include "UserRegistry.h"

TEST(UserRegistry, AddReplacesWholeRecordsAndNestedObjectsStoreOnTheirOwn) {
  UserRegistry reg;
  EXPECT_EQ(-1, reg.get(7).user_id);
  EXPECT_EQ(-1, reg.get(7).class_id);
  reg.addFromJson("{\"user_id\":7,\"class_id\":3,\"user_mac\":\"AA\"}");
  reg.addFromJson("{\"user_id\":7,\"class_id\":4}");
  EXPECT_EQ(4, reg.get(7).class_id);
  EXPECT_EQ("", reg.get(7).user_mac);
  reg.addFromJson("{\"user_id\":1,\"x\":{\"user_id\":2}}");
  EXPECT_EQ(1, reg.get(1).user_id);
  EXPECT_EQ(2, reg.get(2).user_id);
  reg.addFromJson("{\"user_id\":9,\"group_id\":[3,7],\"instruct_id\":\"12x\",\"receipt_time\":\"55\"}");
  EXPECT_EQ("[3,7]", reg.get(9).group_id);
  EXPECT_EQ(12u, reg.get(9).instruct_id);
  EXPECT_EQ(55, reg.get(9).receipt_time);
  EXPECT_FALSE(reg.addFromJson("not json"));
  reg.addFromJson("{\"user_id\":10}");  // the lock was not left taken
  EXPECT_EQ(10, reg.get(10).user_id);
}

TEST(UserRegistry, UpdatesAndQueries) {
  UserRegistry reg;
  reg.update(student(5, 3, 1));
  EXPECT_EQ(-1, reg.get(5).user_id);  // update never inserts
  reg.addFromJson("{\"user_id\":5,\"class_id\":3}");
  reg.addFromJson("{\"user_id\":2,\"class_id\":3}");
  reg.addFromJson("{\"user_id\":9,\"class_id\":3}");
  reg.update(student(5, 3, 1));
  reg.update(student(2, 3, 1));
  std::vector<User> online = reg.onlineOfClass(3);
  ASSERT_EQ(2u, online.size());
  EXPECT_EQ(2, online[0].user_id);
  EXPECT_EQ(5, online[1].user_id);

  reg.setInstruction(2, "cmd", 100, 1000, 0);
  reg.setInstruction(5, "cmd", 100, 1000, -2);
  EXPECT_EQ(1u, reg.getUserGetInstruct(3, 100).size());
  reg.setReceipt(2, 100, "{head}", 2000);
  reg.setReceipt(9, 100, "{head}", 2000);
  reg.setInstruction(9, "cmd", 100, 1000, -1);
  std::vector<User> replied = reg.repliedTo(3, 100);
  ASSERT_EQ(1u, replied.size());
  EXPECT_EQ(2, replied[0].user_id);
  EXPECT_EQ("{head}", replied[0].last_receipt);
  // The lean queries the records and /userResponse use pick the same
  // students with the same times.
  EXPECT_EQ(2u, reg.onlineCount(3));
  std::vector<UserTimes> sent = reg.sentTimes(3, 100);
  ASSERT_EQ(2u, sent.size());  // 2 and 9; 5's send_times is -2
  EXPECT_EQ(2, sent[0].user_id);
  EXPECT_EQ(1000, sent[0].time);
  EXPECT_EQ(-1, sent[1].repeat);
  std::vector<UserTimes> receipts = reg.repliedTimes(3, 100);
  ASSERT_EQ(1u, receipts.size());
  EXPECT_EQ(2, receipts[0].user_id);
  EXPECT_EQ(2000, receipts[0].time);
  EXPECT_EQ(std::vector<int32_t>{2}, reg.repliedIds(3, 100));
  EXPECT_EQ(1, reg.get(2).is_online);  // the other fields were kept
  reg.delUserInfo(77);
  reg.delUserInfo(2);
  EXPECT_EQ(-1, reg.get(2).user_id);
}
