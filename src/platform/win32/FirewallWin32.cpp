// The Windows Firewall through its COM interfaces (netfw.h). See Firewall.h.
#include <windows.h>
// After windows.h, which they need.
#include <netfw.h>
#include <objbase.h>
#include <oleauto.h>

#include "Firewall.h"

namespace {

const CLSID kClsidFwMgr = {
    0x304CE942, 0x6E39, 0x40D8, {0x94, 0x3A, 0xB9, 0x13, 0xC4, 0x0C, 0x9C, 0xD4}};
const IID kIidFwMgr = {
    0xF7898AF5, 0xCAC4, 0x4632, {0xA2, 0xEC, 0xDA, 0x06, 0xE5, 0x11, 0x1A, 0xF2}};
const CLSID kClsidFwApp = {
    0xEC9846B3, 0x2762, 0x4A6B, {0xA2, 0x14, 0x6A, 0xCB, 0x60, 0x34, 0x62, 0xD2}};
const IID kIidFwApp = {
    0xB5E64FFA, 0xC2C5, 0x444E, {0xA3, 0x01, 0xFB, 0x5E, 0x00, 0x01, 0x80, 0x50}};

template <typename T>
void release(T** p) {
  if (*p != nullptr) (*p)->Release();
  *p = nullptr;
}

// A BSTR of text in the given code page; null when it cannot be made.
BSTR make_bstr(const std::string& text, UINT code_page) {
  int n = MultiByteToWideChar(code_page, 0, text.c_str(), -1, nullptr, 0);
  if (n <= 0) return nullptr;
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(code_page, 0, text.c_str(), -1, &wide[0], n);
  return SysAllocString(wide.c_str());
}

class ComFirewall : public FirewallBackend {
 public:
  ~ComFirewall() override {
    free_texts();
    release_application();
    release_item();
    release_applications();
    release_manager_and_policy();
    release_profile();
  }

  fw_result com_initialize() override {
    return CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  }
  void com_uninitialize() override { CoUninitialize(); }

  fw_result create_manager() override {
    return CoCreateInstance(kClsidFwMgr, nullptr, CLSCTX_INPROC_SERVER, kIidFwMgr,
                            reinterpret_cast<void**>(&manager_));
  }
  fw_result get_local_policy() override { return manager_->get_LocalPolicy(&policy_); }
  fw_result get_current_profile() override { return policy_->get_CurrentProfile(&profile_); }
  void release_manager_and_policy() override {
    release(&policy_);
    release(&manager_);
  }
  void release_profile() override { release(&profile_); }

  fw_result get_authorized_applications() override {
    release_applications();
    if (profile_ == nullptr) return E_POINTER;
    return profile_->get_AuthorizedApplications(&apps_);
  }
  void release_applications() override { release(&apps_); }

  bool make_path_text(const std::string& path) override {
    if (path_ != nullptr) SysFreeString(path_);
    path_ = make_bstr(path, CP_ACP);
    return path_ != nullptr;
  }
  bool make_name_text(const std::string& name) override {
    if (name_ != nullptr) SysFreeString(name_);
    name_ = make_bstr(name, CP_UTF8);  // the display name is UTF-8 text
    return name_ != nullptr;
  }
  void free_texts() override {
    if (path_ != nullptr) SysFreeString(path_);
    if (name_ != nullptr) SysFreeString(name_);
    path_ = nullptr;
    name_ = nullptr;
  }

  // Item fails for a path that is not listed; that is "not found".
  fw_result item(bool* found) override {
    release_item();
    HRESULT hr = apps_->Item(path_, &item_);
    *found = SUCCEEDED(hr) && item_ != nullptr;
    return S_OK;
  }
  fw_result get_enabled(bool* enabled) override {
    VARIANT_BOOL on = VARIANT_FALSE;
    HRESULT hr = item_->get_Enabled(&on);
    *enabled = SUCCEEDED(hr) && on != VARIANT_FALSE;
    return hr;
  }
  void release_item() override { release(&item_); }

  fw_result create_application() override {
    release_application();
    return CoCreateInstance(kClsidFwApp, nullptr, CLSCTX_INPROC_SERVER, kIidFwApp,
                            reinterpret_cast<void**>(&app_));
  }
  fw_result put_process_image_file_name() override { return app_->put_ProcessImageFileName(path_); }
  fw_result put_name() override { return app_->put_Name(name_); }
  fw_result add() override { return apps_->Add(app_); }
  void release_application() override { release(&app_); }

  fw_result remove() override { return apps_->Remove(path_); }

 private:
  INetFwMgr* manager_ = nullptr;
  INetFwPolicy* policy_ = nullptr;
  INetFwProfile* profile_ = nullptr;
  INetFwAuthorizedApplications* apps_ = nullptr;
  INetFwAuthorizedApplication* item_ = nullptr;
  INetFwAuthorizedApplication* app_ = nullptr;
  BSTR path_ = nullptr;
  BSTR name_ = nullptr;
};

}  // namespace

FirewallBackend* FirewallBackend::create(const std::string&) { return new ComFirewall(); }
