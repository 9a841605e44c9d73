#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "Clock.h"
#include "FileSystem.h"
#include "Log.h"
#include "Thread.h"
#include "LogWriter.h"
#include "Util.h"

namespace {

class Scratch {
 public:
  Scratch() {
    dir_ = path_join(temp_dir(), "ludarium-log-test-" + std::to_string(wall_ms()) + "-" +
                                     std::to_string(counter_++));
    make_dir(dir_);
  }
  ~Scratch() {
    std::vector<DirEntry> entries;
    list_dir(dir_, &entries);
    for (const DirEntry& e : entries) remove_file(path_join(dir_, e.name));
  }
  const std::string& dir() const { return dir_; }
  std::string file(const std::string& name) const { return path_join(dir_, name); }
  bool exists(const std::string& name) const {
    FILE* f = open_file(file(name), "r");
    if (f != nullptr) fclose(f);
    return f != nullptr;
  }
  void touch(const std::string& name) const { write_text_file(file(name), "x\n"); }

 private:
  static int counter_;
  std::string dir_;
};
int Scratch::counter_ = 0;

// Local time ms of a given local date and time of day.
int64_t local_ms(int y, int m, int d, int hh, int mm, int ss, int ms) {
  return (local_midnight(y, m, d) + hh * 3600 + mm * 60 + ss) * 1000 + ms;
}

}  // namespace

TEST(LogLine, PrefixCarriesLevelFileLineFunctionAndThread) {
  std::string line = log_build_line("w", "C:\\src\\ludarium\\ASAuthorizeServer.cpp", 42,
                                    "int ASAuthorizeServer::BindSocket()", "Bind ok");
  char expected[128];
  snprintf(expected, sizeof(expected), "w, ASAuthorizeServer.cpp:42 ASAuthorizeServer::BindSocket %08X Bind ok",
           current_thread_id());
  EXPECT_EQ(expected, line);
  // Unix paths are cut at "/" too.
  EXPECT_EQ(0u, log_build_line("d", "/a/b/main.cpp", 1, "int main()", "").find("d, main.cpp:1 main "));
}

TEST(LogLine, LongMessagesAreCutTo1023CharactersWithThePrefixIntact) {
  std::string message(2000, 'm');
  std::string line = log_build_line("d", "x.cpp", 7, "void f()", message.c_str());
  EXPECT_EQ(1023u, line.size());
  EXPECT_EQ(0u, line.find("d, x.cpp:7 f "));
}

TEST(LogLine, QualifiedFunctionNames) {
  EXPECT_EQ("ASAuthorizeServer::BindSocket",
            qualified_function_name("int ASAuthorizeServer::BindSocket()"));
  EXPECT_EQ("ns::Klass::method", qualified_function_name("static void ns::Klass::method(int, char*) const"));
  EXPECT_EQ("main", qualified_function_name("int main(int, char**)"));
  EXPECT_EQ("trampoline", qualified_function_name("unsigned int (anonymous namespace)::trampoline(void*)"));
  EXPECT_EQ("Foo::list", qualified_function_name("std::map<int, std::string> Foo::list()"));
  EXPECT_EQ("Foo::operator()", qualified_function_name("void Foo::operator()(int)"));
}

TEST(LogWriter, ColoursAndFilesFollowTheLevel) {
  EXPECT_EQ(4, log_color_for_level("e"));
  EXPECT_EQ(4, log_color_for_level("x"));
  EXPECT_EQ(6, log_color_for_level("w"));
  EXPECT_EQ(2, log_color_for_level("d"));

  Scratch s;
  LogWriter writer(s.dir(), nullptr);
  int64_t now = local_ms(2014, 9, 4, 17, 6, 35, 7);
  writer.write("e", "an error", now);
  writer.write("w", "a warning", now);
  writer.write("d", "a debug line", now);

  EXPECT_EQ("2014-09-04 17:06:35.007 an error\n", read_text_file(s.file("2014-09-04 error.log")));
  EXPECT_EQ("2014-09-04 17:06:35.007 a warning\n2014-09-04 17:06:35.007 a debug line\n",
            read_text_file(s.file("2014-09-04 debug.log")));
  EXPECT_EQ(
      "2014-09-04 17:06:35.007 an error\n2014-09-04 17:06:35.007 a warning\n"
      "2014-09-04 17:06:35.007 a debug line\n",
      read_text_file(s.file("2014-09-04 verbose.log")));
}

TEST(LogWriter, FirstEntryAfterMidnightGoesToTheNewDatesFiles) {
  Scratch s;
  LogWriter writer(s.dir(), nullptr);
  writer.write("d", "before", local_ms(2014, 9, 4, 23, 59, 59, 999));
  writer.write("d", "after", local_ms(2014, 9, 5, 0, 0, 0, 0));
  EXPECT_EQ("2014-09-04 23:59:59.999 before\n", read_text_file(s.file("2014-09-04 verbose.log")));
  EXPECT_EQ("2014-09-05 00:00:00.000 after\n", read_text_file(s.file("2014-09-05 verbose.log")));
}

