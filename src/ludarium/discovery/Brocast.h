// The course holder and broadcast announcer. It keeps the published course
// under its mutex; every writer copies (getData), changes the copy and
// stores it back (setData). The announcer thread that sends the course to
// the classroom network joins this class with the discovery subsystem.
//
// Thread safety: mutex_ guards data_. stopped_ is read and written without
// the lock (an atomic flag).
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "BrocastData.h"
#include "Mutex.h"

class Brocast {
 public:
  Brocast();
  ~Brocast();

  BrocastData getData();
  // The published class id alone (no copy of the record): what every
  // session checks on each pass.
  int32_t classId();

  // Clears the stop flag, stores the record, then re-runs the adapter choice
  // (outside the lock), which may change the socket ip.
  void setData(const BrocastData& data);

  // Sets only the running field; it neither resumes the announcer nor
  // re-runs the adapter choice.
  void setRuning(int32_t value);

  // Stops the announcer until the next setData.
  void stop();
  bool stopped() const { return stopped_; }

  // The course JSON; "" while no course is published (class id -1).
  std::string getJSONString();

  // Called by setData after the record is stored; the adapter choice.
  void setAdapterHook(std::function<void()> hook);

 private:
  mutex_t mutex_;
  BrocastData data_;
  std::atomic<bool> stopped_{false};
  std::function<void()> adapter_hook_;  // set once at start-up, before any setData
};

extern Brocast gBorcastObj;
