// The student frame reader over a byte stream that arrives cut at arbitrary
// points, with pauses (nothing to receive) between the pieces, and ends in
// a close or a receive failure. Whatever the bytes, read_message must take
// frames that account for every byte, keep a USER_INFO body of exactly its
// content-length, and never hold more than its limits allow.
//
// Input: the stream, then one byte that seeds where it is cut.
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>

#include "FuzzSetup.h"
#include "WireProtocol.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) { return fuzz_setup(); }

namespace {

// Gives the stream in pieces; a piece of size 0 is a pause. After the last
// piece: 0 (closed) or -1 (failure), as the seed says.
class CutStream : public ByteSource {
 public:
  CutStream(const uint8_t* data, size_t size, uint8_t seed) : data_(data), size_(size), random_(seed + 1u) {
    fail_at_end_ = (seed & 0x80) != 0;
  }
  int receive(char* buf, int len) override {
    if (offset_ == size_) return fail_at_end_ ? -1 : 0;
    // Mostly small pieces, now and then a large one, often a pause.
    uint32_t r = random_();
    if (r % 5 == 0) return kNetWouldBlock;
    size_t piece = (r >> 8) % 8 == 0 ? 1 + (r >> 12) % 70000 : 1 + (r >> 12) % 64;
    if (piece > static_cast<size_t>(len)) piece = static_cast<size_t>(len);
    if (piece > size_ - offset_) piece = size_ - offset_;
    for (size_t i = 0; i < piece; ++i) buf[i] = static_cast<char>(data_[offset_ + i]);
    offset_ += piece;
    return static_cast<int>(piece);
  }
  size_t delivered() const { return offset_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t offset_ = 0;
  std::minstd_rand random_;
  bool fail_at_end_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  CutStream stream(data, size - 1, data[size - 1]);
  std::string pending;
  size_t consumed = 0;
  // Every call either takes bytes or meets a pause, so the stream ends in
  // far fewer calls than this.
  for (size_t calls = 0; calls < 4 * size + 16; ++calls) {
    Message m;
    int rc = read_message(&stream, &m, &pending);
    if (rc > 0) {
      consumed += static_cast<size_t>(rc);
      if (m.head.find('\n') != std::string::npos) abort();
      if (m.type == USER_INFO && m.parsed && m.content_length > 0) {
        if (m.body.size() != static_cast<size_t>(m.content_length)) abort();
      } else if (!m.body.empty()) {
        abort();  // only a USER_INFO keeps its body
      }
    } else if (rc == kReadBadLength) {
      if (m.content_length >= 0 && m.content_length <= kMaxBody) abort();
      consumed += m.head.size() + 1;
      break;
    } else if (rc == kReadProtocolError || rc == kReadClosed || rc == -1) {
      break;
    } else if (rc != 0) {
      abort();
    }
    if (consumed + pending.size() != stream.delivered()) abort();
    // A head line is never kept beyond its limit, a body never beyond its.
    if (pending.size() > kMaxHeadLine + kMaxBody + 70000) abort();
  }
  if (consumed + pending.size() != stream.delivered()) abort();
  return 0;
}
