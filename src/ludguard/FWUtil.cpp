#include "FWUtil.h"

#include <functional>
#include <memory>

#include "FileSystem.h"
#include "GuardLog.h"
#include "ProductInfo.h"

namespace {

const char* const kUnit = "fwutil";

unsigned long hex(fw_result r) { return static_cast<unsigned long>(static_cast<uint32_t>(r)); }

bool failed(fw_result r) { return r < 0; }

// The first two steps of looking an application up: the list of authorised
// applications, then its path as the firewall's text. A failing step is
// logged under fn.
fw_result findApplication(FirewallBackend* fw, const char* fn, const std::string& path) {
  fw_result r = fw->get_authorized_applications();
  if (failed(r)) {
    GUARD_LOG(kUnit, fn, "get_AuthorizedApplications failed: 0x%08lx\n", hex(r));
  } else if (!fw->make_path_text(path)) {
    r = kFwOutOfMemory;
    GUARD_LOG(kUnit, fn, "SysAllocString failed: 0x%08lx\n", hex(r));
  }
  return r;
}

}  // namespace

fw_result FWUtil::WindowsFirewallInitialize() {
  const char* fn = "FWUtil::WindowsFirewallInitialize";
  fw_result r = fw_->create_manager();
  if (failed(r)) {
    GUARD_LOG(kUnit, fn, "CoCreateInstance failed: 0x%08lx\n", hex(r));
  } else if (failed(r = fw_->get_local_policy())) {
    GUARD_LOG(kUnit, fn, "get_LocalPolicy failed: 0x%08lx\n", hex(r));
  } else if (failed(r = fw_->get_current_profile())) {
    GUARD_LOG(kUnit, fn, "get_CurrentProfile failed: 0x%08lx\n", hex(r));
  }
  fw_->release_manager_and_policy();
  return r;
}

fw_result FWUtil::WindowsFirewallAppIsEnabled(const std::string& path, int* enabled) {
  const char* fn = "FWUtil::WindowsFirewallAppIsEnabled";
  *enabled = 0;
  fw_result r = findApplication(fw_, fn, path);
  if (!failed(r)) {
    bool found = false;
    r = fw_->item(&found);
    bool on = false;
    if (failed(r) || !found) {
      // Not listed: reported as disabled, and not a failure.
      r = kFwOk;
      GUARD_LOG(kUnit, fn, "Authorized application %s is disabled in the firewall.\n",
                path.c_str());
    } else if (failed(r = fw_->get_enabled(&on))) {
      GUARD_LOG(kUnit, fn, "get_Enabled failed: 0x%08lx\n", hex(r));
    } else if (on) {
      *enabled = 1;
      GUARD_LOG(kUnit, fn, "Authorized application %s is enabled in the firewall.\n", path.c_str());
    } else {
      GUARD_LOG(kUnit, fn, "Authorized application %s is disabled in the firewall.\n",
                path.c_str());
    }
  }
  fw_->free_texts();
  fw_->release_item();
  fw_->release_applications();
  return r;
}

