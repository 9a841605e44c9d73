#include <malloc.h>

#include "Memory.h"

void release_free_memory() { malloc_trim(0); }
