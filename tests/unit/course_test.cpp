#include <gtest/gtest.h>

#include "APICommitCourseInfo.h"
#include "BaseHttpAPI.h"
#include "Brocast.h"
#include "BrocastData.h"
#include "FakeRequest.h"
#include "ServerObjects.h"
#include "HttpServer.h"
#include "TeacherPresence.h"

TEST(BrocastData, DefaultJsonHasEveryMemberInOrder) {
  EXPECT_EQ(
      "{\"teacher_id\":-1,\"teacher_name\":\"\",\"class_id\":-1,\"class_name\":\"\",\"grade_name\":\"\","
      "\"book_name\":\"\",\"chapter_name\":\"\",\"subject_name\":\"\",\"course_hour\":\"\","
      "\"cache_addr\":\"\",\"cache_describe\":\"\",\"socket_ip\":\"\",\"socket_port\":0,"
      "\"as_policy_port\":0,\"timeout\":35,\"runing\":0}",
      BrocastData().toJSON());
  BrocastData d;
  d.cache_addr = "http://a/b";
  EXPECT_NE(std::string::npos, d.toJSON().find("\"cache_addr\":\"http:\\/\\/a\\/b\""));
  EXPECT_NE(std::string::npos, d.toJSON(120).find("\"timeout\":120,"));
}

TEST(BrocastData, ParseTakesKnownMembersAndIgnoresTimeout) {
  BrocastData d("{\"class_id\":7,\"timeout\":99,\"class_id\":8,\"socket_ip\":\"1.2.3.4\",\"x\":1}");
  EXPECT_EQ(8, d.class_id);  // the later duplicate wins
  EXPECT_EQ(35, d.timeout);
  EXPECT_EQ("1.2.3.4", d.socket_ip);
  // Members of another type are converted, never fatal to the record.
  BrocastData wrong_type(
      "{\"class_id\":[1],\"teacher_id\":\"12\",\"socket_port\":\"abc\",\"runing\":true,"
      "\"socket_ip\":5,\"as_policy_port\":\"4.5e2\",\"cache_addr\":null}");
  EXPECT_EQ(0, wrong_type.class_id);
  EXPECT_EQ(12, wrong_type.teacher_id);
  EXPECT_EQ(0, wrong_type.socket_port);
  EXPECT_EQ(1, wrong_type.runing);
  EXPECT_EQ("5", wrong_type.socket_ip);
  EXPECT_EQ(450, wrong_type.as_policy_port);
  EXPECT_EQ("", wrong_type.cache_addr);
  BrocastData not_json("not json");
  EXPECT_EQ(-1, not_json.class_id);
  BrocastData array("[1,2]");
  EXPECT_EQ(BrocastData().toJSON(), array.toJSON());
  // What toJSON writes, the parse constructor reads back.
  BrocastData full;
  full.teacher_id = 4;
  full.teacher_name = "%e4%b8%ad";
  full.class_id = 12;
  full.cache_addr = "10.0.0.1:8080/x";
  full.socket_port = 45678;
  full.runing = 1;
  EXPECT_EQ(full.toJSON(), BrocastData(full.toJSON()).toJSON());
}

TEST(Brocast, HolderKeepsTheCourseAndItsFlags) {
  int choices = 0;
  AdapterSource counting;
  counting.status = [](std::vector<AdapterStatus>* out, std::string*) {
    out->clear();
    return 0;
  };
  counting.records = [&choices](std::vector<AdapterRecord>* out) {
    out->clear();
    choices++;
    return 0;
  };
  Settings settings;
  CourseHolder holder(settings);
  Brocast announcer(holder, counting);
  EXPECT_EQ("", holder.getJSONString());
  holder.stop();
  BrocastData d = holder.getData();
  d.class_id = 3;
  holder.setData(d);
  EXPECT_FALSE(holder.stopped());
  EXPECT_EQ(1, choices);  // setData re-runs the adapter choice
  holder.stop();
  holder.setRuning(1);
  EXPECT_TRUE(holder.stopped());  // the running flag does not resume the announcer
  EXPECT_EQ(1, choices);
  EXPECT_EQ(1, holder.getData().runing);
  EXPECT_NE(std::string::npos, holder.getJSONString().find("\"class_id\":3,"));
  // The JSON shows the session time-out of the settings, 35 when it is 0.
  EXPECT_NE(std::string::npos, holder.getJSONString().find("\"timeout\":35,"));
  settings.setItimeout(120);
  EXPECT_NE(std::string::npos, holder.getJSONString().find("\"timeout\":120,"));
}

