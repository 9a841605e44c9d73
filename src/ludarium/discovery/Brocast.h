// The broadcast announcer: its thread sends the published course's JSON
// (CourseHolder) as UDP datagrams to the directed broadcast address of the
// chosen network adapter, on two channels, so that tablets find the server
// without configuration. It also chooses that adapter: after every change
// of the course, and when the teacher's client selects a card.
//
// Threads: the announcer thread runs from construction until destruction;
// every other method may be called from any thread.
// Between passes the announcer thread sleeps on wake_ until its next send
// or console line is due; the course holder's change hook and the
// destructor wake it early.
// Locks: mutex_ guards selected_card_ and working_. The adapter queries run
// outside it, under apply_mutex_ alone, which orders whole adapter choices
// so that an older choice never lands after a newer one. The course and the
// broadcast address are the holder's, under its own lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "CourseHolder.h"
#include "Mutex.h"
#include "Net.h"
#include "NetAdapters.h"
#include "Socket.h"

// Where the announcer learns the machine's adapters; the system's by
// default (tests give their own).
struct AdapterSource {
  std::function<int(std::vector<AdapterStatus>*, std::string*)> status;
  std::function<int(std::vector<AdapterRecord>*)> records;
};
AdapterSource system_adapter_source();

class Brocast {
 public:
  // Destination ports of the two channels, first choice first.
  static const int kChannelPorts[2][3];
  // The longest text a datagram carries.
  static const size_t kMaxDatagram = 1022;
  // The shortest time between two passes of the announcer thread: a new
  // course goes out at once and, when the last repeat is older than 9 s,
  // once more this long after.
  static constexpr int64_t kPassMs = 100;

  // Starts the socket library (2.2) and, when that works, creates the UDP
  // socket, takes the broadcast address from the host's own address and
  // starts the announcer thread. Without the socket library the course
  // still works but nothing is ever announced. Registers the adapter choice
  // as the course's publish hook.
  explicit Brocast(CourseHolder& course);
  Brocast(CourseHolder& course, AdapterSource adapters);
  // Ends the announcer thread (waiting for its current pass) and closes the
  // socket.
  ~Brocast();
  Brocast(const Brocast&) = delete;
  Brocast& operator=(const Brocast&) = delete;

  // Sends the text (cut to kMaxDatagram) as one datagram on the channel's
  // destination port. 0, or -1 (the reason is printed on the console).
  int sendStringBrocast(const std::string& text, int channel);

  // The addresses of the adapters that are up; prints "Status: deactive"
  // for every other adapter. Stored and returned.
  std::vector<std::string> refreshNetCards();
  // The JSON array of the working adapters ("[]" when the query fails).
  std::string getNetCardInfo();
  // Remembers ip as the chosen card and applies the choice.
  void selectNetCard(const std::string& ip);
  // Sets the broadcast address and the socket ip from the chosen card, or
  // from the first working adapter when no adapter carries the chosen ip.
  void applyNetCard();

  // The channel's first port that in_use reports free; the third port
  // when the first two are both taken.
  static int destinationPort(int channel, const std::function<bool(int)>& in_use);
  // The text a datagram carries: at most kMaxDatagram bytes, and nothing
  // from a zero byte on.
  static std::string datagramText(const std::string& text);

 private:
  static unsigned int announcerThread(void* self);
  // Sleeps until due_ms after pass_ms (due_ms < 0: until woken), or until
  // woken by a change or the destructor; never less than kPassMs after
  // pass_ms, so passes stay as far apart as they always were.
  void waitForNextPass(int64_t pass_ms, int64_t due_ms);

  CourseHolder& course_;
  Mutex mutex_;
  Mutex apply_mutex_;
  Socket sock_{kInvalidSocket, SocketClose::kGraceful};
  std::string selected_card_;
  std::vector<std::string> working_;
  const AdapterSource adapters_;
  bool net_started_ = false;
  Condition wake_;
  std::atomic<bool> quit_{false};
  std::atomic<bool> thread_running_{false};
};
