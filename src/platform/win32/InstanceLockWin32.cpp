// Single instance on Win32: a flag in the executable's shared data section
// "ServerIn", seen by every process running this image.
#include <windows.h>

#include "InstanceLock.h"

namespace {
// Never cleared: it reads 1 for every later instance while any instance
// keeps the image mapped.
volatile LONG g_instance_flag __attribute__((section("ServerIn"), shared)) = 0;
}  // namespace

bool claim_single_instance() { return InterlockedCompareExchange(&g_instance_flag, 1, 0) == 0; }