fw_result FWUtil::WindowsFirewallAddApp(const std::string& path, const std::string& name) {
  const char* fn = "FWUtil::WindowsFirewallAddApp";
  int enabled = 0;
  fw_result r = WindowsFirewallAppIsEnabled(path, &enabled);
  if (failed(r)) {
    GUARD_LOG(kUnit, fn, "WindowsFirewallAppIsEnabled failed: 0x%08lx\n", hex(r));
    return r;
  }
  if (enabled) return r;
  if (failed(r = fw_->get_authorized_applications())) {
    GUARD_LOG(kUnit, fn, "get_AuthorizedApplications failed: 0x%08lx\n", hex(r));
  } else if (failed(r = fw_->create_application())) {
    GUARD_LOG(kUnit, fn, "CoCreateInstance failed: 0x%08lx\n", hex(r));
  } else if (!fw_->make_path_text(path)) {
    r = kFwOutOfMemory;
    GUARD_LOG(kUnit, fn, "SysAllocString failed: 0x%08lx\n", hex(r));
  } else if (failed(r = fw_->put_process_image_file_name())) {
    GUARD_LOG(kUnit, fn, "put_ProcessImageFileName failed: 0x%08lx\n", hex(r));
  } else if (!fw_->make_name_text(name)) {
    r = kFwOutOfMemory;
    GUARD_LOG(kUnit, fn, "SysAllocString failed: 0x%08lx\n", hex(r));
  } else if (failed(r = fw_->put_name())) {
    GUARD_LOG(kUnit, fn, "put_Name failed: 0x%08lx\n", hex(r));
  } else if (failed(r = fw_->add())) {
    GUARD_LOG(kUnit, fn, "Add failed: 0x%08lx\n", hex(r));
  } else {
    GUARD_LOG(kUnit, fn, "Authorized application %s is now enabled in the firewall.\n",
              path.c_str());
  }
  fw_->free_texts();
  fw_->release_application();
  fw_->release_applications();
  return r;
}

fw_result FWUtil::WindowsFirewallRemoveApp(const std::string& path) {
  const char* fn = "FWUtil::WindowsFirewallRemoveApp";
  fw_result r = findApplication(fw_, fn, path);
  if (!failed(r)) {
    if (failed(r = fw_->remove())) {
      GUARD_LOG(kUnit, fn, "Remove failed: 0x%08lx\n", hex(r));
    } else {
      GUARD_LOG(kUnit, fn, "Authorized application %s is removed from the firewall.\n", path.c_str());
    }
  }
  fw_->free_texts();
  fw_->release_applications();
  return r;
}

namespace {

// COM and the firewall's profile around one firewall operation, each failure
// logged under `fn` with the name of the step that failed.
fw_result withFirewall(FirewallBackend* backend, const char* fn, const char* step,
                       const std::function<fw_result(FWUtil&)>& operation) {
  fw_result com = backend->com_initialize();
  if (failed(com) && com != kFwChangedMode) {
    GUARD_LOG("ludguard", fn, "CoInitializeEx failed: 0x%08lx\n", hex(com));
    return com;
  }
  FWUtil util(backend);
  fw_result r = util.WindowsFirewallInitialize();
  if (failed(r)) {
    GUARD_LOG("ludguard", fn, "WindowsFirewallInitialize failed: 0x%08lx\n", hex(r));
  } else if (failed(r = operation(util))) {
    GUARD_LOG("ludguard", fn, "%s failed: 0x%08lx\n", step, hex(r));
  }
  util.releaseProfile();
  if (!failed(com)) backend->com_uninitialize();
  return r;
}

}  // namespace

fw_result enableFireWall(FirewallBackend* backend, const std::string& path,
                         const std::string& name) {
  return withFirewall(backend, "enableFireWall", "WindowsFirewallAddApp",
                      [&](FWUtil& util) { return util.WindowsFirewallAddApp(path, name); });
}

fw_result disableFireWall(FirewallBackend* backend, const std::string& path) {
  return withFirewall(backend, "disableFireWall", "WindowsFirewallRemoveApp",
                      [&](FWUtil& util) { return util.WindowsFirewallRemoveApp(path); });
}

namespace {
FirewallBackend* platformFirewall(const std::string& exe_dir) {
  return FirewallBackend::create(path_join(path_join(exe_dir, "config"), "firewall"));
}
}  // namespace

fw_result enableFireWall(const std::string& exe_dir, const std::string& path) {
  std::unique_ptr<FirewallBackend> backend(platformFirewall(exe_dir));
  return enableFireWall(backend.get(), path, kProductFullName);
}

fw_result disableFireWall(const std::string& exe_dir, const std::string& path) {
  std::unique_ptr<FirewallBackend> backend(platformFirewall(exe_dir));
  return disableFireWall(backend.get(), path);
}
