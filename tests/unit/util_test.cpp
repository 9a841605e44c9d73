#include "Util.h"

#include <gtest/gtest.h>

#include <string>

#include "FileSystem.h"

TEST(UrlEncode, KeepsSafeCharactersAndEscapesTheRestInLowerCase) {
  char buf[64];
  url_encode("a b/", buf, sizeof(buf));
  EXPECT_STREQ("a%20b%2f", buf);
  url_encode("._-$,;~()Az09", buf, sizeof(buf));
  EXPECT_STREQ("._-$,;~()Az09", buf);
  url_encode("\x80\xff", buf, sizeof(buf));
  EXPECT_STREQ("%80%ff", buf);
}

TEST(UrlEncode, DropsEscapesThatDoNotFitAndAlwaysTerminates) {
  // 40 three-byte characters: 30 escapes of 3 bytes fill 90 of 92 usable bytes.
  std::string chinese;
  for (int i = 0; i < 40; ++i) chinese += "\xe4\xb8\xad";
  char buf[93];
  memset(buf, 'x', sizeof(buf));
  url_encode(chinese.c_str(), buf, sizeof(buf));
  EXPECT_EQ(90u, strlen(buf));
  EXPECT_EQ(0, strncmp(buf, "%e4%b8%ad", 9));

  // An escape that does not fit is dropped, a later plain byte still fits.
  char small[5];
  url_encode("ab/c", small, sizeof(small));
  EXPECT_STREQ("abc", small);
  char one[1];
  url_encode("abc", one, sizeof(one));
  EXPECT_STREQ("", one);
}

TEST(ReplaceAll, SearchesAgainFromTheStart) {
  EXPECT_EQ("bb", replace_all("aaaa", "aa", "b"));
  // The second pass finds a needle made by the first replacement.
  EXPECT_EQ("b", replace_all("aab", "ab", "b"));
  EXPECT_EQ("3.1.4_Sep__4_2014_17.06.35",
            replace_all(replace_all("3.1.4_Sep  4 2014_17:06:35", " ", "_"), ":", "."));
  EXPECT_EQ("xax", replace_all("xax", "a", "aa"));  // would never end
}

TEST(Numbers, TextToUnsignedReadsLeadingDigitsOnly) {
  EXPECT_EQ(0u, text_to_uint64(""));
  EXPECT_EQ(0u, text_to_uint64("abc"));
  EXPECT_EQ(123u, text_to_uint64("  123abc"));
  EXPECT_EQ(18446744073709551615ull, text_to_uint64("18446744073709551615"));
  // Above the range: all bits set and reported, never wrapped.
  bool overflow = true;
  EXPECT_EQ(18446744073709551615ull, text_to_uint64("18446744073709551615", &overflow));
  EXPECT_FALSE(overflow);
  EXPECT_EQ(18446744073709551615ull, text_to_uint64("18446744073709551616", &overflow));
  EXPECT_TRUE(overflow);
  EXPECT_EQ(18446744073709551615ull, text_to_uint64("99999999999999999999999", &overflow));
  EXPECT_TRUE(overflow);
  EXPECT_EQ("-1", int64_to_text(-1));
  EXPECT_EQ("18446744073709551615", uint64_to_text(~0ull));
}

TEST(Files, WholeFileRoundTripAndDirectoryOf) {
  std::string path = path_join(temp_dir(), "ludarium_util_test.txt");
  ASSERT_EQ(0, write_text_file(path, "line one\nline two\n"));
  EXPECT_EQ("line one\nline two\n", read_text_file(path));
  remove_file(path);
  EXPECT_EQ("", read_text_file(path));
  EXPECT_EQ(-1, write_text_file(path_join(path_join(temp_dir(), "no-such-dir"), "f"), "x"));
  EXPECT_EQ("C:\\a\\b", directory_of("C:\\a\\b\\c.exe"));
  EXPECT_EQ("/usr", directory_of("/usr/bin"));
  EXPECT_EQ("", directory_of("name"));
}
