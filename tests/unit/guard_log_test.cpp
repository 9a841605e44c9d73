#include "GuardLog.h"

#include <gtest/gtest.h>

#include <string>

#include "Clock.h"
#include "FileSystem.h"
#include "Util.h"

TEST(GuardLogTest, PrefixAndCutAt1024Bytes) {
  std::string path = path_join(temp_dir(), "guardlog-test-" + std::to_string(wall_ms()) + ".log");
  setLogFile(path);
  GUARD_LOG("ludguard", "coreThread", "ludarium=%s", "x");
  GUARD_LOG("ludguard", "coreThread", "%s", std::string(3000, 'a').c_str());
  std::string text = read_text_file(path);
  remove_file(path);
  size_t first_end = text.find('\n');
  ASSERT_NE(std::string::npos, first_end);
  std::string first = text.substr(0, first_end);
  // "YYYY-MM-DD HH:MM:SS.mmm ludguard:<line>[coreThread] ludarium=x"
  ASSERT_GT(first.size(), 24u);
  EXPECT_EQ('.', first[19]);
  EXPECT_EQ(' ', first[23]);
  std::string rest = first.substr(24);
  EXPECT_EQ(0u, rest.find("ludguard:"));
  EXPECT_NE(std::string::npos, rest.find("[coreThread] ludarium=x"));
  std::string second = text.substr(first_end + 1);
  ASSERT_FALSE(second.empty());
  second.pop_back();  // its newline
  EXPECT_EQ(24u + 1023u, second.size());
}
