// Firewall registration: makes sure ludarium is an enabled authorised
// application of the firewall's current profile, logging every failure.
// Runs on the shell's thread (or the main thread for "/install").
#pragma once

#include <string>

#include "Firewall.h"

class FWUtil {
 public:
  // backend is not owned and is used by this object's thread only.
  explicit FWUtil(FirewallBackend* backend) : fw_(backend) {}

  // Obtains and holds the current profile; the manager and policy are
  // released again.
  fw_result WindowsFirewallInitialize();
  // *enabled = 1 when path is listed and enabled, else 0.
  fw_result WindowsFirewallAppIsEnabled(const std::string& path, int* enabled);
  // Adds path (named `name`) unless it is listed and enabled.
  fw_result WindowsFirewallAddApp(const std::string& path, const std::string& name);
  // Removes path from the authorised applications (nothing when it is not
  // listed).
  fw_result WindowsFirewallRemoveApp(const std::string& path);
  void releaseProfile() { fw_->release_profile(); }

 private:
  FirewallBackend* fw_;
};

// The whole routine with a given backend (tests) ...
fw_result enableFireWall(FirewallBackend* backend, const std::string& path,
                         const std::string& name);
// ... and with the platform's firewall (whose records, where it keeps any
// of its own, go below exe_dir's config folder) for the program at path.
fw_result enableFireWall(const std::string& exe_dir, const std::string& path);

// The opposite, for "/uninstall": the entry of path is removed from the
// current profile. Same COM handling and logging as enableFireWall.
fw_result disableFireWall(FirewallBackend* backend, const std::string& path);
fw_result disableFireWall(const std::string& exe_dir, const std::string& path);
