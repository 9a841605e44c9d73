// The published course (the process's one BrocastData) and the state of its
// announcement: the stop flag and the broadcast address. Every writer copies
// the record (getData), changes the copy and stores it back (setData), or
// changes it in place (update).
//
// Threads: every method may be called from any thread.
// Locks: mutex_ guards data_ (with json_) and broadcast_; the broadcast
// address and the course's socket ip are replaced together under it, so no
// reader sees one half-changed. stopped_ is an atomic flag written without
// the lock. The hooks run outside the lock, on the writer's thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "BrocastData.h"
#include "Mutex.h"
#include "Settings.h"

class CourseHolder {
 public:
  explicit CourseHolder(const Settings& settings);
  CourseHolder(const CourseHolder&) = delete;
  CourseHolder& operator=(const CourseHolder&) = delete;

  BrocastData getData();
  // The published class id alone (no copy of the record): what every
  // session checks on each pass.
  int32_t classId();

  // Clears the stop flag, stores the record, then runs the publish hook (the
  // announcer's adapter choice, which sets the socket ip and the broadcast
  // address).
  void setData(const BrocastData& data);

  // Changes the stored record in place under the lock, so that writers of
  // different fields never lose each other's change (a getData/setData pair
  // can), then acts as setData. An exception from change leaves the record
  // as change left it and skips the rest.
  void update(const std::function<void(BrocastData&)>& change);

  // Run after every setData or update. Set once, before the writers start.
  void on_publish(std::function<void()> hook) { publish_hook_ = std::move(hook); }
  // Run after a setData or update that changed the class id. Set once,
  // before the writers start.
  void on_class_change(std::function<void()> watcher) { class_watcher_ = std::move(watcher); }
  // Run after every change of what the announcer sends or whether it
  // sends: setData, update, setRuning, stop, the addresses, and a
  // getJSONString that finds the session time-out changed. Set once,
  // before the writers start. It must not call back into the holder's
  // writers.
  void on_change(std::function<void()> hook) { change_hook_ = std::move(hook); }

  // Sets only the running field; it neither resumes the announcer nor runs
  // the publish hook.
  void setRuning(int32_t value);

  // Stops the announcement until the next setData or update.
  void stop() {
    stopped_ = true;
    changed();
  }
  bool stopped() const { return stopped_; }

  // The course JSON; "" while no course is published (class id -1).
  std::string getJSONString();

  // Where the course is announced, dotted.
  std::string broadcastAddress();
  // Replaces the course's socket ip and the broadcast address together.
  void setAddresses(const std::string& socket_ip, const std::string& broadcast);
  // Replaces the broadcast address alone.
  void setBroadcastAddress(const std::string& broadcast);

 private:
  void published(bool class_changed);
  void changed() {
    if (change_hook_) change_hook_();
  }

  const Settings& settings_;
  Mutex mutex_;
  BrocastData data_;
  std::string json_;       // data_.toJSON() while json_valid_
  bool json_valid_ = false;
  int32_t json_timeout_ = 0;  // the time-out json_ was written with
  std::string broadcast_;
  std::atomic<bool> stopped_{false};
  std::function<void()> publish_hook_;
  std::function<void()> class_watcher_;
  std::function<void()> change_hook_;
};
