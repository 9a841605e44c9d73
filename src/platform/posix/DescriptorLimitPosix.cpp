#include <sys/resource.h>

#include "DescriptorLimit.h"

int raise_descriptor_limit(int wanted) {
  rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return -1;
  rlim_t want = static_cast<rlim_t>(wanted);
  if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= want) {
    return limit.rlim_cur == RLIM_INFINITY ? wanted : static_cast<int>(limit.rlim_cur);
  }
  rlimit raised = limit;
  raised.rlim_cur = limit.rlim_max == RLIM_INFINITY || limit.rlim_max >= want ? want : limit.rlim_max;
  if (setrlimit(RLIMIT_NOFILE, &raised) != 0) return static_cast<int>(limit.rlim_cur);
  return static_cast<int>(raised.rlim_cur);
}
