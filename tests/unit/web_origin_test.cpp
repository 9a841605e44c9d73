#include <gtest/gtest.h>

#include "WebOrigin.h"

TEST(WebOrigin, CanonicalFormsAndWhatIsNoOrigin) {
  EXPECT_EQ("http://example.org:80", canonical_origin("http://Example.ORG"));
  EXPECT_EQ("https://example.org:443", canonical_origin("HTTPS://example.org/"));
  EXPECT_EQ("https://example.org:8443", canonical_origin("https://example.org:08443/path?q#f"));
  EXPECT_EQ("http://host:80", canonical_origin("http://user:pw@host/x"));
  EXPECT_EQ("http://[::1]:40080", canonical_origin("http://[::1]:40080"));
  EXPECT_EQ("null", canonical_origin("null"));
  for (const char* bad :
       {"", "example.org", "ftp://example.org", "file:///c:/x", "http://", "http://:80",
        "http://a b", "http://host:0", "http://host:65536", "http://host:8x", "http://[::1",
        "http://[zz]", "http://h\r\nX: y", "javascript://x%0a"}) {
    EXPECT_EQ("", canonical_origin(bad)) << bad;
  }
  EXPECT_EQ("[::1]", origin_host("http://[::1]:40080"));
  EXPECT_EQ("localhost", origin_host("http://localhost:3000"));
  EXPECT_EQ("", origin_host("null"));
  EXPECT_TRUE(is_loopback_host("LocalHost"));
  EXPECT_FALSE(is_loopback_host("127.0.0.2"));
  EXPECT_FALSE(is_loopback_host("localhost.evil.example"));
}
