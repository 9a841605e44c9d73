#include "WireProtocol.h"

#include <gtest/gtest.h>

#include "Net.h"
#include "Thread.h"

namespace {

// A connected pair of loopback sockets: the test writes on `peer`, the code
// under test reads on `server`.
class WireTest : public ::testing::Test {
 protected:
  void SetUp() override {
    net_startup(2, 2);
    for (port_ = 42100; port_ < 42200; ++port_) {
      listener_ = open_tcp_listener("127.0.0.1", port_, 1);
      if (listener_ != kInvalidSocket) break;
    }
    ASSERT_NE(kInvalidSocket, listener_);
    peer_ = net_tcp_socket();
    ASSERT_EQ(0, net_connect(peer_, "127.0.0.1", port_));
    server_ = net_accept(listener_, nullptr, nullptr);
    ASSERT_NE(kInvalidSocket, server_);
  }
  void TearDown() override {
    close_socket(peer_);
    close_socket(server_);
    close_socket(listener_);
  }
  void put(const std::string& bytes) { ASSERT_EQ(static_cast<int>(bytes.size()), send_all(peer_, bytes.data(), static_cast<int>(bytes.size()))); }
  // Reads until a frame is taken or about two seconds passed.
  int take(Message* m) {
    for (int i = 0; i < 200; ++i) {
      int rc = read_message(server_, m, &pending_);
      if (rc != 0) return rc;
    }
    return 0;
  }

  sock_t listener_ = kInvalidSocket, peer_ = kInvalidSocket, server_ = kInvalidSocket;
  int port_ = 0;
  std::string pending_;
};

std::string frame(int type, const std::string& body = "", const std::string& id = "0") {
  return "{\"protocol\":\"tessera\",\"version\":\"1.0\",\"content-type\":\"text/plain\",\"content-length\":" +
         std::to_string(body.size()) + ",\"type\":" + std::to_string(type) + ",\"instruct_id\":\"" + id + "\"}\n" + body;
}

}  // namespace

TEST(WireFrames, HeadsAreWrittenByteForByte) {
  EXPECT_EQ(
      "{\"protocol\":\"tessera\",\"version\":\"1.0\",\"content-type\":\"text/plain\",\"content-length\":0,"
      "\"type\":4,\"instruct_id\":\"0\"}",
      write_frame(0, HEARTBEAT, 0));
  EXPECT_NE(std::string::npos, write_frame(12, INSTRUCTION, ~0ull).find("\"instruct_id\":\"18446744073709551615\"}"));
}

TEST(WireFrames, HeadAndUserParsing) {
  Message m;
  m.head = "[1,2]";
  EXPECT_TRUE(parse_head_json(&m));
  EXPECT_EQ(0, m.type);
  m = Message();
  m.head = "{\"type\":9,\"instruct_id\":\"77\",\"type\":8}";
  EXPECT_TRUE(parse_head_json(&m));
  EXPECT_EQ(8, m.type);
  EXPECT_EQ("77", m.instruct_id);
  m.head = "{oops";
  EXPECT_FALSE(parse_head_json(&m));
  User u = parseUserJson("{\"user_id\":5,\"group_id\":[3,7],\"log_type\":1,\"mtype\":12}");
  EXPECT_EQ(5, u.user_id);
  EXPECT_EQ("[3,7]", u.group_id);
  EXPECT_EQ("12", u.mtype);
  EXPECT_EQ(-1, parseUserJson("").user_id);
  // Only a failed parse means "no student"; members of another type convert.
  EXPECT_EQ(0, parseUserJson("{\"user_id\":\"x\"}").user_id);
  EXPECT_EQ(-1, parseUserJson("{\"user_id\":5,").user_id);
}

TEST(WireFrames, MembersOfAnotherTypeAreConverted) {
  User u = parseUserJson(
      "{\"user_id\":\"1001\",\"class_id\":\"12\",\"log_type\":\"\",\"user_name\":7,"
      "\"user_mac\":null,\"group_id\":true}");
  EXPECT_EQ(1001, u.user_id);
  EXPECT_EQ(12, u.class_id);
  EXPECT_EQ(0, u.log_type);
  EXPECT_EQ("7", u.user_name);
  EXPECT_EQ("", u.user_mac);
  EXPECT_EQ("true", u.group_id);
  EXPECT_EQ(0, parseUserJson("{\"user_id\":3,\"log_type\":\"abc\"}").log_type);
  EXPECT_EQ(3, parseUserJson("{\"user_id\":3,\"log_type\":\"abc\"}").user_id);

  Message m;
  m.head = "{\"type\":\"5\",\"content-length\":\"120\",\"instruct_id\":77,\"protocol\":1.5}";
  EXPECT_TRUE(parse_head_json(&m));
  EXPECT_EQ(5, m.type);
  EXPECT_EQ(120, m.content_length);
  EXPECT_EQ("77", m.instruct_id);
  EXPECT_EQ("1.5", m.protocol);
  m = Message();
  m.head = "{\"type\":\"heartbeat\",\"content-length\":[9]}";
  EXPECT_TRUE(parse_head_json(&m));
  EXPECT_EQ(0, m.type);
  EXPECT_EQ(0, m.content_length);
}

