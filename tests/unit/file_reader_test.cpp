#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "FileSystem.h"
#include "ScratchDir.h"

namespace {

void write_bytes(const std::string& path, const std::string& bytes) {
  FILE* f = open_file(path, "wb");
  ASSERT_NE(nullptr, f);
  ASSERT_EQ(bytes.size(), fwrite(bytes.data(), 1, bytes.size(), f));
  fclose(f);
}

}  // namespace

TEST(FileReaderTest, AMissingFileIsMissingAndLeavesNothingBehind) {
  ScratchDir scratch("file-reader");
  std::string out = "stale";
  EXPECT_EQ(ReadResult::kMissing, read_whole_file(scratch.file("absent"), &out));
  EXPECT_EQ("", out);
  out = "stale";
  EXPECT_EQ(ReadResult::kMissing, read_whole_file(scratch.file("absent"), &out, FileRead::kText));
  EXPECT_EQ("", out);
}

TEST(FileReaderTest, ADirectoryIsAFailureNotAMissingFile) {
  ScratchDir scratch("file-reader");
  std::string out = "stale";
  EXPECT_EQ(ReadResult::kFailed, read_whole_file(scratch.dir(), &out));
  EXPECT_EQ("", out);
}

TEST(FileReaderTest, AnEmptyFileReadsAsEmpty) {
  ScratchDir scratch("file-reader");
  write_bytes(scratch.file("empty"), "");
  std::string out = "stale";
  EXPECT_EQ(ReadResult::kOk, read_whole_file(scratch.file("empty"), &out));
  EXPECT_EQ("", out);
}

TEST(FileReaderTest, BinaryContentComesBackByteForByteBeyondOneChunk) {
  ScratchDir scratch("file-reader");
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
  bytes += std::string("\r\n\x1A\0tail", 8);
  // Several reads' worth, with an odd length.
  std::string big;
  while (big.size() < 100000) big += bytes;
  big.push_back('\0');
  write_bytes(scratch.file("big.bin"), big);
  std::string out;
  EXPECT_EQ(ReadResult::kOk, read_whole_file(scratch.file("big.bin"), &out));
  EXPECT_EQ(big.size(), out.size());
  EXPECT_TRUE(big == out);
}

TEST(FileReaderTest, TextModeTranslatesLineEndsAsTheSystemDoes) {
  ScratchDir scratch("file-reader");
  write_bytes(scratch.file("lines.txt"), "one\r\ntwo\n");
  std::string out;
  ASSERT_EQ(ReadResult::kOk, read_whole_file(scratch.file("lines.txt"), &out, FileRead::kText));
#if defined(_WIN32)
  EXPECT_EQ("one\ntwo\n", out);
#else
  EXPECT_EQ("one\r\ntwo\n", out);
#endif
  ASSERT_EQ(ReadResult::kOk, read_whole_file(scratch.file("lines.txt"), &out));
  EXPECT_EQ("one\r\ntwo\n", out);
}
