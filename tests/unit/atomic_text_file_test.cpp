#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "AtomicTextFile.h"
#include "FileSystem.h"
#include "ScratchDir.h"
#include "Util.h"

TEST(AtomicTextFile, LeftoversOfACrashedWriteGoAndNothingElseDoes) {
  ScratchDir s("ludarium-atomic-test");
  ASSERT_EQ(0, write_text_file_atomic(s.file("servers"), "[]"));
  const char* leftovers[] = {"servers.tmp.4711.1", "ud.tmp.12.345"};
  const char* kept[] = {"servers", ".tmp.1.2", "ud.tmp.12", "ud.tmp..3", "ud.tmp.1x.2",
                        "ud.tmp.1.2.bak", "notes.tmp", "origins"};
  for (const char* name : leftovers) write_text_file(s.file(name), "half");
  for (const char* name : kept) {
    if (std::string(name) != "servers") write_text_file(s.file(name), "x");
  }
  ASSERT_EQ(0, make_dir(s.file("old.tmp.1.2")));  // a folder is not ours to remove

  EXPECT_EQ(2, remove_atomic_leftovers(s.dir()));
  std::vector<DirEntry> entries;
  ASSERT_TRUE(list_dir(s.dir(), &entries));
  std::vector<std::string> names;
  for (const DirEntry& e : entries) names.push_back(e.name);
  std::sort(names.begin(), names.end());
  std::vector<std::string> expected(std::begin(kept), std::end(kept));
  expected.push_back("old.tmp.1.2");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, names);
  EXPECT_EQ("[]", read_text_file(s.file("servers")));
}
