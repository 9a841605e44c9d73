#include "StateStore.h"

#include <algorithm>
#include <cstring>
#include <vector>
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

// Copies n bytes (at most 1024, no zero among them) and a zero byte behind
// them; that zero may land in the byte after the field.
void store_bytes(unsigned char* field, const char* data, size_t n) {
  memcpy(field, data, n);
  field[n] = 0;
}

void store_text(unsigned char* field, const std::string& text) {
  store_bytes(field, text.data(), text.size());
}

std::string continuation_key(const std::string& key, size_t part) {
  return key + "#" + std::to_string(part);
}

// The part number of a continuation key of `key` ("KEY#7" gives 7), or 0.
size_t continuation_part(const std::string& candidate, const std::string& key) {
  if (candidate.size() <= key.size() + 1 || candidate.compare(0, key.size(), key) != 0 ||
      candidate[key.size()] != '#') {
    return 0;
  }
  size_t part = 0;
  for (size_t i = key.size() + 1; i < candidate.size(); ++i) {
    char c = candidate[i];
    if (c < '0' || c > '9' || part > 1000) return 0;
    part = part * 10 + static_cast<size_t>(c - '0');
  }
  return part;
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

StateStore::StateStore(const char* mutex_name, const char* mapping_name)
    : mutex_name_(mutex_name ? mutex_name : ""), mapping_name_(mapping_name ? mapping_name : "") {
  open(mutex_name, mapping_name);
}

bool StateStore::reopen() {
  if (view_ == nullptr) open(mutex_name_.c_str(), mapping_name_.c_str());
  return view_ != nullptr;
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

std::string StateStore::load_value(int head) const {
  const unsigned char* r = record(head);
  std::string value = load_text(r + kValueOffset);
  if (value.size() < kTextSize) return value;
  const std::string key = load_text(r + kKeyOffset);
  const int64_t time = load_le<int64_t>(r + kTimeOffset);
  for (size_t part = 1; part < static_cast<size_t>(kRecords); ++part) {
    int found = find(continuation_key(key, part));
    if (found < 0 || load_le<int64_t>(record(found) + kTimeOffset) != time) break;
    std::string piece = load_text(record(found) + kValueOffset);
    value += piece;
    if (piece.size() < kTextSize) break;
  }
  return value;
}

void StateStore::free_tail(const std::string& key, size_t from) {
  for (int i = 0; i < kRecords; ++i) {
    unsigned char* r = record(i);
    if (load_le<int32_t>(r + kFlagOffset) != 1) continue;
    size_t part = continuation_part(load_text(r + kKeyOffset), key);
    if (part >= from && part > 0) store_le<int32_t>(r + kFlagOffset, 0);
  }
}

int StateStore::write(const std::string& key, const std::string& value) {
  if (view_ == nullptr) return -3;
  // What a reader could not get back as it was given is not stored at all.
  if (key.empty() || key.size() > kTextSize || key.find('\0') != std::string::npos ||
      value.find('\0') != std::string::npos) {
    return kRefused;
  }
  const size_t parts = value.empty() ? 1 : (value.size() + kTextSize - 1) / kTextSize;
  if (parts > 1 && continuation_key(key, parts).size() > kTextSize) return kRefused;
  int rc = lock();
  if (rc != 0) return rc;
  // An empty value never replaces a stored one: it goes to a new record.
  std::vector<int> slots(parts, -1);
  if (!value.empty()) {
    slots[0] = find(key);
    for (size_t part = 1; part < parts; ++part) slots[part] = find(continuation_key(key, part));
  }
  std::vector<int> free_records;
  size_t needed = 0;
  for (int slot : slots) needed += slot < 0 ? 1 : 0;
  for (int i = 0; i < kRecords && free_records.size() < needed; ++i) {
    if (load_le<int32_t>(record(i) + kFlagOffset) != 1) free_records.push_back(i);
  }
  if (free_records.size() < needed) {
    rc = unlock();
    return rc != 0 ? rc : kRefused;
  }
  const int64_t now = wall_ms();
  size_t next_free = 0;
  for (size_t part = 0; part < parts; ++part) {
    int index = slots[part];
    unsigned char* r = record(index >= 0 ? index : free_records[next_free++]);
    if (index < 0) {
      store_le<int32_t>(r + kFlagOffset, 1);
      store_text(r + kKeyOffset, part == 0 ? key : continuation_key(key, part));
    }
    size_t offset = part * kTextSize;
    store_bytes(r + kValueOffset, value.data() + offset,
                std::min(kTextSize, value.size() - std::min(offset, value.size())));
    store_le<int64_t>(r + kTimeOffset, now);
  }
  // A tail left from a longer value before would be joined to this one by
  // no reader (its time differs), but it holds records: give them back.
  if (!value.empty()) free_tail(key, parts);
  return unlock();
}

int StateStore::read(const std::string& key, std::string* value, int64_t* time) {
  if (view_ == nullptr) return -3;
  int rc = lock();
  if (rc != 0) return rc;
  int found = find(key);
  if (found >= 0) {
    const unsigned char* r = record(found);
    if (value != nullptr) *value = load_value(found);
    if (time != nullptr) *time = load_le<int64_t>(r + kTimeOffset);
  }
  return unlock();
}

int StateStore::remove(const std::string& key) {
  if (view_ == nullptr) return -3;
  int rc = lock();
  if (rc != 0) return rc;
  int found = find(key);
  if (found >= 0) {
    store_le<int32_t>(record(found) + kFlagOffset, 0);
    free_tail(key, 1);
  }
  return unlock();
}
