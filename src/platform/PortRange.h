// Choosing a listening port from a range.
#pragma once

// The first port of first..last that port_in_use reports free on ip, probing
// in order; last + 1 when none is free.
int first_free_port(int first, int last, const char* ip);