TEST(WireFrames, HostileNumbersInHeadsAndUserInfo) {
  // The line that once ended the process, and its relatives.
  Message m;
  m.head = "[0.970368547758075e-334]";
  EXPECT_TRUE(parse_head_json(&m));
  m.head = "{\"type\":0e50,\"content-length\":-0}";
  EXPECT_TRUE(parse_head_json(&m));
  EXPECT_EQ(0, m.type);
  EXPECT_EQ(0, m.content_length);
  m.head = "{\"type\":1e308,\"content-length\":-1e308}";
  EXPECT_TRUE(parse_head_json(&m));
  m.head = std::string(100, '[');
  EXPECT_FALSE(parse_head_json(&m));
  EXPECT_EQ(0, parseUserJson("{\"user_id\":2.5e-400}").user_id);
  EXPECT_EQ(-1, parseUserJson(std::string(5000, '[') + std::string(5000, ']')).user_id);
}

TEST_F(WireTest, UserInfoInThreeSegmentsIsReadWhole) {
  std::string body = "{\"user_id\":42,\"class_id\":3}";
  std::string all = frame(USER_INFO, body);
  put(all.substr(0, 20));
  Message m;
  EXPECT_EQ(0, read_message(server_, &m, &pending_));  // no complete frame yet
  put(all.substr(20, all.size() - 25));
  sleep_ms(50);
  put(all.substr(all.size() - 5));
  ASSERT_GT(take(&m), 0);
  EXPECT_EQ(USER_INFO, m.type);
  EXPECT_EQ(body, m.body);
}

TEST_F(WireTest, BytesBehindAFrameAreKeptForTheNextRead) {
  std::string body = "{\"user_id\":1}";
  put(frame(USER_INFO, body) + "0123456789" + "\n" + frame(HEARTBEAT_REPLY, "ignored") + frame(INSTRUCTION_RECEIPT, "", "55"));
  Message m;
  ASSERT_GT(take(&m), 0);
  EXPECT_EQ(body, m.body);  // exactly content-length bytes
  ASSERT_GT(take(&m), 0);   // "0123456789" is a head that does not parse
  EXPECT_FALSE(m.parsed);
  ASSERT_GT(take(&m), 0);
  EXPECT_EQ(HEARTBEAT_REPLY, m.type);
  EXPECT_EQ("", m.body);  // the body of other frames is skipped, not kept
  ASSERT_GT(take(&m), 0);
  EXPECT_EQ(INSTRUCTION_RECEIPT, m.type);
  EXPECT_EQ("55", m.instruct_id);
}

TEST_F(WireTest, AbsurdLengthsAndEndlessHeads) {
  put(frame(HEARTBEAT, "").substr(0, 10));
  Message m;
  EXPECT_EQ(0, take(&m));  // no newline: nothing taken
  pending_.clear();
  // A body beyond 1 MiB, or a negative one, leaves nothing to follow the
  // stream by: the reader says so and the session ends.
  put("{\"content-length\":5000000,\"type\":2}\n");
  EXPECT_EQ(kReadBadLength, take(&m));
  EXPECT_EQ(USER_INFO, m.type);
  EXPECT_EQ(5000000, m.content_length);
  put("{\"content-length\":-3,\"type\":8}\nabc");
  EXPECT_EQ(kReadBadLength, take(&m));
  EXPECT_EQ(HEARTBEAT_REPLY, m.type);
  pending_.clear();
  pending_.assign(70 * 1024, 'x');
  put("yyy");
  EXPECT_EQ(kReadProtocolError, read_message(server_, &m, &pending_));
}

TEST_F(WireTest, ClosedPeerReadsAsClosedAfterTheLastFrame) {
  put(frame(HEARTBEAT_REPLY));
  close_socket(peer_);
  peer_ = kInvalidSocket;
  Message m;
  ASSERT_GT(take(&m), 0);  // what came before the close is still taken
  EXPECT_EQ(HEARTBEAT_REPLY, m.type);
  EXPECT_EQ(kReadClosed, take(&m));
}
