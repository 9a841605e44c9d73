// ludguard: keeps ludarium running beside it, mirrors its state and offers
// start, stop and exit in the tray (on Linux through `ludguard --ctl`).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "LudguardApp.h"
#include "StateStore.h"
#include "Supervisor.h"
#include "Tray.h"

// The process-wide objects, made before main in this order and never
// destroyed (the program ends with _Exit).
namespace {
// Opened before main and held for the whole run, so the table outlives
// every restart of ludarium.
StateStore gStateStore;
Supervisor gSupervisor(&gStateStore);
}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && strcmp(argv[1], "--ctl") == 0) {
    if (argc != 3) {
      fprintf(stderr, "usage: ludguard --ctl start|stop|exit|status\n");
      return 1;
    }
    std::string reply;
    int code = tray_remote_command(argv[2], &reply);
    fprintf(code == 0 ? stdout : stderr, "%s\n", reply.c_str());
    return code;
  }
  int code = runLudguard(argc, argv, gSupervisor);
  // Detached supervisor threads may still use process-wide objects: end
  // without running static destructors under them.
  fflush(nullptr);
  std::_Exit(code);
}
