#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Clock.h"
#include "FileSystem.h"
#include "ScratchDir.h"
#include "ServerManager.h"
#include "Thread.h"
#include "Util.h"

namespace {

std::string record(const std::string& id, const std::string& address, const std::string& time,
                   int recommend) {
  return "{\"school_id\":\"100\",\"id\":\"" + id + "\",\"address\":\"" + address +
         "\",\"describe\":\"d" + id + "\",\"time\":\"" + time +
         "\",\"recommend\":" + std::to_string(recommend) + "}";
}

}  // namespace

TEST(ServerManager, RecommendsTheLatestRecommendableRecord) {
  ScratchDir scratch("servers");
  ServerManager manager(path_join(scratch.dir(), "config"));
  EXPECT_EQ("[]", manager.getRecommendServer());  // no file yet
  write_text_file(manager.path(), "[" + record("a", "h1", "1409821595", 1) + "," +
                                      record("b", "h2", "1409821600", 1) + "," +
                                      record("c", "h3", "1509821600", 0) + "]");
  EXPECT_EQ("[" + record("b", "h2", "1409821600", 1) + "]", manager.getRecommendServer());

  // A tie keeps the lower id; an empty address recommends nothing.
  write_text_file(manager.path(), "[" + record("z", "h9", "1409821600", 1) + "]");
  EXPECT_EQ("[" + record("b", "h2", "1409821600", 1) + "]", manager.getRecommendServer());
  ServerManager other(path_join(scratch.dir(), "other"));
  write_text_file(other.path(), "[" + record("a", "", "1409821600", 1) + "]");
  EXPECT_EQ("[]", other.getRecommendServer());
}

TEST(ServerManager, ReadingOnlyAddsAndAWriteBringsBackWhatTheFileLost) {
  ScratchDir scratch("servers");
  ServerManager manager(scratch.dir());
  write_text_file(manager.path(),
                  "[" + record("a", "h1", "1", 1) + "," + record("b", "h2", "2", 1) + "]");
  manager.readServers();
  write_text_file(manager.path(), "[" + record("b", "h2b", "3", 1) + "]");
  manager.delServer("nothing");
  EXPECT_EQ("[" + record("a", "h1", "1", 1) + "," + record("b", "h2b", "3", 1) + "]",
            read_text_file(manager.path()));
  // A record missing members (an older version's) gets their defaults and
  // ends nothing: the records after it are read too.
  ServerManager older(path_join(scratch.dir(), "older"));
  write_text_file(older.path(), "[" + record("a", "h1", "1", 1) + ",{\"id\":\"x\"}," +
                                    record("c", "h3", "9", 1) + "]");
  EXPECT_EQ("[" + record("c", "h3", "9", 1) + "]", older.getRecommendServer());
  EXPECT_EQ(0, older.delServer("nothing"));
  EXPECT_NE(std::string::npos,
            read_text_file(older.path())
                .find("{\"school_id\":\"\",\"id\":\"x\",\"address\":\"\",\"describe\":\"\","
                      "\"time\":\"\",\"recommend\":0}"));
}

TEST(ServerManager, AddStampsTheCurrentSecondAndReplacesById) {
  ScratchDir scratch("servers");
  ServerManager manager(scratch.dir());
  int64_t before = wall_ms() / 1000;
  manager.addServer("100", "s1", "10.0.0.5:8080", "main", 1);
  manager.addServer("7", "s0", "h0", "zero", 0);
  manager.addServer("101", "s1", "10.0.0.6", "second", 2);
  int64_t after = wall_ms() / 1000;
  std::string text = read_text_file(manager.path());
  ASSERT_EQ(0u, text.find("[{\"school_id\":\"7\",\"id\":\"s0\",\"address\":\"h0\",\"describe\":"
                          "\"zero\",\"time\":\""));
  size_t s1 = text.find(
      "{\"school_id\":\"101\",\"id\":\"s1\",\"address\":\"10.0.0.6\",\"describe\":\"second\","
      "\"time\":\"");
  ASSERT_NE(std::string::npos, s1);
  int64_t stamped =
      static_cast<int64_t>(text_to_uint64(text.substr(text.find("\"time\":\"", s1) + 8)));
  EXPECT_GE(stamped, before);
  EXPECT_LE(stamped, after);
  // Replaced atomically: no temporary file is left.
  EXPECT_EQ(nullptr, open_file(manager.path() + ".tmp", "r"));
}

TEST(ServerManager, ConcurrentAddsAreAllKept) {
  ScratchDir scratch("servers");
  ServerManager manager(scratch.dir());
  struct Job {
    ServerManager* manager;
    int index;
    std::atomic<int>* done;
  };
  std::atomic<int> done{0};
  std::vector<Job> jobs;
  for (int i = 0; i < 8; ++i) jobs.push_back(Job{&manager, i, &done});
  for (Job& job : jobs) {
    ASSERT_EQ(0, thread_begin(
                     [](void* arg) -> unsigned {
                       Job* j = static_cast<Job*>(arg);
                       for (int k = 0; k < 10; ++k) {
                         std::string id = "t" + std::to_string(j->index) + "-" + std::to_string(k);
                         j->manager->addServer("1", id, "h", "d", 1);
                       }
                       j->done->fetch_add(1);
                       return 0;
                     },
                     &job));
  }
  for (int waited = 0; done < 8 && waited < 60000; waited += 10) sleep_ms(10);
  ASSERT_EQ(8, done.load());
  // A fresh reader sees all 80 records in the file.
  ServerManager reader(scratch.dir());
  reader.delServer("none");
  std::string text = read_text_file(reader.path());
  size_t count = 0;
  for (size_t at = text.find("\"school_id\""); at != std::string::npos;
       at = text.find("\"school_id\"", at + 1)) {
    ++count;
  }
  EXPECT_EQ(80u, count);
}
