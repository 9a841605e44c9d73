#include "HttpRecord.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FileSystem.h"
#include "RecordReporting.h"

namespace {

// Records what is sent; answers each exchange from a list of replies.
class FakeChannel : public HttpChannel {
 public:
  explicit FakeChannel(std::vector<std::string> replies) : replies_(std::move(replies)) {}
  bool sendAll(const char* data, int length) override {
    pieces.emplace_back(data, static_cast<size_t>(length));
    sent.append(data, static_cast<size_t>(length));
    return true;
  }
  int receive(char* buf, int size) override {
    receives++;
    if (replies_.empty()) return 0;
    std::string r = replies_.front();
    replies_.erase(replies_.begin());
    if (r == "<reset>") return -1;
    int n = std::min(size, static_cast<int>(r.size()));
    memcpy(buf, r.data(), static_cast<size_t>(n));
    return n;
  }
  bool lastFailureWasReset() override { return true; }

  std::string sent;
  std::vector<std::string> pieces;
  int receives = 0;

 private:
  std::vector<std::string> replies_;
};

class HttpRecordTest : public ::testing::Test {
 protected:
  void SetUp() override { client_.resetBudgets(); }
  HttpRecord client_;
};

}  // namespace

TEST_F(HttpRecordTest, UrlSplitting) {
  HttpRecord::Url u = HttpRecord::splitUrl("http://10.0.0.5:8080/api_dist/?q=json/record/cmd/index&info={}");
  EXPECT_EQ("10.0.0.5", u.host);
  EXPECT_EQ(8080, u.port);
  EXPECT_EQ("/api_dist/?q=json/record/cmd/index&info={}", u.path);
  u = HttpRecord::splitUrl("http://192.168.1.10/x");
  EXPECT_EQ(80, u.port);
  EXPECT_EQ("/x", u.path);
  u = HttpRecord::splitUrl("http://a:81/p/q");
  EXPECT_EQ("a", u.host);
  EXPECT_EQ(81, u.port);
  EXPECT_EQ("/p/q", u.path);
  u = HttpRecord::splitUrl("http://h:xyz/p");
  EXPECT_EQ(0, u.port);
  u = HttpRecord::splitUrl("http:///api");  // an empty upstream address
  EXPECT_EQ("", u.host);
  EXPECT_EQ("/api", u.path);
}

TEST_F(HttpRecordTest, FormRequestBytes) {
  FakeChannel channel({"HTTP/1.1 200 OK\r\n\r\n"});
  std::string body = HttpRecord::formBody(client_.toFields("{\"content\":\"a b\"}"));
  EXPECT_TRUE(client_.sendHttpRequest(
      HttpRecord::formHead("/api_dist/?q=json/record/cmd/index&info={}", "10.0.0.5"), body, channel));
  EXPECT_EQ(
      "POST /api_dist/?q=json/record/cmd/index&info={} HTTP/1.1\r\n"
      "User-Agent: Tessera_Ludarium/3.0\r\nHost: 10.0.0.5\r\nPragma: no-cache\r\nAccept: text/plain\r\n"
      "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 14\r\n\r\ncontent=a%20b\n",
      channel.sent);
  EXPECT_EQ("a=x&b=%7b%22c%22%3a1%7d\n", HttpRecord::formBody(client_.toFields("{\"a\":\"x\",\"b\":{\"c\":1}}")));
  EXPECT_EQ("", HttpRecord::formBody(client_.toFields("{}")));
  EXPECT_THROW(client_.toFields("42"), std::runtime_error);
  EXPECT_THROW(client_.toFields("{"), std::runtime_error);
}

TEST_F(HttpRecordTest, RepliesAreJudgedByTheirFirstLineAndTheBudgetIsProcessWide) {
  std::string head = HttpRecord::formHead("/p", "h");
  FakeChannel ok({"HTTP/1.1 200 OK\r\n"});
  EXPECT_TRUE(client_.sendHttpRequest(head, "", ok));
  EXPECT_EQ(1, ok.receives);
  // "200" only in the second line, a part of the status line, a reset:
  // three failures, each re-sent on the same channel.
  FakeChannel failing({"HTTP/1.1 500 Error\r\nX: 200\r\n", "HTT", "<reset>", "HTTP/1.1 200 OK\r\n"});
  EXPECT_TRUE(client_.sendHttpRequest(head, "", failing));
  EXPECT_EQ(4, failing.receives);
  // One re-send is left in the whole process for form requests.
  FakeChannel rest({"HTTP/1.1 404 No\r\n", "HTTP/1.1 404 No\r\n", "HTTP/1.1 200 OK\r\n"});
  EXPECT_FALSE(client_.sendHttpRequest(head, "", rest));
  EXPECT_EQ(2, rest.receives);
  FakeChannel spent({"HTTP/1.1 404 No\r\n", "HTTP/1.1 200 OK\r\n"});
  EXPECT_FALSE(client_.sendHttpRequest(head, "", spent));
  EXPECT_EQ(1, spent.receives);
}

