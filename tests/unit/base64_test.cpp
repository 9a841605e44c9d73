#include <gtest/gtest.h>

#include <string>

#include "Base64.h"

TEST(Base64, StandardAlphabetWithPadding) {
  EXPECT_EQ("", base64_encode(""));
  EXPECT_EQ("Zg==", base64_encode("f"));
  EXPECT_EQ("Zm8=", base64_encode("fo"));
  EXPECT_EQ("Zm9v", base64_encode("foo"));
  EXPECT_EQ("Zm9vYmFy", base64_encode("foobar"));
  EXPECT_EQ("+/8A", base64_encode(std::string("\xfb\xff\x00", 3)));
  EXPECT_EQ("iVBORw0KGgo=", base64_encode("\x89PNG\r\n\x1a\n"));
}
