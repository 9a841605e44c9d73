#include "FWUtil.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Clock.h"
#include "FileSystem.h"
#include "GuardLog.h"
#include "Util.h"

namespace {

const fw_result kFail = static_cast<fw_result>(0x80004005);  // E_FAIL

// A firewall whose steps succeed unless told otherwise; it records the
// calls and keeps one list of applications.
class FakeFirewall : public FirewallBackend {
 public:
  fw_result com = kFwOk, manager = kFwOk, policy = kFwOk, profile = kFwOk, apps = kFwOk,
            enabled_result = kFwOk, create_app = kFwOk, put_path = kFwOk, put_name_r = kFwOk,
            add_r = kFwOk, remove_r = kFwOk;
  bool listed = false, listed_enabled = false, texts_ok = true;
  int uninitialized = 0, added = 0, held = 0;
  std::vector<std::string> calls;

  fw_result com_initialize() override { return step("com", com); }
  void com_uninitialize() override { ++uninitialized; }
  fw_result create_manager() override { return hold(step("manager", manager)); }
  fw_result get_local_policy() override { return hold(step("policy", policy)); }
  fw_result get_current_profile() override { return step("profile", profile); }
  void release_manager_and_policy() override { held = 0; }
  void release_profile() override { calls.push_back("release_profile"); }
  fw_result get_authorized_applications() override { return step("apps", apps); }
  void release_applications() override {}
  bool make_path_text(const std::string& p) override {
    path = p;
    return texts_ok;
  }
  bool make_name_text(const std::string& n) override {
    name = n;
    return texts_ok;
  }
  void free_texts() override {}
  fw_result item(bool* found) override {
    *found = listed;
    return kFwOk;
  }
  fw_result get_enabled(bool* on) override {
    *on = listed_enabled;
    return enabled_result;
  }
  void release_item() override {}
  fw_result create_application() override { return step("create", create_app); }
  fw_result put_process_image_file_name() override { return step("put_path", put_path); }
  fw_result put_name() override { return step("put_name", put_name_r); }
  fw_result add() override {
    fw_result r = step("add", add_r);
    if (r == kFwOk) {
      ++added;
      listed = listed_enabled = true;
    }
    return r;
  }
  void release_application() override {}
  fw_result remove() override {
    fw_result r = step("remove", remove_r);
    if (r == kFwOk) listed = listed_enabled = false;
    return r;
  }

  std::string path, name;

 private:
  fw_result step(const char* what, fw_result r) {
    calls.push_back(what);
    return r;
  }
  fw_result hold(fw_result r) {
    if (r == kFwOk) ++held;
    return r;
  }
};

class FWUtilTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = path_join(temp_dir(), "fwutil-test-" + std::to_string(wall_ms()) + ".log");
    setLogFile(log_);
  }
  void TearDown() override { remove_file(log_); }
  std::string log() { return read_text_file(log_); }
  fw_result run() { return enableFireWall(&fw_, "C:\\lud\\ludarium.exe", "Guard"); }

  std::string log_;
  FakeFirewall fw_;
};

TEST_F(FWUtilTest, FirstRunAddsTheApplicationThenLaterRunsFindIt) {
  EXPECT_EQ(kFwOk, run());
  EXPECT_EQ(1, fw_.added);
  EXPECT_EQ("C:\\lud\\ludarium.exe", fw_.path);
  EXPECT_EQ("Guard", fw_.name);
  EXPECT_NE(std::string::npos, log().find("fwutil:")) << log();
  EXPECT_NE(std::string::npos,
            log().find("[FWUtil::WindowsFirewallAppIsEnabled] Authorized application "
                       "C:\\lud\\ludarium.exe is disabled in the firewall.\n\n"));
  EXPECT_NE(std::string::npos,
            log().find("[FWUtil::WindowsFirewallAddApp] Authorized application "
                       "C:\\lud\\ludarium.exe is now enabled in the firewall.\n"));
  EXPECT_EQ(1, fw_.uninitialized);
  EXPECT_EQ(0, fw_.held);

  EXPECT_EQ(kFwOk, run());
  EXPECT_EQ(1, fw_.added);
  EXPECT_NE(std::string::npos, log().find("C:\\lud\\ludarium.exe is enabled in the firewall."));
  EXPECT_EQ(2, fw_.uninitialized);
}

TEST_F(FWUtilTest, ListedButDisabledIsAddedAgain) {
  fw_.listed = true;
  EXPECT_EQ(kFwOk, run());
  EXPECT_EQ(1, fw_.added);
  EXPECT_NE(std::string::npos, log().find("is disabled in the firewall."));
  EXPECT_NE(std::string::npos, log().find("is now enabled in the firewall."));
}

TEST_F(FWUtilTest, ComInAnotherModeIsAcceptedAndLeftInitialised) {
  fw_.com = kFwChangedMode;
  EXPECT_EQ(kFwOk, run());
  EXPECT_EQ(1, fw_.added);
  EXPECT_EQ(0, fw_.uninitialized);
}

