#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>

#include "Clock.h"
#include "FileSystem.h"
#include "StateKeys.h"
#include "StateMirror.h"
#include "StateStore.h"
#include "Util.h"

namespace {

namespace fs = std::filesystem;

std::string unique_name(const char* what) {
  static int counter = 0;
  return std::string("ludguard.test.") + what + "." + std::to_string(wall_ms()) + "." +
         std::to_string(++counter);
}

int64_t clock_25s_ahead() { return wall_ms() + 25000; }

class StateMirrorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    lock_ = unique_name("lock");
    shm_ = unique_name("shm");
    store_.reset(new StateStore(lock_.c_str(), shm_.c_str()));
    ASSERT_TRUE(store_->is_open());
    dir_ = path_join(temp_dir(), unique_name("mirror"));
    ASSERT_EQ(0, make_dir(dir_));
    broadcast_ = path_join(dir_, "broadcast");
    instruction_ = path_join(dir_, "instruction");
    mirror_.reset(new StateMirror(store_.get(), broadcast_, instruction_));
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(fs::u8path(dir_), ignored);
  }

  bool exists(const std::string& path) { return fs::exists(fs::u8path(path)); }
  std::string value(const char* key) {
    std::string v;
    store_->read(key, &v);
    return v;
  }

  std::string lock_, shm_, dir_, broadcast_, instruction_;
  std::unique_ptr<StateStore> store_;
  std::unique_ptr<StateMirror> mirror_;
};

// Stores in the field hold these texts: a changed key would lose them.
TEST(StateMirrorKeys, AreTheStoredTextsInTheMirrorsPassOrder) {
  EXPECT_STREQ("gBorcastObj.getJSONString()", kMirrorKeys[0]);
  EXPECT_STREQ("users.getUserGetInstruct(0, 0)", kMirrorKeys[1]);
  EXPECT_STREQ("gInstructionManager.getInstruction().szInstruction.jsonString()", kMirrorKeys[2]);
  EXPECT_STREQ("gInstructionSet.getLastInstructionId()", kMirrorKeys[3]);
  EXPECT_STREQ(kKeyCourse, kMirrorKeys[0]);
}

