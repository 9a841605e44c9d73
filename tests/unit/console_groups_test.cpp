#include <gtest/gtest.h>

#include <string>

#include "APIConsoleGroups.h"
#include "ConsoleGroups.h"
#include "FakeRequest.h"
#include "FileSystem.h"
#include "ScratchDir.h"
#include "UserManager.h"
#include "Util.h"

namespace {

const char* const kOk = "{\"status\":1,\"msg\":\"ok\"}";

std::string call(APIConsoleGroups* api, const std::string& uri, const std::string& body = "") {
  FakeRequest request(uri);
  if (!body.empty()) request.withBody(body);
  EXPECT_EQ(1, api->onHandleEvent(request));
  return request.replyBody();
}

std::string set(APIConsoleGroups* api, const std::string& json) {
  std::string encoded(json.size() * 3 + 1, '\0');
  url_encode(json.c_str(), &encoded[0], encoded.size());
  return call(api, "/setConsoleGroups", "info=" + std::string(encoded.c_str()));
}

std::string get(APIConsoleGroups* api) { return call(api, "/getConsoleGroups"); }

// A folder where the file must go: no write can replace it.
void blockFile(const ScratchDir& scratch, const char* name) {
  remove_file(scratch.file(name));
  ASSERT_EQ(0, make_dir(scratch.file(name)));
  ASSERT_EQ(0, make_dir(path_join(scratch.file(name), "inside")));
}

}  // namespace

TEST(ConsoleGroups, SetReplacesEveryNameAndGetListsThemByNumber) {
  ScratchDir scratch("groups");
  ConsoleGroups store(scratch.dir());
  APIConsoleGroups api(store);
  EXPECT_EQ("{\"status\":1,\"msg\":\"ok\",\"groups\":[]}", get(&api));
  // Longer than the 1,023 bytes of the other handlers' info; an unnamed
  // group is left out; UTF-8 names survive.
  std::string long_name(1500, 'x');
  EXPECT_EQ(kOk,
            set(&api, "{\"groups\":[{\"group_id\":10,\"name\":\"" + long_name +
                          "\"},{\"group_id\":2,\"name\":\"\xe8\x93\x9d\"},"
                          "{\"group_id\":-1,\"name\":\"staff\"},{\"group_id\":5,\"name\":\"\"}]}"));
  EXPECT_EQ(
      "{\"status\":1,\"msg\":\"ok\",\"groups\":[{\"group_id\":-1,\"name\":\"staff\"},"
      "{\"group_id\":2,\"name\":\"\\u00E8\\u0093\\u009D\"},{\"group_id\":10,\"name\":\"" +
          long_name + "\"}]}",
      get(&api));
  EXPECT_EQ(kOk, set(&api, "{\"groups\":[{\"group_id\":3,\"name\":\"Red\"}]}"));
  EXPECT_EQ("{\"status\":1,\"msg\":\"ok\",\"groups\":[{\"group_id\":3,\"name\":\"Red\"}]}",
            get(&api));
  EXPECT_EQ("[{\"group_id\":3,\"name\":\"Red\"}]", read_text_file(store.path()));

  // Refused, and nothing changes: no list, an id that is not a 32-bit
  // integer, an id twice, no info.
  for (const char* bad :
       {"{\"groups\":{}}", "{\"groups\":[{\"group_id\":\"3\",\"name\":\"a\"}]}",
        "{\"groups\":[{\"group_id\":4294967296,\"name\":\"a\"}]}",
        "{\"groups\":[{\"group_id\":1,\"name\":\"a\"},{\"group_id\":1,\"name\":\"b\"}]}",
        "{\"list\":[]}"}) {
    EXPECT_NE(std::string::npos, set(&api, bad).find("\"status\":0")) << bad;
  }
  EXPECT_EQ("{\"status\":0,\"msg\":\"no info\"}", call(&api, "/setConsoleGroups"));
  EXPECT_EQ("{\"status\":1,\"msg\":\"ok\",\"groups\":[{\"group_id\":3,\"name\":\"Red\"}]}",
            get(&api));
}

TEST(ConsoleGroups, AFailedWriteIsAnsweredAsAFailureAndKeepsTheOldNames) {
  ScratchDir scratch("groups-fail");
  ConsoleGroups store(scratch.dir());
  APIConsoleGroups api(store);
  ASSERT_EQ(kOk, set(&api, "{\"groups\":[{\"group_id\":1,\"name\":\"Blue\"}]}"));
  blockFile(scratch, "groups");
  EXPECT_EQ("{\"status\":0,\"msg\":\"the groups could not be saved\"}",
            set(&api, "{\"groups\":[{\"group_id\":2,\"name\":\"Green\"}]}"));
  EXPECT_EQ(-1, store.replace({{2, "Green"}}));
  // What the store answers is what it had, not the change the file refused.
  std::vector<ConsoleGroups::Group> expected = {{1, "Blue"}};
  EXPECT_EQ(expected, store.groups());
}

TEST(ConsoleGroups, TheOldLoginEntryMovesOnceAndGroupsNamedHereKeepTheirNames) {
  ScratchDir scratch("groups-move");
  {
    UserManager logins(scratch.dir());
    logins.addUser(ConsoleGroups::kLegacyLogin, "2 Blue team\n 3\tRed \r\nno id here\n4\n-7 minus");
    logins.addUser("teacher", "secret");
  }
  ConsoleGroups store(scratch.dir());
  ASSERT_EQ(0, store.replace({{3, "Kept"}}));
  store.adoptLoginEntry(scratch.dir());
  std::vector<ConsoleGroups::Group> expected = {{-7, "minus"}, {2, "Blue team"}, {3, "Kept"}};
  EXPECT_EQ(expected, store.groups());
  std::string logins = UserManager(scratch.dir()).getUsers();
  EXPECT_EQ(std::string::npos, logins.find(ConsoleGroups::kLegacyLogin));
  EXPECT_NE(std::string::npos, logins.find("\"teacher\""));
  // Once moved, a second start finds nothing to move.
  ASSERT_EQ(0, store.replace({}));
  store.adoptLoginEntry(scratch.dir());
  EXPECT_TRUE(store.groups().empty());
}

TEST(ConsoleGroups, TheLoginEntryStaysWhenTheGroupsCannotBeWritten) {
  ScratchDir scratch("groups-move-fail");
  UserManager(scratch.dir()).addUser(ConsoleGroups::kLegacyLogin, "1 Blue");
  blockFile(scratch, "groups");
  ConsoleGroups store(scratch.dir());
  store.adoptLoginEntry(scratch.dir());
  EXPECT_NE(std::string::npos,
            UserManager(scratch.dir()).getUsers().find(ConsoleGroups::kLegacyLogin));
}
