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
  if (class_changed && class_watcher_) class_watcher_();
}

void CourseHolder::setRuning(int32_t value) {
  MutexGuard guard(&mutex_);
  data_.runing = value;
  json_valid_ = false;
}

std::string CourseHolder::getJSONString() {
  int32_t timeout = settings_.sessionTimeoutSeconds();
  MutexGuard guard(&mutex_);
  if (data_.class_id == -1) return std::string();
  // Written once per change of the record (or of the time-out it shows),
  // not on every request and announcer pass.
  if (!json_valid_ || json_timeout_ != timeout) {
    json_ = data_.toJSON(timeout);
    json_timeout_ = timeout;
    json_valid_ = true;
  }
  return json_;
}

std::string CourseHolder::broadcastAddress() {
  MutexGuard guard(&mutex_);
  return broadcast_;
}

void CourseHolder::setAddresses(const std::string& socket_ip, const std::string& broadcast) {
  MutexGuard guard(&mutex_);
  broadcast_ = broadcast;
  data_.socket_ip = socket_ip;
  json_valid_ = false;
}

void CourseHolder::setBroadcastAddress(const std::string& broadcast) {
  MutexGuard guard(&mutex_);
  broadcast_ = broadcast;
}
