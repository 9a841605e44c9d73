#include "StateStore.h"

#include <cstring>
#include <type_traits>

#include "Clock.h"
#include "SharedState.h"

const char* const StateStore::kMutexName = "com.norvale.tessera.ipc.lock";
const char* const StateStore::kMappingName = "com.norvale.tessera.ipc.shm";

namespace {

const size_t kFlagOffset = 0;
const size_t kKeyOffset = 4;
const size_t kValueOffset = 1028;
const size_t kTimeOffset = 2056;

// Integers are stored little-endian whatever the host's byte order.
template <typename T>
T load_le(const unsigned char* p) {
  typedef typename std::make_unsigned<T>::type Bits;
  Bits v = 0;
  for (int i = sizeof(T) - 1; i >= 0; --i) v = static_cast<Bits>((v << 8) | p[i]);
  return static_cast<T>(v);
}

template <typename T>
void store_le(unsigned char* p, T value) {
  typename std::make_unsigned<T>::type v = static_cast<typename std::make_unsigned<T>::type>(value);
  for (size_t i = 0; i < sizeof(T); ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// Copies at most 1024 bytes of text (up to an embedded zero) and a zero
// byte behind them; that zero may land in the byte after the field.
void store_text(unsigned char* field, const std::string& text) {
  size_t n = strnlen(text.c_str(), StateStore::kTextSize);
  memcpy(field, text.data(), n);
  field[n] = 0;
}

// Reads a text up to its zero byte, which may lie one byte past the field;
// never further, so a record without any terminator cannot be overrun.
std::string load_text(const unsigned char* field) {
  const unsigned char* end =
      static_cast<const unsigned char*>(memchr(field, 0, StateStore::kTextSize + 1));
  size_t n = end ? static_cast<size_t>(end - field) : StateStore::kTextSize;
  return std::string(reinterpret_cast<const char*>(field), n);
}

}  // namespace

StateStore::StateStore(const char* mutex_name, const char* mapping_name) {
  open(mutex_name, mapping_name);
}

StateStore::~StateStore() { close(); }

void StateStore::open(const char* mutex_name, const char* mapping_name) {
  if (mutex_ == nullptr) mutex_ = NamedMutex::open(mutex_name);
  if (mutex_ != nullptr && mapping_ == nullptr) mapping_ = SharedMemory::open(mapping_name, kSize);
  if (mapping_ != nullptr && view_ == nullptr) view_ = mapping_->data();
  if (view_ == nullptr) close();
}

void StateStore::close() {
  view_ = nullptr;
  delete mapping_;
  mapping_ = nullptr;
  delete mutex_;
  mutex_ = nullptr;
}

int StateStore::lock() {
  switch (mutex_->lock(kLockTimeoutMs)) {
    case NamedMutex::kAcquired:
      return 0;
    case NamedMutex::kTimeout:
      return -1;
    case NamedMutex::kAbandoned:
      // The previous owner died holding the lock. This wait counts as failed,
      // but it made us the owner: give the lock back so nobody waits for ever.
      mutex_->unlock();
      return -3;
    default:
      return -3;
  }
}

int StateStore::unlock() { return mutex_->unlock() == 0 ? 0 : -2; }

int StateStore::find(const std::string& key) const {
  for (int i = 0; i < kRecords; ++i) {
    const unsigned char* r = record(i);
    if (load_le<int32_t>(r + kFlagOffset) == 1 && load_text(r + kKeyOffset) == key) return i;
  }
  return -1;
}

StateStore::Record StateStore::load(int i) const {
  const unsigned char* r = record(i);
  if (load_le<int32_t>(r + kFlagOffset) != 1) return Record{-1, "", "", 0};
  return Record{i, load_text(r + kKeyOffset), load_text(r + kValueOffset),
                load_le<int64_t>(r + kTimeOffset)};
}

int StateStore::write(const std::string& key, const std::string& value) {
  if (view_ == nullptr) return -3;
  int rc = lock();
  if (rc != 0) return rc;
  // An empty value never replaces a stored one: it goes to a new record.
  int found = value.empty() ? -1 : find(key);
  if (found >= 0) {
    unsigned char* r = record(found);
    store_text(r + kValueOffset, value);
    store_le<int64_t>(r + kTimeOffset, wall_ms());
  } else {
    for (int i = 0; i < kRecords; ++i) {
      unsigned char* r = record(i);
      if (load_le<int32_t>(r + kFlagOffset) == 1) continue;
      store_le<int32_t>(r + kFlagOffset, 1);
      store_text(r + kKeyOffset, key);
      store_text(r + kValueOffset, value);
      store_le<int64_t>(r + kTimeOffset, wall_ms());
      break;
    }
  }
  return unlock();
}

int StateStore::read(const std::string& key, std::string* value, int64_t* time) {
  if (view_ == nullptr) return -3;
  int rc = lock();
  if (rc != 0) return rc;
  int found = find(key);
  if (found >= 0) {
    const unsigned char* r = record(found);
    if (value != nullptr) *value = load_text(r + kValueOffset);
    if (time != nullptr) *time = load_le<int64_t>(r + kTimeOffset);
  }
  return unlock();
}

int StateStore::remove(const std::string& key) {
  if (view_ == nullptr) return -3;
  int rc = lock();
  if (rc != 0) return rc;
  int found = find(key);
  if (found >= 0) store_le<int32_t>(record(found) + kFlagOffset, 0);
  return unlock();
}
