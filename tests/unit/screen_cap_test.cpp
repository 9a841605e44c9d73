#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "APIScreenCap.h"
#include "CaptureEx.h"
#include "FakeRequest.h"

namespace {

uint32_t u32(const std::string& b, size_t at) {
  return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

uint16_t u16(const std::string& b, size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) |
                               static_cast<unsigned char>(b[at + 1]) << 8);
}

}  // namespace

TEST(CaptureEx, BmpIsTopDown24BitWithFixedHeaders) {
  ScreenPixels p;
  p.width = 4;
  p.height = 2;
  for (int i = 0; i < 24; ++i) p.bgr.push_back(static_cast<unsigned char>(i));
  std::string b = CaptureEx::bmpBytes(p);
  ASSERT_EQ(54u + 24u, b.size());
  EXPECT_EQ("BM", b.substr(0, 2));
  EXPECT_EQ(78u, u32(b, 2));   // file size
  EXPECT_EQ(0u, u32(b, 6));    // the two reserved words
  EXPECT_EQ(54u, u32(b, 10));  // pixel offset
  EXPECT_EQ(40u, u32(b, 14));
  EXPECT_EQ(4u, u32(b, 18));
  EXPECT_EQ(-2, static_cast<int32_t>(u32(b, 22)));
  EXPECT_EQ(1, u16(b, 26));
  EXPECT_EQ(24, u16(b, 28));
  EXPECT_EQ(0u, u32(b, 30));   // no compression
  EXPECT_EQ(24u, u32(b, 34));  // image size
  for (size_t at = 38; at < 54; at += 4) EXPECT_EQ(0u, u32(b, at));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(p.bgr.data()), 24), b.substr(54));
}

TEST(CaptureEx, RegionsAreNormalisedCutAndBounded) {
  CaptureEx::Region r;
  EXPECT_EQ("", CaptureEx::region(10, 20, 10 + 1366, 20 + 768, &r));
  EXPECT_EQ(10, r.left);
  EXPECT_EQ(20, r.top);
  EXPECT_EQ(1364, r.width);
  EXPECT_EQ(768, r.height);
  // Negative extents take the region that ends at the first corner.
  EXPECT_EQ("", CaptureEx::region(100, 50, 100 - 9, 50 - 5, &r));
  EXPECT_EQ(91, r.left);
  EXPECT_EQ(45, r.top);
  EXPECT_EQ(8, r.width);
  EXPECT_EQ(5, r.height);
  EXPECT_EQ("empty region", CaptureEx::region(0, 0, 3, 100, &r));
  EXPECT_EQ("empty region", CaptureEx::region(0, 0, 100, 0, &r));
  EXPECT_EQ("region too large", CaptureEx::region(0, 0, 100000, 100000, &r));
  // Both sides within their limit, the pixels not.
  EXPECT_EQ("region too large", CaptureEx::region(0, 0, 16384, 16384, &r));
  EXPECT_EQ("", CaptureEx::region(0, 0, 16384, 2730, &r));  // 134,184,960 bytes
  EXPECT_EQ("region too large", CaptureEx::region(0, 0, 16384, 2731, &r));
  EXPECT_EQ("region too large", CaptureEx::region(INT64_MIN, 0, INT64_MAX, 10, &r));
}

TEST(APIScreenCap, RefusesMissingOrBadInfo) {
  APIScreenCap api;
  FakeRequest none("/captureScreen");
  api.onHandleEvent(none);
  EXPECT_EQ("{\"status\":0,\"msg\":\"no info\"}", none.replyBody());
  // 1,023 bytes is too long to be an info at all; 1,022 is parsed.
  FakeRequest too_long("/captureScreen?info=" + std::string(1023, 'x'));
  api.onHandleEvent(too_long);
  EXPECT_EQ("{\"status\":0,\"msg\":\"no info\"}", too_long.replyBody());
  FakeRequest longest("/captureScreen?info=" + std::string(1022, 'x'));
  api.onHandleEvent(longest);
  EXPECT_NE(std::string::npos, longest.replyBody().find(" parse info error\"}"));
  FakeRequest bad("/captureScreen?info=nojson");
  api.onHandleEvent(bad);
  EXPECT_EQ(0u, bad.replyBody().find("{\"status\":0,\"msg\":\"exception: std::runtime_error"));
  EXPECT_NE(std::string::npos, bad.replyBody().find(" parse info error\"}"));
  FakeRequest empty(
      "/captureScreen?info=%7B%22rect%22%3A%7B%22x%22%3A0%2C%22y%22%3A0%2C%22w%22%3A3%2C%22h%22%"
      "3A9%7D%7D");
  api.onHandleEvent(empty);
  EXPECT_EQ("{\"status\":0,\"msg\":\"empty region\"}", empty.replyBody());
}
