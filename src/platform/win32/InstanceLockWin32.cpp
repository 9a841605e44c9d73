// Single instance on Win32: a flag in the executable's shared data section
// "ServerIn", seen by every process running this image; and the folder lock,
// a file held open without sharing.
#include <windows.h>

#include "InstanceLock.h"

namespace {
// Never cleared: it reads 1 for every later instance while any instance
// keeps the image mapped.
volatile LONG g_instance_flag __attribute__((section("ServerIn"), shared)) = 0;
}  // namespace

bool claim_single_instance() { return InterlockedCompareExchange(&g_instance_flag, 1, 0) == 0; }

FolderLock claim_folder_lock(const std::string& path) {
  // No sharing at all: a second open fails with a sharing violation while
  // this handle lives, and the handle lives as long as the process.
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) return FolderLock::kClaimed;
  return GetLastError() == ERROR_SHARING_VIOLATION ? FolderLock::kHeld : FolderLock::kUnavailable;
}