TEST_F(FWUtilTest, ComFailureEndsTheRoutine) {
  fw_.com = kFail;
  EXPECT_EQ(kFail, run());
  EXPECT_EQ(std::vector<std::string>{"com"}, fw_.calls);
  EXPECT_NE(std::string::npos, log().find("ludguard:"));
  EXPECT_NE(std::string::npos, log().find("[enableFireWall] CoInitializeEx failed: 0x80004005\n"));
  EXPECT_EQ(0, fw_.uninitialized);
}

TEST_F(FWUtilTest, InitialisationFailuresNameTheirStepAndReleaseEverything) {
  struct Case {
    fw_result FakeFirewall::*field;
    const char* line;
  } cases[] = {
      {&FakeFirewall::manager,
       "[FWUtil::WindowsFirewallInitialize] CoCreateInstance failed: 0x80004005"},
      {&FakeFirewall::policy,
       "[FWUtil::WindowsFirewallInitialize] get_LocalPolicy failed: 0x80004005"},
      {&FakeFirewall::profile,
       "[FWUtil::WindowsFirewallInitialize] get_CurrentProfile failed: 0x80004005"},
  };
  for (const Case& c : cases) {
    FakeFirewall fw;
    fw.*(c.field) = kFail;
    remove_file(log_);
    EXPECT_EQ(kFail, enableFireWall(&fw, "p", "n"));
    EXPECT_NE(std::string::npos, log().find(c.line)) << log();
    EXPECT_NE(std::string::npos,
              log().find("[enableFireWall] WindowsFirewallInitialize failed: 0x80004005"));
    EXPECT_EQ(0, fw.added);
    EXPECT_EQ(0, fw.held);
    EXPECT_EQ(1, fw.uninitialized);
  }
}

TEST_F(FWUtilTest, AddFailuresAreLoggedByStepAndSummarised) {
  struct Case {
    fw_result FakeFirewall::*field;
    const char* line;
  } cases[] = {
      {&FakeFirewall::create_app,
       "[FWUtil::WindowsFirewallAddApp] CoCreateInstance failed: 0x80070005"},
      {&FakeFirewall::put_path,
       "[FWUtil::WindowsFirewallAddApp] put_ProcessImageFileName failed: 0x80070005"},
      {&FakeFirewall::put_name_r, "[FWUtil::WindowsFirewallAddApp] put_Name failed: 0x80070005"},
      {&FakeFirewall::add_r, "[FWUtil::WindowsFirewallAddApp] Add failed: 0x80070005"},
  };
  for (const Case& c : cases) {
    FakeFirewall fw;
    fw.*(c.field) = kFwAccessDenied;
    remove_file(log_);
    EXPECT_EQ(kFwAccessDenied, enableFireWall(&fw, "p", "n"));
    EXPECT_NE(std::string::npos, log().find(c.line)) << log();
    EXPECT_NE(std::string::npos,
              log().find("[enableFireWall] WindowsFirewallAddApp failed: 0x80070005"));
    EXPECT_EQ(std::string::npos, log().find("now enabled"));
  }
}

TEST_F(FWUtilTest, LookupFailuresStopBeforeAdding) {
  fw_.apps = kFail;
  EXPECT_EQ(kFail, run());
  EXPECT_NE(std::string::npos, log().find("get_AuthorizedApplications failed: 0x80004005"));
  EXPECT_NE(std::string::npos, log().find("WindowsFirewallAppIsEnabled failed: 0x80004005"));
  EXPECT_EQ(0, fw_.added);

  FakeFirewall fw;
  fw.texts_ok = false;
  remove_file(log_);
  EXPECT_EQ(kFwOutOfMemory, enableFireWall(&fw, "p", "n"));
  EXPECT_NE(std::string::npos, log().find("SysAllocString failed: 0x8007000e"));

  FakeFirewall listed;
  listed.listed = true;
  listed.enabled_result = kFail;
  remove_file(log_);
  EXPECT_EQ(kFail, enableFireWall(&listed, "p", "n"));
  EXPECT_NE(std::string::npos, log().find("get_Enabled failed: 0x80004005"));
  EXPECT_EQ(0, listed.added);
}

TEST_F(FWUtilTest, UninstallRemovesTheEntryAndLogsFailures) {
  EXPECT_EQ(kFwOk, run());
  EXPECT_EQ(kFwOk, disableFireWall(&fw_, "C:\\lud\\ludarium.exe"));
  EXPECT_FALSE(fw_.listed);
  EXPECT_EQ("C:\\lud\\ludarium.exe", fw_.path);
  EXPECT_NE(std::string::npos,
            log().find("[FWUtil::WindowsFirewallRemoveApp] Authorized application "
                       "C:\\lud\\ludarium.exe is removed from the firewall.\n"));
  EXPECT_EQ(2, fw_.uninitialized);
  EXPECT_EQ(0, fw_.held);

  FakeFirewall fw;
  fw.remove_r = kFwAccessDenied;
  remove_file(log_);
  EXPECT_EQ(kFwAccessDenied, disableFireWall(&fw, "p"));
  EXPECT_NE(std::string::npos,
            log().find("[FWUtil::WindowsFirewallRemoveApp] Remove failed: 0x80070005"));
  EXPECT_NE(std::string::npos,
            log().find("[disableFireWall] WindowsFirewallRemoveApp failed: 0x80070005"));
  EXPECT_EQ(std::string::npos, log().find("is removed"));
}

}  // namespace