TEST(LogWriter, SweepDeletesOnlyOurOwnDailyFilesOlderThanThirtyDays) {
  Scratch s;
  s.touch("2014-08-01 verbose.log");  // 31 days before 2014-09-01
  s.touch("2014-08-01 error.log");
  s.touch("2014-07-01 debug.log");
  s.touch("2014-08-02 verbose.log");  // 30 days: stays
  s.touch("2014-08-01 notes.docx");   // dated and old, but not one of ours
  s.touch("2014-08-01");              // no blank behind the date
  s.touch("readme 2014-08-01 x");     // the date is not at the start
  s.touch("2014-13-01 verbose.log");  // not a date
  s.touch("2014-02-30 verbose.log");  // a day that never was
  s.touch("Ludguard.log");
  ASSERT_EQ(0, make_dir(s.file("2014-08-01 debug.log")));  // a folder of that name
  LogWriter writer(s.dir(), nullptr);
  writer.write("d", "first entry of the day", local_ms(2014, 9, 1, 8, 0, 0, 0));
  EXPECT_FALSE(s.exists("2014-08-01 verbose.log"));
  EXPECT_FALSE(s.exists("2014-08-01 error.log"));
  EXPECT_FALSE(s.exists("2014-07-01 debug.log"));
  EXPECT_TRUE(s.exists("2014-08-02 verbose.log"));
  EXPECT_TRUE(s.exists("2014-08-01 notes.docx"));
  EXPECT_TRUE(s.exists("2014-08-01"));
  EXPECT_TRUE(s.exists("readme 2014-08-01 x"));
  EXPECT_TRUE(s.exists("2014-13-01 verbose.log"));
  EXPECT_TRUE(s.exists("2014-02-30 verbose.log"));
  EXPECT_TRUE(s.exists("Ludguard.log"));
  std::vector<DirEntry> inside;
  EXPECT_TRUE(list_dir(s.file("2014-08-01 debug.log"), &inside));
  EXPECT_TRUE(s.exists("2014-09-01 verbose.log"));
}

TEST(LogWriter, FilesKeptOpenForABatchFollowTheDateAndComeBackWhenRemoved) {
  // The log thread writes a batch without closing the files between lines
  // and sweeps once a day: a batch that crosses midnight still goes to the
  // new date's files and sweeps for the new date, and a file removed by
  // hand is made again by the next batch.
  Scratch s;
  s.touch("2014-08-04 verbose.log");  // 31 days old from 2014-09-04 on
  LogWriter writer(s.dir(), nullptr);
  writer.writeFiles("d", "late", local_ms(2014, 9, 3, 23, 59, 59, 500));
  EXPECT_TRUE(s.exists("2014-08-04 verbose.log"));
  writer.writeFiles("e", "early", local_ms(2014, 9, 4, 0, 0, 0, 100));
  writer.closeFiles();
  EXPECT_FALSE(s.exists("2014-08-04 verbose.log"));
  EXPECT_EQ("2014-09-03 23:59:59.500 late\n", read_text_file(s.file("2014-09-03 verbose.log")));
  EXPECT_EQ("2014-09-04 00:00:00.100 early\n", read_text_file(s.file("2014-09-04 verbose.log")));
  EXPECT_EQ("2014-09-04 00:00:00.100 early\n", read_text_file(s.file("2014-09-04 error.log")));

  ASSERT_EQ(0, remove_file(s.file("2014-09-04 verbose.log")));
  writer.writeFiles("d", "again", local_ms(2014, 9, 4, 0, 0, 1, 0));
  writer.closeFiles();
  EXPECT_EQ("2014-09-04 00:00:01.000 again\n", read_text_file(s.file("2014-09-04 verbose.log")));
}

TEST(LogQueue, ABurstFromSeveralThreadsIsWrittenInPushOrder) {
  // The process-wide queue writes beside the test executable; each thread's
  // lines must appear complete and in their own order.
  std::string marker = "burst-" + std::to_string(wall_ms());
  struct Args {
    std::string marker;
    int thread;
  };
  static std::atomic<int> finished{0};
  finished = 0;
  auto producer = [](void* p) -> unsigned int {
    Args* a = static_cast<Args*>(p);
    for (int i = 0; i < 50; ++i) LOG("d", "%s t%d n%03d", a->marker.c_str(), a->thread, i);
    finished++;
    return 0;
  };
  Args args[4] = {{marker, 0}, {marker, 1}, {marker, 2}, {marker, 3}};
  for (Args& a : args) ASSERT_EQ(0, thread_begin(producer, &a));
  std::string path = path_join(path_join(module_dir(), "log"), today_verbose_log_name());
  std::string text;
  for (int i = 0; i < 300; ++i) {  // 200 entries at one per 10 ms: about 2 s
    sleep_ms(100);
    text = read_text_file(path);
    size_t count = 0;
    for (size_t pos = text.find(marker); pos != std::string::npos; pos = text.find(marker, pos + 1)) count++;
    if (count == 200) break;
  }
  for (int i = 0; i < 500 && finished < 4; ++i) sleep_ms(10);
  ASSERT_EQ(4, finished);
  for (int t = 0; t < 4; ++t) {
    size_t last = 0;
    for (int i = 0; i < 50; ++i) {
      char needle[64];
      snprintf(needle, sizeof(needle), "%s t%d n%03d\n", marker.c_str(), t, i);
      size_t pos = text.find(needle);
      ASSERT_NE(std::string::npos, pos) << needle;
      EXPECT_GT(pos + 1, last);
      last = pos + 1;
    }
  }
}

TEST(LogQueue, ALoneLineAfterAQuietSpellIsWrittenWithoutAnotherBehindIt) {
  // The log thread sleeps while the queue is empty; the push that finds it
  // empty must wake it, or a lone line would wait for the next one.
  std::string path = path_join(path_join(module_dir(), "log"), today_verbose_log_name());
  for (int round = 0; round < 3; ++round) {
    sleep_ms(300);  // the queue has long been empty
    std::string marker = "lone-" + std::to_string(wall_ms()) + "-" + std::to_string(round);
    LOG("d", "%s", marker.c_str());
    bool written = false;
    for (int i = 0; i < 500 && !written; ++i) {
      sleep_ms(10);
      written = read_text_file(path).find(marker) != std::string::npos;
    }
    EXPECT_TRUE(written) << marker;
  }
}
