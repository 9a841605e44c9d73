#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "Clock.h"
#include "CrashReporter.h"
#include "FileSystem.h"
#include "Net.h"
#include "Thread.h"
#include "Util.h"

TEST(PortInUse, TcpListenerOrBoundUdpSocketMakeAPortBusy) {
  net_startup(2, 2);
  const int kTcp = 41971, kUdp = 41972, kFree = 41973;
  sock_t tcp = open_tcp_listener("127.0.0.1", kTcp, 4);
  sock_t udp = open_udp_socket("127.0.0.1", kUdp);
  ASSERT_NE(kInvalidSocket, tcp);
  ASSERT_NE(kInvalidSocket, udp);
  EXPECT_EQ(1, port_in_use(kTcp, "127.0.0.1"));
  EXPECT_EQ(1, port_in_use(kUdp, "127.0.0.1"));
  EXPECT_EQ(0, port_in_use(kFree, "127.0.0.1"));
  close_socket(tcp);
  close_socket(udp);
  EXPECT_EQ(0, port_in_use(kUdp, "127.0.0.1"));
}

TEST(NetStartup, JudgesTheStartUpCallByItsResultAndVersions) {
  // Windows Sockets 2.2 granted: version 0x0202, highest 0x0202.
  EXPECT_EQ(0, net_startup_result(0, 0x0202, 0x0202, 2, 2));
  // The call failed (WSASYSNOTREADY, WSAVERNOTSUPPORTED): whatever it reported.
  EXPECT_EQ(-1, net_startup_result(10091, 0x0202, 0x0202, 2, 2));
  EXPECT_EQ(-1, net_startup_result(10092, 0, 0, 2, 2));
  // Started, but not with 2.2: the low byte of the version or the high
  // byte of the highest version differs.
  EXPECT_EQ(-2, net_startup_result(0, 0x0101, 0x0202, 2, 2));
  EXPECT_EQ(-2, net_startup_result(0, 0x0202, 0x0102, 2, 2));
  // The live call: the library is there on every platform we build for.
  EXPECT_EQ(0, net_startup(2, 2));
  net_cleanup();
}

namespace {
std::atomic<int> g_ran{0};
unsigned int mark_ran(void*) {
  g_ran = 1;
  return 7;
}
}  // namespace

TEST(ThreadBegin, RunsTheFunctionOnANewThread) {
  g_ran = 0;
  ASSERT_EQ(0, thread_begin(mark_ran, nullptr));
  for (int i = 0; i < 500 && g_ran == 0; ++i) sleep_ms(10);
  EXPECT_EQ(1, g_ran);
}

TEST(Paths, ModuleAndTemporaryDirectories) {
  std::string dir = module_dir();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir, directory_of(module_path()));
  std::string tmp = temp_dir();
  ASSERT_FALSE(tmp.empty());
  EXPECT_NE('/', tmp.back());
  EXPECT_NE('\\', tmp.back());
}

#if !defined(_WIN32)
#include <csignal>

TEST(CrashReporterDeathTest, ACrashWritesAReportBesideTheLogs) {
  std::string log_dir = path_join(module_dir(), "log");
  EXPECT_EXIT(
      {
        CrashInstallInfo info = {};
        info.size = 100;
        info.app_name = L"test";
        info.app_version = L"1";
        if (crash_install(&info) != 0) _exit(3);
        crash_test();
      },
      ::testing::KilledBySignal(SIGSEGV), "crashed: report written to .*crash-");
  std::vector<DirEntry> entries;
  ASSERT_TRUE(list_dir(log_dir, &entries));
  std::string report;
  for (const DirEntry& e : entries) {
    if (e.name.rfind("crash-", 0) == 0) {
      report = read_text_file(path_join(log_dir, e.name));
      remove_file(path_join(log_dir, e.name));
    }
  }
  EXPECT_NE(std::string::npos, report.find("signal: 11 (SIGSEGV)"));
  EXPECT_NE(std::string::npos, report.find("backtrace:"));
}

TEST(CrashReporter, RefusesABadRecordWithAReadableError) {
  CrashInstallInfo info = {};
  info.size = 12;
  EXPECT_NE(0, crash_install(&info));
  char msg[256];
  crash_last_error(msg, sizeof(msg));
  EXPECT_STRNE("", msg);
}
#endif
