// ludguard's start-up: the common steps (single instance, crash reporter,
// initSupervisor, autostart entry), then the command-line switch or the
// tray mode, then the exit step.
#pragma once

class StateStore;

// Runs the program; returns the process exit code. `store` is the process's
// state store, opened before main.
int runLudguard(int argc, char** argv, StateStore* store);
