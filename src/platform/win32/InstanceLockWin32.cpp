// Single instance on Win32: a named mutex per executable, created and kept
// open for the process's life. The system closes it when the process ends,
// however it ends, so a successor that a crashed instance started (and that
// waits for it to end, crash_wait_for_predecessor) takes over. A flag in a
// shared data section would outlive the crash: the successor maps the same
// section while the crashed process still runs.
//
// The folder lock is a file held open without sharing.
#include <windows.h>

#include <cstdint>

#include "InstanceLock.h"

namespace {

// "Global\ludguard.instance.<hash of the executable's path>": one instance
// per executable on the machine, whichever session runs it.
bool instance_name(wchar_t* name, size_t size) {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return false;
  uint64_t hash = 1469598103934665603ull;  // FNV-1a over the lower-cased path
  for (DWORD i = 0; i < n; ++i) {
    wchar_t c = path[i];
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    hash = (hash ^ static_cast<uint64_t>(c)) * 1099511628211ull;
  }
  const wchar_t prefix[] = L"Global\\ludguard.instance.";
  const size_t prefix_length = sizeof(prefix) / sizeof(prefix[0]) - 1;
  if (size < prefix_length + 17) return false;
  for (size_t i = 0; i < prefix_length; ++i) name[i] = prefix[i];
  for (int i = 0; i < 16; ++i) name[prefix_length + i] = L"0123456789abcdef"[(hash >> (60 - 4 * i)) & 15];
  name[prefix_length + 16] = L'\0';
  return true;
}

}  // namespace

bool claim_single_instance() {
  wchar_t name[64];
  if (!instance_name(name, sizeof(name) / sizeof(name[0]))) return false;
  // Never closed: the claim ends with the process.
  HANDLE mutex = CreateMutexW(nullptr, FALSE, name);
  if (mutex == nullptr) return false;  // e.g. another user's instance holds it
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    return false;
  }
  return true;
}

FolderLock claim_folder_lock(const std::string& path) {
  // No sharing at all: a second open fails with a sharing violation while
  // this handle lives, and the handle lives as long as the process.
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) return FolderLock::kClaimed;
  return GetLastError() == ERROR_SHARING_VIOLATION ? FolderLock::kHeld : FolderLock::kUnavailable;
}
