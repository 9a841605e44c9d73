#include "PortRange.h"

#include "Net.h"

int first_free_port(int first, int last, const char* ip) {
  for (int port = first; port <= last; ++port) {
    if (port_in_use(port, ip) == 0) return port;
  }
  return last + 1;
}