TEST(StateMirrorTimeText, LocalTimeWithMillisecondsInBrackets) {
  int64_t ms = 1400000000123LL;
  std::string text = timeText(ms);
  EXPECT_TRUE(std::regex_match(text, std::regex(R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.123\])")))
      << text;
  struct tm tm;
  local_tm(ms, &tm);
  char expected[32];
  strftime(expected, sizeof(expected), "[%Y-%m-%d %H:%M:%S", &tm);
  EXPECT_EQ(std::string(expected) + ".123]", text);
  EXPECT_EQ(".007]", timeText(1400000000007LL).substr(20));
}

TEST_F(StateMirrorTest, RestoreWritesOnlyNonEmptyFiles) {
  ASSERT_EQ(0, write_text_file(broadcast_, "{\"class_id\":3}"));
  ASSERT_EQ(0, write_text_file(instruction_, ""));
  ASSERT_EQ(0, store_->write(kMirrorKeys[2], "kept"));
  mirror_->restore();
  EXPECT_EQ("{\"class_id\":3}", value(kMirrorKeys[0]));
  EXPECT_EQ("kept", value(kMirrorKeys[2]));

  // Missing files leave the store alone as well.
  ASSERT_EQ(0, remove_file(broadcast_));
  ASSERT_EQ(0, store_->write(kMirrorKeys[0], "newer"));
  mirror_->restore();
  EXPECT_EQ("newer", value(kMirrorKeys[0]));
}

TEST_F(StateMirrorTest, PassMirrorsCourseAndInstructionOnly) {
  ASSERT_EQ(0, store_->write(kMirrorKeys[0], "{\"a\":\"x\\/y\"}"));
  ASSERT_EQ(0, store_->write(kMirrorKeys[1], "ok"));
  ASSERT_EQ(0, store_->write(kMirrorKeys[2], "{\"szInstruction\":\"line\nfeed\"}"));
  ASSERT_EQ(0, store_->write(kMirrorKeys[3], "42"));
  EXPECT_EQ("", mirror_->pass());
  EXPECT_EQ("{\"a\":\"x\\/y\"}", read_text_file(broadcast_));
  EXPECT_EQ("{\"szInstruction\":\"line\nfeed\"}", read_text_file(instruction_));
  std::vector<DirEntry> entries;
  ASSERT_TRUE(list_dir(dir_, &entries));
  EXPECT_EQ(2u, entries.size());

  // A changed value replaces the whole file; a shorter one leaves no tail.
  ASSERT_EQ(0, store_->write(kMirrorKeys[0], "{}"));
  mirror_->pass();
  EXPECT_EQ("{}", read_text_file(broadcast_));
}

TEST_F(StateMirrorTest, EqualFileIsNotTouched) {
  ASSERT_EQ(0, store_->write(kMirrorKeys[0], "{\"same\":1}"));
  ASSERT_EQ(0, write_text_file(broadcast_, "{\"same\":1}"));
  auto old_time = fs::last_write_time(fs::u8path(broadcast_)) - std::chrono::hours(24 * 365);
  fs::last_write_time(fs::u8path(broadcast_), old_time);
  mirror_->pass();
  EXPECT_EQ(old_time, fs::last_write_time(fs::u8path(broadcast_)));
}

TEST_F(StateMirrorTest, KeyWithoutRecordLeavesItsFileAlone) {
  // The file may be the only copy left (a table that was full or wiped).
  ASSERT_EQ(0, write_text_file(instruction_, "kept"));
  mirror_->pass();
  EXPECT_EQ("kept", read_text_file(instruction_));
  EXPECT_FALSE(exists(broadcast_));
}

TEST_F(StateMirrorTest, LongValuesRoundTripWholeAndAFullTableIsReported) {
  std::string course = "{\"name\":\"" + std::string(3000, 'c') + "\"}";
  ASSERT_EQ(0, store_->write(kMirrorKeys[0], course));
  mirror_->pass();
  EXPECT_EQ(course, read_text_file(broadcast_));
  std::vector<DirEntry> entries;
  ASSERT_TRUE(list_dir(dir_, &entries));
  EXPECT_EQ(1u, entries.size());  // no temporary file left behind

  // A fresh table fills up: the restore says so and the file stays whole.
  StateStore full(unique_name("lock").c_str(), unique_name("shm").c_str());
  ASSERT_TRUE(full.is_open());
  for (int i = 0; i < StateStore::kRecords; ++i) {
    ASSERT_EQ(0, full.write("junk" + std::to_string(i), "v"));
  }
  StateMirror mirror(&full, broadcast_, instruction_);
  std::string failures = mirror.restore();
  EXPECT_NE(std::string::npos, failures.find(kMirrorKeys[0])) << failures;
  EXPECT_NE(std::string::npos, failures.find("(-4)")) << failures;
  mirror.pass();
  EXPECT_EQ(course, read_text_file(broadcast_));
  EXPECT_EQ("", mirror_->restore());
  EXPECT_EQ(course, value(kMirrorKeys[0]));
}

TEST_F(StateMirrorTest, StallLineWhenTheOldestWriteIsOlderThan20Seconds) {
  for (const char* key : kMirrorKeys) ASSERT_EQ(0, store_->write(key, "v"));
  EXPECT_EQ("", mirror_->pass());
  mirror_->setClock(clock_25s_ahead);
  std::string line = mirror_->pass();
  const std::string t = R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\])";
  EXPECT_TRUE(
      std::regex_match(line, std::regex("\n1 " + t + " \\| 2 " + t + " \\| 3 " + t + " \\| 4 " + t +
                                        " \\| earliest " + t + " \\| curr " + t)))
      << line;
  // Only keys that have records lower "earliest": with none, no stall.
  StateStore empty(unique_name("lock").c_str(), unique_name("shm").c_str());
  ASSERT_TRUE(empty.is_open());
  StateMirror fresh(&empty, broadcast_, instruction_);
  fresh.setClock(clock_25s_ahead);
  EXPECT_EQ("", fresh.pass());
}

TEST_F(StateMirrorTest, ClosedStoreDoesNothing) {
  StateStore closed("bad/ns\\lock", "bad/ns\\shm");
  if (closed.is_open()) GTEST_SKIP() << "the platform accepted the bad names";
  StateMirror mirror(&closed, broadcast_, instruction_);
  mirror.setClock(clock_25s_ahead);
  ASSERT_EQ(0, write_text_file(broadcast_, "kept"));
  EXPECT_EQ("", mirror.pass());
  EXPECT_EQ("kept", read_text_file(broadcast_));
  EXPECT_FALSE(exists(instruction_));
  mirror.restore();
}

}  // namespace
