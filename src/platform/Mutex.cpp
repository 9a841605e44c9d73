#include "Mutex.h"

Mutex::~Mutex() {
  if (m_ != nullptr) mutex_destroy(&m_);
}

Mutex& Mutex::operator=(Mutex&& other) noexcept {
  if (this != &other) {
    if (m_ != nullptr) mutex_destroy(&m_);
    m_ = other.m_;
    other.m_ = nullptr;
  }
  return *this;
}

Condition::~Condition() {
  if (c_ != nullptr) cond_destroy(&c_);
}

Condition& Condition::operator=(Condition&& other) noexcept {
  if (this != &other) {
    if (c_ != nullptr) cond_destroy(&c_);
    c_ = other.c_;
    other.c_ = nullptr;
  }
  return *this;
}
