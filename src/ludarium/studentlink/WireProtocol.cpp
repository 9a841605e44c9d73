#include "WireProtocol.h"

#include <cstdio>

#include "JsonFieldTable.h"
#include "Log.h"
#include "Util.h"

std::string write_frame(int32_t content_length, int32_t type, uint64_t instruct_id) {
  // Written by hand: tablets expect "text/plain" with its slash as it is,
  // where the general writer would escape it.
  char head[256];
  snprintf(head, sizeof(head),
           "{\"protocol\":\"tessera\",\"version\":\"1.0\",\"content-type\":\"text/plain\","
           "\"content-length\":%d,\"type\":%d,\"instruct_id\":\"%s\"}",
           content_length, type, uint64_to_text(instruct_id).c_str());
  return head;
}

int send_all(sock_t s, const char* data, int length) {
  if (data == nullptr) return 0;
  int total = 0;
  while (total < length) {
    int n = net_send(s, data + total, length - total);
    if (n < 0) {
      printf("Failed send(),error code:%d\n", net_last_error());
      return -1;
    }
    total += n;
  }
  return total;
}

int send_frame(sock_t s, const std::string& frame) {
  const int length = static_cast<int>(frame.size());
  // Nearly every send finds room at once; only one that does not waits (up
  // to 10 ms) for room, a system call the others are spared.
  int n = net_send_now(s, frame.data(), length);
  if (n == kNetWouldBlock) {
    int ready = net_wait_writable(s, 10);
    if (ready <= 0) return ready;
    return send_all(s, frame.data(), length);
  }
  if (n < 0) {
    printf("Failed send(),error code:%d\n", net_last_error());
    return -1;
  }
  if (n < length && send_all(s, frame.data() + n, length - n) < 0) return -1;
  return length;
}

namespace {

const JsonFieldTable<Message>& head_fields() {
  typedef JsonFieldTable<Message>::Field Field;
  static const JsonFieldTable<Message> kFields{
      Field("protocol", &Message::protocol),
      Field("version", &Message::version),
      Field("content-type", &Message::content_type),
      Field("instruct_id", &Message::instruct_id),
      Field("content-length", &Message::content_length),
      Field("type", &Message::type),
  };
  return kFields;
}

}  // namespace

bool parse_head_json(Message* message) {
  try {
    head_fields().read(message->head, message);
    message->parsed = true;
    return true;
  } catch (const std::exception& e) {
    LOG("e", "parse_head_json exception: %s\n", exception_type_name(e).c_str());
    return false;
  }
}

namespace {

// Bytes asked for per receive while a head is awaited; a body being read
// is asked for whole, up to kLargestReceive at a time.
const size_t kHeadReceive = 2048;
const size_t kLargestReceive = 256 * 1024;

// Takes one frame off the front of `pending` when it is complete; the first
// `scanned` bytes are known to hold no newline. Returns
// the frame's byte count, 0 when more bytes are needed (then *wanted is how
// many the body still lacks, or 0 while the head is incomplete),
// kReadProtocolError or kReadBadLength.
int take_frame(std::string* pending, Message* message, size_t* wanted, size_t scanned) {
  *wanted = 0;
  size_t newline = pending->find('\n', scanned);
  if (newline == std::string::npos) return pending->size() > kMaxHeadLine ? kReadProtocolError : 0;
  if (newline > kMaxHeadLine) return kReadProtocolError;
  Message m;
  m.head = pending->substr(0, newline);
  size_t frame_end = newline + 1;
  if (!m.head.empty() && parse_head_json(&m)) {
    int32_t length = m.content_length;
    if (length < 0 || length > kMaxBody) {
      pending->erase(0, frame_end);
      *message = m;
      return kReadBadLength;
    }
    size_t end = frame_end + static_cast<size_t>(length);
    if (pending->size() < end) {
      // The body is still on its way.
      *wanted = end - pending->size();
      return 0;
    }
    if (m.type == USER_INFO) m.body = pending->substr(frame_end, static_cast<size_t>(length));
    frame_end = end;
  }
  pending->erase(0, frame_end);
  *message = m;
  return static_cast<int>(frame_end);
}

class SocketSource : public ByteSource {
 public:
  explicit SocketSource(sock_t s) : s_(s) {}
  int receive(char* buf, int len) override { return net_recv_now(s_, buf, len); }

 private:
  sock_t s_;
};

}  // namespace

int read_message(ByteSource* source, Message* message, std::string* pending) {
  *message = Message();
  // Where the frame being received is complete, once its head is known: no
  // need to parse the head again before then.
  size_t complete_at = 0;
  // How much of a head line that trickles in has been searched already.
  size_t scanned = 0;
  for (;;) {
    size_t wanted = 0;
    if (pending->size() >= complete_at) {
      int taken = take_frame(pending, message, &wanted, scanned);
      if (taken != 0) return taken;
      if (wanted > 0) complete_at = pending->size() + wanted;
      else scanned = pending->size();
    } else {
      wanted = complete_at - pending->size();
    }
    size_t chunk = wanted < kHeadReceive ? kHeadReceive : wanted > kLargestReceive ? kLargestReceive : wanted;
    int n;
    if (chunk == kHeadReceive) {
      // A head's worth goes through a buffer here: growing the pending
      // bytes by it would first clear 2 KiB, on every receive.
      char buf[kHeadReceive];
      n = source->receive(buf, static_cast<int>(chunk));
      if (n > 0) pending->append(buf, static_cast<size_t>(n));
    } else {
      // A large body is received straight into the pending bytes.
      size_t old = pending->size();
      pending->resize(old + chunk);
      n = source->receive(&(*pending)[old], static_cast<int>(chunk));
      pending->resize(old + static_cast<size_t>(n > 0 ? n : 0));
    }
    if (n == kNetWouldBlock) return 0;
    if (n == 0) return kReadClosed;
    if (n < 0) return -1;
  }
}

int read_message(sock_t s, Message* message, std::string* pending) {
  SocketSource source(s);
  int rc = read_message(&source, message, pending);
  if (rc != 0) return rc;
  int ready = net_wait_readable(s, 10);
  if (ready <= 0) return ready;
  return read_message(&source, message, pending);
}

User parseUserJson(const std::string& body) {
  User user;
  try {
    user_json_fields().read(body, &user);
  } catch (const std::exception& e) {
    LOG("e", "parseUserJson exception: %s\n", exception_type_name(e).c_str());
    return User();
  }
  return user;
}

bool is_connection_lost(int code) { return net_is_connection_lost(code); }
