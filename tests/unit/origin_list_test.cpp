#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "AtomicTextFile.h"
#include "FileSystem.h"
#include "OriginList.h"
#include "RefusalLog.h"
#include "ScratchDir.h"

namespace {

std::string file_text(const std::string& path) {
  std::string text;
  read_whole_file(path, &text, FileRead::kText);
  return text;
}

}  // namespace

TEST(OriginList, ReadsEditsKeepsCommentsAndFollowsTheFile) {
  ScratchDir scratch("origins");
  const std::string path = scratch.file("origins");
  ASSERT_EQ(0, write_text_file_atomic(
                   path,
                   "# our platform\nHTTPS://Platform.example\n\n  http://a.example:81  \n"
                   "not an origin\nhttps://platform.example:443\n"));
  OriginList list(scratch.dir());
  EXPECT_EQ((std::vector<std::string>{"https://platform.example:443", "http://a.example:81"}),
            list.origins());
  EXPECT_TRUE(list.contains("http://a.example:81"));
  EXPECT_FALSE(list.contains("http://a.example:80"));

  EXPECT_EQ(0, list.add("http://b.example:80"));
  EXPECT_EQ(0, list.add("http://b.example:80"));  // once only
  EXPECT_EQ(0, list.remove("https://platform.example:443"));
  EXPECT_EQ("# our platform\n\n  http://a.example:81  \nnot an origin\nhttp://b.example:80\n",
            file_text(path));
  EXPECT_EQ(0, list.remove("http://nobody.example:80"));

  // A hand edit is seen within a second or so.
  ASSERT_EQ(0, write_text_file_atomic(path, "http://c.example\n"));
  bool seen = false;
  for (int i = 0; i < 50 && !seen; ++i) {
    seen = list.contains("http://c.example:80");
    if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(seen);
  EXPECT_FALSE(list.contains("http://a.example:81"));
}

TEST(OriginList, AWriteThatFailsChangesNothing) {
  ScratchDir scratch("origins-fail");
  OriginList list(scratch.dir());
  EXPECT_EQ(0, list.add("http://a.example:80"));  // makes the file
  // A folder where the temporary file must go: the write cannot happen.
  ASSERT_EQ(0, remove_file(scratch.file("origins")));
  ASSERT_EQ(0, make_dir(scratch.file("origins")));
  EXPECT_EQ(-1, list.add("http://b.example:80"));
  EXPECT_FALSE(list.contains("http://b.example:80"));

  // A full list takes no more.
  ScratchDir other("origins-full");
  OriginList full(other.dir());
  for (size_t i = 0; i < OriginList::kMaxOrigins; ++i) {
    ASSERT_EQ(0, full.add("http://p" + std::to_string(i) + ".example:80"));
  }
  EXPECT_EQ(-2, full.add("http://one-more.example:80"));
  EXPECT_EQ(0, full.add("http://p0.example:80"));  // already listed
  EXPECT_EQ(OriginList::kMaxOrigins, full.origins().size());
}

TEST(RefusalLog, KeepsTheRecentPagesNewestFirstWithTheirCounts) {
  RefusalLog log;
  log.foreignPage("http://a.example:80", "/sendCmd", 1000);
  log.foreignPage("http://b.example:80", "/loginUserGet", 2000);
  log.foreignPage("http://a.example:80", "/activeUserList", 3000);
  log.foreignPage("", "/sendCmd", 4000);  // no origin to allow: not listed
  EXPECT_EQ(
      "[{\"origin\":\"http:\\/\\/a.example:80\",\"uri\":\"\\/"
      "activeUserList\",\"time\":3000,\"count\":2},"
      "{\"origin\":\"http:\\/\\/b.example:80\",\"uri\":\"\\/"
      "loginUserGet\",\"time\":2000,\"count\":1}]",
      log.recentJson());
  log.forget("http://a.example:80");
  EXPECT_EQ(std::string::npos, log.recentJson().find("a.example"));
  for (int i = 0; i < 30; ++i)
    log.foreignPage("http://p" + std::to_string(i) + ".example:80", "/x", 5000 + i);
  std::string json = log.recentJson();
  EXPECT_NE(std::string::npos, json.find("p29.example"));
  EXPECT_EQ(std::string::npos, json.find("p9.example"));  // the oldest went
}
