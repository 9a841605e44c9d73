#include "SimTablet.h"

#include <cstdio>

#include "JsonReader.h"
#include "JsonWriter.h"

std::string tablet_frame_head(size_t content_length, int type, const std::string& instruct_id) {
  char head[256];
  snprintf(head, sizeof(head),
           "{\"protocol\":\"tessera\",\"version\":\"1.0\",\"content-type\":\"text/plain\","
           "\"content-length\":%zu,\"type\":%d,\"instruct_id\":\"%s\"}",
           content_length, type, instruct_id.c_str());
  return head;
}

SimTablet::SimTablet(int32_t user_id, const TabletOptions& options) : user_id_(user_id), options_(options) {}

SimTablet::~SimTablet() {}

bool SimTablet::connect() {
  std::string ip;
  if (!net_resolve_ipv4(options_.host, &ip)) return false;
  socket_.reset(net_tcp_socket());
  if (!socket_.valid()) return false;
  if (net_connect(socket_.get(), ip, options_.port) != 0) {
    close();
    return false;
  }
  phase_ = kWaitAsk;
  return true;
}

void SimTablet::close() {
  socket_.reset();
  phase_ = kClosed;
}

void SimTablet::sendFrame(int type, const std::string& body, const std::string& id) {
  std::string frame = tablet_frame_head(body.size(), type, id) + "\n" + body;
  int done = 0;
  while (done < static_cast<int>(frame.size())) {
    int n = net_send(socket_.get(), frame.data() + done, static_cast<int>(frame.size()) - done);
    if (n <= 0) {
      close();
      return;
    }
    done += n;
  }
}

void SimTablet::onReadable(int64_t now_ms) {
  char buf[8192];
  int n = net_recv(socket_.get(), buf, sizeof(buf));
  if (n <= 0) {
    if (options_.verbose) printf("%d: connection closed\n", user_id_);
    close();
    return;
  }
  buffer_.append(buf, static_cast<size_t>(n));
  for (;;) {
    size_t newline = buffer_.find('\n');
    if (newline == std::string::npos) return;
    std::string head = buffer_.substr(0, newline);
    int64_t length = 0;
    try {
      JsonDocument doc;
      parse_json(head, &doc);
      length = json_as_int(json_at(doc, "content-length"));
    } catch (const std::exception&) {
      length = 0;
    }
    if (length < 0) length = 0;
    if (buffer_.size() < newline + 1 + static_cast<size_t>(length)) return;
    std::string body = buffer_.substr(newline + 1, static_cast<size_t>(length));
    buffer_.erase(0, newline + 1 + static_cast<size_t>(length));
    handleFrame(head, body, now_ms);
    if (phase_ == kClosed) return;
  }
}

void SimTablet::handleFrame(const std::string& head, const std::string& body, int64_t now_ms) {
  int type = 0;
  std::string id = "0";
  try {
    JsonDocument doc;
    parse_json(head, &doc);
    type = static_cast<int>(json_as_int(json_at(doc, "type")));
    id = json_as_text(json_at(doc, "instruct_id"));
  } catch (const std::exception&) {
    return;
  }
  if (options_.verbose) printf("%d: %s %s\n", user_id_, head.c_str(), body.c_str());
  switch (type) {
    case 3: {  // USER_INFO_REQUEST
      JsonWriter w;
      w.begin_object()
          .member("user_id", user_id_)
          .member("user_name", "sim" + std::to_string(user_id_))
          .member("group_id", options_.groups)
          .member("class_id", options_.class_id)
          .member("mtype", "ludtablet")
          .member("version_code", "1.0")
          .member("log_type", options_.log_type)
          .member("user_ip", "127.0.0.1")
          .member("user_mac", options_.mac_prefix + "-" + std::to_string(user_id_))
          .end_object();
      sendFrame(2, w.str());
      phase_ = kWaitAck;
      break;
    }
    case 1:  // ACK: logged in
      if (phase_ == kWaitAck) phase_ = kWorking;
      break;
    case 4:  // HEARTBEAT
      if (last_heartbeat_ms_ != 0) last_gap_ms_ = now_ms - last_heartbeat_ms_;
      last_heartbeat_ms_ = now_ms;
      heartbeats_++;
      sendFrame(8);
      break;
    case 5:  // INSTRUCTION
      if (arrivals_.find(id) == arrivals_.end()) arrivals_[id] = now_ms;
      if (options_.receipt_delay_ms >= 0 && receipts_due_.find(id) == receipts_due_.end()) {
        receipts_due_[id] = now_ms + options_.receipt_delay_ms;
        onTick(now_ms);
      }
      break;
    case 6:  // LOGIN_REFUSED
      close();
      break;
    case 7:   // KICKOFF
    case 11:  // QUIT
      sendFrame(1);
      break;
    default:
      break;
  }
}

void SimTablet::onTick(int64_t now_ms) {
  for (auto it = receipts_due_.begin(); it != receipts_due_.end(); ++it) {
    if (it->second >= 0 && it->second <= now_ms) {
      sendFrame(9, "", it->first);
      it->second = -1;  // sent
      if (phase_ == kClosed) return;
    }
  }
}
