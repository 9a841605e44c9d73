#include "Net.h"

int net_startup_result(int error, unsigned version, unsigned high_version, int major, int minor) {
  if (error != 0) return -1;
  if (static_cast<int>(version & 0xFF) != major) return -2;
  if (static_cast<int>((high_version >> 8) & 0xFF) != minor) return -2;
  return 0;
}
