// Process-wide values of the server owned by its entry point.
#pragma once

#include <cstdint>

class StateStore;

// Session time-out in seconds from the first argument; 0 means 35 s.
extern int itimeout;

// When the main loop started, ms since 1970 (the watchdog's grace period).
extern int64_t gLoopStartMs;

extern StateStore gStateStore;

// Keys of the state store written every second and read at start.
extern const char* const kKeyAlive;        // value "ok"
extern const char* const kKeyInstruction;  // current instruction's JSON
extern const char* const kKeyCourse;       // course JSON, "{}" when none
extern const char* const kKeyLastId;       // last instruction id, decimal