TEST(CommitCourseInfo, SectionsApplyOnTheirOwn) {
  BrocastData d;
  APICommitCourseInfo::applyInfo(
      "{\"teacher\":{\"user_id\":5},\"class\":{\"class_id\":9,\"name\":\"a b\"},\"subject\":{}}", &d);
  EXPECT_EQ(5, d.teacher_id);  // set before the teacher section failed on "name"
  EXPECT_EQ("", d.teacher_name);
  EXPECT_EQ(9, d.class_id);
  EXPECT_EQ("a%20b", d.class_name);
  EXPECT_EQ("", d.subject_name);
  EXPECT_THROW(APICommitCourseInfo::applyInfo("{", &d), std::runtime_error);
}

TEST(TeacherPresence, RecordsPositiveIdsAndLookupInsertsUnknownOnes) {
  TeacherPresence map;
  map.recordPing(0, 100);
  map.recordPing(-4, 100);
  EXPECT_EQ(0, map.count());
  map.recordPing(5, 100);
  map.recordPing(5, 200);
  EXPECT_EQ(1, map.count());
  EXPECT_EQ(200, map.lookup(5).last_ping_ms);
  EXPECT_EQ(0, map.lookup(9).last_ping_ms);
  EXPECT_EQ(2, map.count());
}

TEST(HttpFrame, AdmissionByCallerAndUri) {
  EXPECT_TRUE(HttpServer::admitted("127.0.0.1", "/ping"));
  EXPECT_FALSE(HttpServer::admitted("192.168.1.5", "/ping"));
  EXPECT_TRUE(HttpServer::admitted("192.168.1.5", "/GETBROADCAST"));
  EXPECT_TRUE(HttpServer::admitted("192.168.1.5", "/pullOpCmd?x"));
  EXPECT_TRUE(HttpServer::admitted("192.168.1.5", "/www/a/b.html"));
  EXPECT_TRUE(HttpServer::admitted("192.168.1.5", "/www"));
  EXPECT_FALSE(HttpServer::admitted("192.168.1.5", "/wwwroot/x"));
  EXPECT_FALSE(HttpServer::admitted("192.168.1.5", "/www/../config/ud"));
  EXPECT_FALSE(HttpServer::admitted("192.168.1.5", "/www/..\\config"));
  EXPECT_FALSE(HttpServer::admitted("192.168.1.5", "/www//etc"));
  EXPECT_FALSE(HttpServer::admitted("192.168.1.5", "/www/c:/x"));
}

TEST(HttpFrame, AnExceptionOutOfAHandlerIsAnsweredAsAFailure) {
  // A request whose body cannot be had, as when memory runs out reading it.
  class ExhaustedRequest : public FakeRequest {
   public:
    using FakeRequest::FakeRequest;
    const std::string& body() override { throw std::bad_alloc(); }
  };
  ExhaustedRequest request("/ping");
  ServerObjects objects;
  EXPECT_EQ(1, objects.server.handle(request));
  EXPECT_EQ("{\"status\":0,\"msg\":\"exception: std::bad_allocstd::bad_alloc\"}", request.replyBody());
}

TEST(HttpFrame, InfoComesFromTheQueryOrElseTheBody) {
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

TEST(HttpFrame, RepliesAndRouting) {
  FakeRequest fail("/x");
  BaseHttpAPI::replyFail(fail, "bad \"thing\"");
  EXPECT_EQ(
      "HTTP/1.1 200 OK\r\nAccess-Control-Allow-Origin: *\r\nContent-Type: text/plain;charset=utf-8\r\n"
      "Content-Length: 34\r\n\r\n{\"status\":0,\"msg\":\"bad \\\"thing\\\"\"}",
      fail.written);
  ServerObjects objects;
  FakeRequest remote("/ping", "10.1.1.1");
  EXPECT_EQ(1, objects.server.handle(remote));
  EXPECT_EQ(BaseHttpAPI::kNoSuchApi, remote.replyBody());
  FakeRequest file("/www/index.html");
  EXPECT_EQ(0, objects.server.handle(file));  // left to the file server
  EXPECT_EQ("", file.written);
}