TEST_F(HttpRecordTest, AFailedSendIsStillFollowedByOneReadAndItsJudgement) {
  class RefusingChannel : public FakeChannel {
   public:
    using FakeChannel::FakeChannel;
    bool sendAll(const char*, int) override { return false; }
  };
  std::string head = HttpRecord::formHead("/p", "h");
  // The peer answered before the send broke: its reply decides.
  RefusingChannel answered({"HTTP/1.1 200 OK\r\n"});
  EXPECT_TRUE(client_.sendHttpRequest(head, "body", answered));
  EXPECT_EQ(1, answered.receives);
  // Nothing came: judged as a closed connection and re-sent while the
  // budget lasts (four re-sends in the process), each time read once.
  RefusingChannel closed(std::vector<std::string>{});
  EXPECT_FALSE(client_.sendHttpRequest(head, "body", closed));
  EXPECT_EQ(5, closed.receives);

  FILE* f = open_file(path_join(temp_dir(), "ludarium-refused-upload.log"), "wb+");
  ASSERT_NE(nullptr, f);
  RefusingChannel upload({"HTTP/1.1 500 No\r\n", "HTTP/1.1 200 OK\r\n"});
  EXPECT_TRUE(client_.sendHttpRequest(HttpRecord::uploadHead("/p", "h"), "b", f, "c", upload));
  EXPECT_EQ(2, upload.receives);
  fclose(f);
}

TEST_F(HttpRecordTest, UploadSendsTheFileInPiecesWithTheFixedBoundary) {
  std::string path = path_join(temp_dir(), "ludarium-upload-test.log");
  FILE* f = open_file(path, "wb");
  std::string data(250000, 'L');
  fwrite(data.data(), 1, data.size(), f);
  fclose(f);
  f = open_file(path, "rb");
  std::string body = HttpRecord::uploadBody(client_.toFields("{\"content\":\"V\"}"), "2014-09-04 verbose.log") + "\r\n";
  std::string closing = HttpRecord::closingText();
  FakeChannel channel({"HTTP/1.1 200 OK\r\n"});
  EXPECT_TRUE(client_.sendHttpRequest(HttpRecord::uploadHead("/u", "h"), body, f, closing, channel));
  fclose(f);
  remove_file(path);

  const std::string b = HttpRecord::kBoundary;
  EXPECT_EQ(42u, b.size());
  EXPECT_EQ("--" + b + "\nContent-Disposition: form-data; name=\"content\"; \r\n"
            "Content-Type: application/x-www-form-urlencoded \r\n\r\nV\n--" + b + "\n"
            "Content-Disposition: form-data; name=\"file\"; filename=\"2014-09-04 verbose.log\";\n"
            "Content-Type: application/octet-stream  \r\n\r\n",
            body);
  EXPECT_EQ("\r\n--" + b + "--\r\n", closing);
  // head, length line, body, three pieces of the file, closing text
  ASSERT_EQ(7u, channel.pieces.size());
  EXPECT_EQ(102400u, channel.pieces[3].size());
  EXPECT_EQ(102400u, channel.pieces[4].size());
  EXPECT_EQ(45200u, channel.pieces[5].size());
  EXPECT_EQ("Content-Length: " + std::to_string(body.size() + 250000 + closing.size()) + "\r\n\r\n",
            channel.pieces[1]);
  EXPECT_EQ(closing, channel.pieces[6]);
}

TEST_F(HttpRecordTest, AFileThatGrowsDuringTheUploadIsSentAtItsMeasuredSize) {
  std::string path = path_join(temp_dir(), "ludarium-growing-test.log");
  FILE* f = open_file(path, "wb");
  std::string data(150000, 'L');
  fwrite(data.data(), 1, data.size(), f);
  fclose(f);
  // The channel appends to the file while the first piece goes out, as the
  // log thread does to the day's log.
  class GrowingChannel : public FakeChannel {
   public:
    GrowingChannel(std::string path) : FakeChannel({"HTTP/1.1 200 OK\r\n"}), path_(std::move(path)) {}
    bool sendAll(const char* data, int length) override {
      if (length == HttpRecord::kPieceSize) {
        FILE* g = open_file(path_, "ab");
        fputs(std::string(5000, 'G').c_str(), g);
        fclose(g);
      }
      return FakeChannel::sendAll(data, length);
    }
    std::string path_;
  } channel(path);
  f = open_file(path, "rb");
  EXPECT_TRUE(client_.sendHttpRequest(HttpRecord::uploadHead("/u", "h"), "", f, "", channel));
  fclose(f);
  remove_file(path);
  size_t head_and_length = channel.pieces[0].size() + channel.pieces[1].size();
  EXPECT_EQ("Content-Length: 150000\r\n\r\n", channel.pieces[1]);
  EXPECT_EQ(150000u, channel.sent.size() - head_and_length);
}
