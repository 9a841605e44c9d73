#include "Brocast.h"

Brocast::Brocast() { mutex_init(&mutex_); }

Brocast::~Brocast() { mutex_destroy(&mutex_); }

BrocastData Brocast::getData() {
  MutexGuard guard(&mutex_);
  return data_;
}

int32_t Brocast::classId() {
  MutexGuard guard(&mutex_);
  return data_.class_id;
}

void Brocast::setData(const BrocastData& data) {
  stopped_ = false;
  {
    MutexGuard guard(&mutex_);
    data_ = data;
  }
  if (adapter_hook_) adapter_hook_();
}

void Brocast::setRuning(int32_t value) {
  MutexGuard guard(&mutex_);
  data_.runing = value;
}

void Brocast::stop() { stopped_ = true; }

std::string Brocast::getJSONString() {
  BrocastData copy = getData();
  return copy.class_id == -1 ? std::string() : copy.toJSON();
}

void Brocast::setAdapterHook(std::function<void()> hook) { adapter_hook_ = std::move(hook); }
