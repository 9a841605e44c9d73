// The course holder and broadcast announcer (one process-wide instance,
// gBorcastObj). It keeps the published course; every writer copies it
// (getData), changes the copy and stores it back (setData). Its announcer
// thread sends the course JSON as UDP datagrams to the directed broadcast
// address of the chosen network adapter, on two channels, so that tablets
// find the server without configuration.
//
// Threads: the announcer thread runs from construction until destruction;
// every other method may be called from any thread.
// Locks: mutex_ guards data_ (with json_), broadcast_, selected_card_ and working_. The
// broadcast address and the course's socket ip are replaced together under
// it, so no reader sees one half-changed. The adapter queries run outside
// it, under apply_mutex_ alone, which orders whole adapter choices so that
// an older choice never lands after a newer one. stopped_ is an atomic flag
// written without the lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "BrocastData.h"
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

  // Starts the socket library (2.2) and, when that works, creates the UDP
  // socket, takes the broadcast address from the host's own address and
  // starts the announcer thread. Without the socket library the holder
  // works but nothing is ever announced.
  Brocast();
  explicit Brocast(AdapterSource adapters);
  // Ends the announcer thread (waiting for its current pass) and closes the
  // socket.
  ~Brocast();

  BrocastData getData();
  // The published class id alone (no copy of the record): what every
  // session checks on each pass.
  int32_t classId();

  // Clears the stop flag, stores the record, then re-runs the adapter choice
  // (outside the lock), which sets the socket ip and the broadcast address.
  void setData(const BrocastData& data);

  // Changes the stored record in place under the lock, so that writers of
  // different fields never lose each other's change (a getData/setData pair
  // can), then acts as setData. An exception from change leaves the record
  // as change left it and skips the rest.
  void update(const std::function<void(BrocastData&)>& change);

  // Called (outside the lock, on the writer's thread) after a setData or
  // update that changed the class id. Set once, before the writers start.
  void on_class_change(std::function<void()> watcher) { class_watcher_ = std::move(watcher); }

  // Sets only the running field; it neither resumes the announcer nor
  // re-runs the adapter choice.
  void setRuning(int32_t value);

  // Stops the announcer until the next setData; seen within 100 ms.
  void stop();
  bool stopped() const { return stopped_; }

  // The course JSON; "" while no course is published (class id -1).
  std::string getJSONString();

  // The announcer's destination address, dotted.
  std::string broadcastAddress();

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
  void init();
  void setAddresses(const std::string& address, const std::string& mask);
  static unsigned int announcerThread(void* self);

  Mutex mutex_;
  Mutex apply_mutex_;
  Socket sock_{kInvalidSocket, SocketClose::kGraceful};
  BrocastData data_;
  std::string json_;          // data_.toJSON() while json_valid_
  bool json_valid_ = false;
  int json_timeout_ = 0;      // the itimeout json_ was written with
  std::atomic<bool> stopped_{false};
  std::function<void()> class_watcher_;
  std::string broadcast_;
  std::string selected_card_;
  std::vector<std::string> working_;
  const AdapterSource adapters_;
  bool net_started_ = false;
  std::atomic<bool> quit_{false};
  std::atomic<bool> thread_running_{false};
};

extern Brocast gBorcastObj;
