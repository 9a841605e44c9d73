// One simulated tablet: logs in, answers heartbeats, acknowledges KICKOFF
// and QUIT, sends receipts for instructions (at once, after a delay, or
// never) and notes when each instruction arrived. Driven by the event loop
// of ludtablet; no thread of its own.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "Net.h"
#include "Socket.h"

struct TabletOptions {
  std::string host = "127.0.0.1";
  int port = 45678;
  int32_t class_id = 12;
  std::string groups = "[1]";
  int32_t log_type = 0;
  std::string mac_prefix = "sim";
  int receipt_delay_ms = 0;  // -1: never answer instructions
  bool verbose = false;
};

class SimTablet {
 public:
  enum Phase { kConnecting, kWaitAsk, kWaitAck, kWorking, kClosed };

  SimTablet(int32_t user_id, const TabletOptions& options);
  ~SimTablet();

  bool connect();
  sock_t socket() const { return socket_.get(); }
  Phase phase() const { return phase_; }
  int32_t user_id() const { return user_id_; }

  // The socket is readable: take what came and answer it.
  void onReadable(int64_t now_ms);
  // Sends receipts whose delay has passed.
  void onTick(int64_t now_ms);

  // Arrival time (ms since 1970) of each instruction id, first arrival only.
  const std::map<std::string, int64_t>& arrivals() const { return arrivals_; }
  int heartbeats() const { return heartbeats_; }
  int64_t last_heartbeat_gap_ms() const { return last_gap_ms_; }

 private:
  void handleFrame(const std::string& head, const std::string& body, int64_t now_ms);
  void sendFrame(int type, const std::string& body = std::string(), const std::string& id = "0");
  void close();

  int32_t user_id_;
  TabletOptions options_;
  Socket socket_;
  Phase phase_ = kConnecting;
  std::string buffer_;
  std::map<std::string, int64_t> arrivals_;
  std::map<std::string, int64_t> receipts_due_;  // id -> when to send the receipt
  int heartbeats_ = 0;
  int64_t last_heartbeat_ms_ = 0;
  int64_t last_gap_ms_ = 0;
};

// The head of a frame as tablets write it.
std::string tablet_frame_head(size_t content_length, int type, const std::string& instruct_id);
