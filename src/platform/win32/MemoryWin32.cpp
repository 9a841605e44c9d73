#include <malloc.h>
#include <windows.h>

#include "Memory.h"

void release_free_memory() {
  _heapmin();
  HeapCompact(GetProcessHeap(), 0);
}
