// The firewall's list of authorised applications, one call per step, so the
// caller (ludguard's FWUtil) can log each failure with its own text.
//
// Results are HRESULTs: 0 (S_OK) or a negative code.
// Windows: the Windows Firewall COM interfaces (netfw.h): INetFwMgr, its
// local policy's current profile, INetFwAuthorizedApplications and
// INetFwAuthorizedApplication, created in process.
// Linux: there is no per-application firewall. This layer keeps the list of
// authorised applications in a text file (`record_path`, one line per
// application: "1" or "0" for enabled, a tab, the image path, a tab, the
// name); it authorises nothing in the kernel's packet filter. The COM steps
// always succeed; reading a file that exists but cannot be read fails with
// E_ACCESSDENIED, as does a failed write in add() or remove().
//
// One object is used by one thread, for one enableFireWall run; every
// release_* may be called whether or not its object was obtained.
#pragma once

#include <cstdint>
#include <string>

typedef int32_t fw_result;

const fw_result kFwOk = 0;
const fw_result kFwChangedMode = static_cast<fw_result>(0x80010106);   // RPC_E_CHANGED_MODE
const fw_result kFwOutOfMemory = static_cast<fw_result>(0x8007000E);   // E_OUTOFMEMORY
const fw_result kFwAccessDenied = static_cast<fw_result>(0x80070005);  // E_ACCESSDENIED

class FirewallBackend {
 public:
  static FirewallBackend* create(const std::string& record_path);
  virtual ~FirewallBackend() {}  // releases whatever is still held

  // COM for the calling thread (apartment-threaded, no OLE1 DDE).
  virtual fw_result com_initialize() = 0;
  virtual void com_uninitialize() = 0;

  // Opening the current profile: manager, local policy, current profile.
  virtual fw_result create_manager() = 0;
  virtual fw_result get_local_policy() = 0;
  virtual fw_result get_current_profile() = 0;
  virtual void release_manager_and_policy() = 0;
  virtual void release_profile() = 0;

  // The profile's authorised applications.
  virtual fw_result get_authorized_applications() = 0;
  virtual void release_applications() = 0;

  // Text objects (BSTR on Windows); false when one cannot be made.
  virtual bool make_path_text(const std::string& path) = 0;
  virtual bool make_name_text(const std::string& name) = 0;
  virtual void free_texts() = 0;

  // Looks the path text up (Item). *found false when it is not listed.
  virtual fw_result item(bool* found) = 0;
  virtual fw_result get_enabled(bool* enabled) = 0;
  virtual void release_item() = 0;

  // A new entry from the path and name texts, added to the applications.
  virtual fw_result create_application() = 0;
  virtual fw_result put_process_image_file_name() = 0;
  virtual fw_result put_name() = 0;
  virtual fw_result add() = 0;
  virtual void release_application() = 0;

  // Removes the entry of the path text from the applications; succeeds
  // also when none is listed.
  virtual fw_result remove() = 0;
};
