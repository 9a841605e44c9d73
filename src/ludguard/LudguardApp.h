// ludguard's start-up: the common steps (single instance, except for
// "/install" and "/uninstall"; crash reporter, the supervisor's set-up,
// autostart entry), then the command-line switch or the tray mode, then the
// exit step. "/install" exits with 2 when the firewall entry is missing.
#pragma once

class Supervisor;

// Runs the program; returns the process exit code.
int runLudguard(int argc, char** argv, Supervisor& supervisor);
