// Named mutex and named shared memory on Win32, in the session namespace.
#include <windows.h>

#include <string>

#include "SharedState.h"

namespace {

std::wstring Widen(const char* ascii) {
  std::wstring out;
  for (const char* p = ascii; *p != '\0'; ++p) out.push_back(static_cast<unsigned char>(*p));
  return out;
}

class Win32NamedMutex : public NamedMutex {
 public:
  explicit Win32NamedMutex(HANDLE handle) : handle_(handle) {}
  ~Win32NamedMutex() override { CloseHandle(handle_); }

  WaitResult lock(int timeout_ms) override {
    DWORD timeout = timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms);
    switch (WaitForSingleObject(handle_, timeout)) {
      case WAIT_OBJECT_0:
        return kAcquired;
      case WAIT_TIMEOUT:
        return kTimeout;
      case WAIT_ABANDONED:
        return kAbandoned;
      default:
        return kFailed;
    }
  }

  int unlock() override { return ReleaseMutex(handle_) ? 0 : -1; }

 private:
  HANDLE handle_;
};

class Win32SharedMemory : public SharedMemory {
 public:
  Win32SharedMemory(HANDLE mapping, unsigned char* view, size_t size)
      : mapping_(mapping), view_(view), size_(size) {}
  ~Win32SharedMemory() override {
    UnmapViewOfFile(view_);
    CloseHandle(mapping_);
  }

  unsigned char* data() override { return view_; }
  size_t size() const override { return size_; }

 private:
  HANDLE mapping_;
  unsigned char* view_;
  size_t size_;
};

}  // namespace

NamedMutex* NamedMutex::open(const char* name) {
  if (name == nullptr) return nullptr;
  std::wstring wide = Widen(name);
  HANDLE handle = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, wide.c_str());
  // Another process may create it between the two calls; CreateMutexW then
  // opens that one.
  if (handle == nullptr) handle = CreateMutexW(nullptr, FALSE, wide.c_str());
  if (handle == nullptr) return nullptr;
  return new Win32NamedMutex(handle);
}

SharedMemory* SharedMemory::open(const char* name, size_t size) {
  if (name == nullptr || size == 0) return nullptr;
  std::wstring wide = Widen(name);
  HANDLE mapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, wide.c_str());
  if (mapping == nullptr) {
    uint64_t size64 = size;
    mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                 static_cast<DWORD>(size64 >> 32), static_cast<DWORD>(size64),
                                 wide.c_str());
  }
  if (mapping == nullptr) return nullptr;
  void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0);
  if (view == nullptr) {
    CloseHandle(mapping);
    return nullptr;
  }
  // A block that already existed may be smaller than the caller expects;
  // handing it out would let the caller write past its end.
  MEMORY_BASIC_INFORMATION region;
  if (VirtualQuery(view, &region, sizeof(region)) == 0 || region.RegionSize < size) {
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    return nullptr;
  }
  return new Win32SharedMemory(mapping, static_cast<unsigned char*>(view), size);
}
