#include <gtest/gtest.h>

#include <string>

#include "APIUserManager.h"
#include "Clock.h"
#include "FakeRequest.h"
#include "FileSystem.h"
#include "JsonReader.h"
#include "ScratchDir.h"
#include "UserManager.h"
#include "Util.h"

namespace {

std::string reply(APIUserManager* api, const std::string& uri) {
  FakeRequest request(uri);
  EXPECT_EQ(1, api->onHandleEvent(request));
  return request.written.empty() ? std::string() : request.replyBody();
}

std::string set(APIUserManager* api, const std::string& json) {
  char buf[1024];
  url_encode(json.c_str(), buf, sizeof(buf));
  return reply(api, std::string("/loginUserSet?info=") + buf);
}

}  // namespace

TEST(UserManager, KeepsEntriesInLoginNameOrderAndEmptyDataDeletes) {
  ScratchDir scratch("ud");
  APIUserManager api(scratch.dir());
  const std::string path = path_join(scratch.dir(), "ud");
  EXPECT_EQ("{\"status\":1,\"msg\":\"ok\",\"recordset\":[]}",
            reply(&api, "/loginUserGet?info=%7B%7D"));
  EXPECT_EQ("{\"status\":1,\"msg\":\"ok\"}", set(&api, "{\"loginnm\":\"zed\",\"data\":\"1\"}"));
  EXPECT_EQ("{\"status\":1,\"msg\":\"ok\"}",
            set(&api, "{\"loginnm\":\"Bob\",\"data\":\"\\u00e9/\"}"));
  EXPECT_EQ("{\"status\":1,\"msg\":\"ok\"}", set(&api, "{\"loginnm\":\"amy\",\"data\":\"3\"}"));
  std::string text = read_text_file(path);
  // Byte order: upper case before lower case; bytes escaped one by one.
  EXPECT_EQ(0u, text.find("[{\"loginnm\":\"Bob\",\"data\":\"\\u00E9\\/\",\"time\":\""));
  EXPECT_LT(text.find("\"amy\""), text.find("\"zed\""));
  std::string listed = reply(&api, "/LOGINUSERGET/?info=%5B%5D");
  EXPECT_EQ("{\"status\":1,\"msg\":\"ok\",\"recordset\":" + text + "}", listed);

  EXPECT_EQ("{\"status\":1,\"msg\":\"ok\"}", set(&api, "{\"loginnm\":\"amy\",\"data\":\"\"}"));
  text = read_text_file(path);
  EXPECT_EQ(std::string::npos, text.find("amy"));
  EXPECT_NE(std::string::npos, text.find("zed"));
  EXPECT_EQ(nullptr, open_file(path + ".tmp", "r"));
}

TEST(UserManager, AStoredTextSurvivesRoundTripsByteForByte) {
  ScratchDir scratch("ud");
  const std::string data = "\xd6\xd0\xce\xc4 \"quoted\" \\ \x01 tab\t";  // GBK bytes and escapes
  UserManager(scratch.dir()).addUser("t", data);
  // Each rewrite re-reads the file and writes every entry back.
  for (int i = 0; i < 3; ++i) {
    UserManager again(scratch.dir());
    again.addUser("u", "x");
    again.delUser("u");
  }
  JsonDocument doc;
  parse_json(UserManager(scratch.dir()).getUsers(), &doc);
  ASSERT_TRUE(doc.IsArray());
  ASSERT_EQ(1u, doc.Size());
  EXPECT_EQ("t", json_as_text(json_at(doc[0], "loginnm")));
  EXPECT_EQ(data, json_as_text(json_at(doc[0], "data")));
}
