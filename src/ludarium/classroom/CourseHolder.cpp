#include "CourseHolder.h"

CourseHolder::CourseHolder(const Settings& settings) : settings_(settings) {}

BrocastData CourseHolder::getData() {
  MutexGuard guard(&mutex_);
  return data_;
}

int32_t CourseHolder::classId() {
  MutexGuard guard(&mutex_);
  return data_.class_id;
}

void CourseHolder::setData(const BrocastData& data) {
  stopped_ = false;
  bool class_changed;
  {
    MutexGuard guard(&mutex_);
    class_changed = data_.class_id != data.class_id;
    data_ = data;
    json_valid_ = false;
  }
  published(class_changed);
}

void CourseHolder::update(const std::function<void(BrocastData&)>& change) {
  bool class_changed;
  {
    MutexGuard guard(&mutex_);
    json_valid_ = false;
    int32_t before = data_.class_id;
    change(data_);
    class_changed = data_.class_id != before;
  }
  stopped_ = false;
  published(class_changed);
}

void CourseHolder::published(bool class_changed) {
  if (publish_hook_) publish_hook_();
  changed();
  if (class_changed && class_watcher_) class_watcher_();
}

void CourseHolder::setRuning(int32_t value) {
  {
    MutexGuard guard(&mutex_);
    data_.runing = value;
    json_valid_ = false;
  }
  changed();
}

std::string CourseHolder::getJSONString() {
  int32_t timeout = settings_.sessionTimeoutSeconds();
  std::string json;
  bool timeout_changed = false;
  {
    MutexGuard guard(&mutex_);
    if (data_.class_id == -1) return std::string();
    // Written once per change of the record (or of the time-out it shows),
    // not on every request and announcer pass.
    if (!json_valid_ || json_timeout_ != timeout) {
      // The time-out is the command line's, set by the entry point with no
      // writer of the holder involved: the first reader to see it tells the
      // announcer (the main loop reads the course every second).
      timeout_changed = json_valid_;
      json_ = data_.toJSON(timeout);
      json_timeout_ = timeout;
      json_valid_ = true;
    }
    json = json_;
  }
  if (timeout_changed) changed();
  return json;
}

std::string CourseHolder::broadcastAddress() {
  MutexGuard guard(&mutex_);
  return broadcast_;
}

void CourseHolder::setAddresses(const std::string& socket_ip, const std::string& broadcast) {
  {
    MutexGuard guard(&mutex_);
    broadcast_ = broadcast;
    data_.socket_ip = socket_ip;
    json_valid_ = false;
  }
  changed();
}

void CourseHolder::setBroadcastAddress(const std::string& broadcast) {
  {
    MutexGuard guard(&mutex_);
    broadcast_ = broadcast;
  }
  changed();
}
