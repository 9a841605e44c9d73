#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "ASAuthorizeServer.h"
#include "AnnounceSchedule.h"
#include "Brocast.h"
#include "CourseHolder.h"
#include "Settings.h"
#include "Net.h"
#include "NetCardChoice.h"
#include "Thread.h"

namespace {

AdapterRecord record(const char* name, const char* ip, const char* mask) {
  AdapterRecord r;
  r.name = name;
  r.desc = std::string("desc of ") + name;
  r.ip = ip;
  r.mask = mask;
  r.gateway = "0.0.0.0";
  return r;
}

// A fixed set of adapters; `fail_*` make the queries fail.
struct FakeAdapters {
  std::vector<AdapterStatus> status;
  std::vector<AdapterRecord> records;
  bool fail_status = false;
  bool fail_records = false;

  AdapterSource source() {
    AdapterSource s;
    s.status = [this](std::vector<AdapterStatus>* out, std::string* error) {
      out->clear();
      if (fail_status) {
        *error = "broken";
        return 5;
      }
      *out = status;
      return 0;
    };
    s.records = [this](std::vector<AdapterRecord>* out) {
      out->clear();
      if (fail_records) return -1;
      *out = records;
      return 0;
    };
    return s;
  }
};

AdapterStatus up(bool is_up, std::vector<std::string> ipv4) {
  AdapterStatus s;
  s.up = is_up;
  s.ipv4 = std::move(ipv4);
  return s;
}

// UDP sockets bound to a broadcast address on every candidate port of a
// channel, as a tablet on that network receives the announcements. Every
// port, because Wine binds a broadcast address as the any-address, which
// makes the port count as in use for the announcer's probe.
class Receiver {
 public:
  Receiver(const char* ip, int channel) {
    for (int port : Brocast::kChannelPorts[channel]) {
      sock_t s = net_udp_socket();
      EXPECT_NE(kInvalidSocket, s);
      EXPECT_EQ(0, bind_socket(s, ip, port)) << ip << ":" << port;
      sockets_.push_back(s);
    }
  }
  ~Receiver() {
    for (sock_t s : sockets_) close_socket(s);
  }
  // The next datagram on any of the ports, or "" when none came within ms.
  std::string next(int ms) {
    for (int waited = 0; waited < ms; waited += 10) {
      for (sock_t s : sockets_) {
        char buf[2048];
        int n = receive_datagram(s, buf, sizeof(buf), 0);
        if (n > 0) return std::string(buf, static_cast<size_t>(n));
      }
      sleep_ms(10);
    }
    return std::string();
  }
  void drain() {
    while (!next(50).empty()) {
    }
  }

 private:
  std::vector<sock_t> sockets_;
};

}  // namespace

TEST(NetCardChoice, DirectedBroadcastAddress) {
  EXPECT_EQ("192.168.1.255", directed_broadcast("192.168.1.20", "255.255.255.0"));
  EXPECT_EQ("10.0.0.255", directed_broadcast("10.0.0.7", "255.255.255.0"));
  EXPECT_EQ("172.31.255.255", directed_broadcast("172.16.5.4", "255.240.0.0"));
  EXPECT_EQ("10.1.2.3", directed_broadcast("10.1.2.3", "255.255.255.255"));
  EXPECT_EQ("255.255.255.255", directed_broadcast("", ""));
  EXPECT_EQ("255.255.255.255", directed_broadcast("0.0.0.0", "0.0.0.0"));
  EXPECT_EQ(0x0A000007u, ipv4_value("10.0.0.7"));
  for (const char* bad :
       {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1..2.3", "a.b.c.d", "1.2.3.4 ", "1234.1.1.1"}) {
    EXPECT_EQ(0xFFFFFFFFu, ipv4_value(bad)) << bad;
  }
  EXPECT_EQ("0.0.0.0", ipv4_text(0));
  EXPECT_EQ("255.0.128.1", ipv4_text(0xFF008001u));
}

TEST(NetCardChoice, ListingNamesEachWorkingAdapterOnceByItsFirstAddress) {
  std::vector<AdapterRecord> records = {record("wired", "10.0.0.7", "255.255.255.0"),
                                        record("cable-out", "172.16.0.1", "255.255.0.0"),
                                        record("wifi", "192.168.1.20", "255.255.255.0")};
  const unsigned char mac[8] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x77, 0x88};
  memcpy(records[0].mac, mac, sizeof(mac));
  records[0].gateway = "10.0.0.1";
  std::vector<std::string> working = {"10.0.0.7", "10.0.0.8", "192.168.1.20", "127.0.0.1"};
  EXPECT_EQ(
      "[{\"name\":\"wired\",\"desc\":\"desc of wired\",\"mac\":\"00-1a-2b-3c-4d-5e\","
      "\"IP Address\":\"10.0.0.7\",\"IP Mask\":\"255.255.255.0\",\"Gateway\":\"10.0.0.1\"},"
      "{\"name\":\"wifi\",\"desc\":\"desc of wifi\",\"mac\":\"00-00-00-00-00-00\","
      "\"IP Address\":\"192.168.1.20\",\"IP Mask\":\"255.255.255.0\",\"Gateway\":\"0.0.0.0\"}]",
      net_card_list_json(records, working));
  EXPECT_EQ("[]", net_card_list_json(records, {}));
}

TEST(NetCardChoice, SelectedCardElseFirstWorkingElseNothing) {
  std::vector<AdapterRecord> records = {record("down", "172.16.0.1", "255.255.0.0"),
                                        record("wired", "10.0.0.7", "255.255.255.0"),
                                        record("wifi", "192.168.1.20", "255.255.255.0")};
  std::vector<std::string> working = {"10.0.0.7", "192.168.1.20"};
  std::string a, m;
  choose_net_card(records, working, "", &a, &m);
  EXPECT_EQ("10.0.0.7", a);
  EXPECT_EQ("255.255.255.0", m);
  choose_net_card(records, working, "192.168.1.20", &a, &m);
  EXPECT_EQ("192.168.1.20", a);
  choose_net_card(records, working, "172.16.0.1", &a, &m);  // chosen even though it is down
  EXPECT_EQ("172.16.0.1", a);
  EXPECT_EQ("255.255.0.0", m);
  choose_net_card(records, working, "10.9.9.9", &a, &m);
  EXPECT_EQ("10.0.0.7", a);
  choose_net_card(records, {}, "10.9.9.9", &a, &m);
  EXPECT_EQ("", a);
  EXPECT_EQ("", m);
}

TEST(AnnounceSchedule, NewTextAtOnceSameTextEveryNineSeconds) {
  AnnounceSchedule s(0);
  EXPECT_TRUE(s.sendPass("a", 100));  // new: at once, the tick stays at 0
  EXPECT_FALSE(s.sendPass("a", 200));
  EXPECT_FALSE(s.sendPass("a", 8999));
  EXPECT_TRUE(s.sendPass("a", 9000));  // the tick moves to 9000
  EXPECT_FALSE(s.sendPass("a", 17999));
  EXPECT_TRUE(s.sendPass("b", 10000));  // changed: at once, tick still 9000
  EXPECT_FALSE(s.sendPass("b", 10100));
  EXPECT_TRUE(s.sendPass("b", 18000));
}

TEST(AnnounceSchedule, StoppedLineEveryFiveSecondsAndResumeAtOnce) {
  AnnounceSchedule s(0);
  EXPECT_TRUE(s.sendPass("a", 10));
  EXPECT_FALSE(s.stoppedPass(4999));
  EXPECT_TRUE(s.stoppedPass(5000));
  EXPECT_FALSE(s.stoppedPass(9999));
  EXPECT_TRUE(s.stoppedPass(10000));
  EXPECT_TRUE(s.sendPass("a", 10100));  // the same course goes out again at once
  EXPECT_FALSE(s.sendPass("a", 10200));
}

TEST(Brocast, ChannelPortsFollowWhatIsInUse) {
  std::vector<int> busy;
  auto in_use = [&busy](int port) {
    for (int b : busy) {
      if (b == port) return true;
    }
    return false;
  };
  EXPECT_EQ(40011, Brocast::destinationPort(0, in_use));
  EXPECT_EQ(40214, Brocast::destinationPort(1, in_use));
  busy = {40011, 40214};
  EXPECT_EQ(40112, Brocast::destinationPort(0, in_use));
  EXPECT_EQ(40215, Brocast::destinationPort(1, in_use));
  busy = {40011, 40112, 40213, 40214, 40215, 40216};
  EXPECT_EQ(40213, Brocast::destinationPort(0, in_use));  // the third even when taken
  EXPECT_EQ(40216, Brocast::destinationPort(1, in_use));
  busy = {40112};
  EXPECT_EQ(40011, Brocast::destinationPort(0, in_use));
}

TEST(Brocast, DatagramTextIsCutAt1022Bytes) {
  std::string long_text(1500, 'x');
  long_text[1021] = 'y';
  std::string cut = Brocast::datagramText(long_text);
  EXPECT_EQ(1022u, cut.size());
  EXPECT_EQ('y', cut.back());
  EXPECT_EQ(std::string(1022, 'z'), Brocast::datagramText(std::string(1022, 'z')));
  EXPECT_EQ("short", Brocast::datagramText("short"));
  EXPECT_EQ("ab", Brocast::datagramText(std::string("ab\0cd", 5)));
}

TEST(Brocast, AdapterChoiceSetsBroadcastAddressAndSocketIpTogether) {
  FakeAdapters fake;
  fake.status = {up(true, {"10.0.0.7", "10.0.0.8"}), up(false, {"172.16.0.1"}),
                 up(true, {"192.168.1.20"})};
  fake.records = {record("wired", "10.0.0.7", "255.255.255.0"),
                  record("cable-out", "172.16.0.1", "255.255.0.0"),
                  record("wifi", "192.168.1.20", "255.255.255.0")};
  // No course (class id -1): the announcer sends nothing meanwhile.
  Settings settings;
  CourseHolder holder(settings);
  Brocast announcer(holder, fake.source());
  testing::internal::CaptureStdout();
  holder.setData(BrocastData());
  std::string console = testing::internal::GetCapturedStdout();
  EXPECT_EQ("Status: deactive\n", console);
  EXPECT_EQ("10.0.0.255", holder.broadcastAddress());
  EXPECT_EQ("10.0.0.7", holder.getData().socket_ip);

  announcer.selectNetCard("192.168.1.20");
  EXPECT_EQ("192.168.1.255", holder.broadcastAddress());
  EXPECT_EQ("192.168.1.20", holder.getData().socket_ip);
  BrocastData copy = holder.getData();
  copy.socket_ip = "stale";
  holder.setData(copy);  // a replaced course still goes out on the chosen card
  EXPECT_EQ("192.168.1.20", holder.getData().socket_ip);
  EXPECT_EQ("192.168.1.255", holder.broadcastAddress());

  announcer.selectNetCard("10.9.9.9");  // no adapter carries it: the first working one
  EXPECT_EQ("10.0.0.255", holder.broadcastAddress());
  EXPECT_EQ("10.0.0.7", holder.getData().socket_ip);

  fake.fail_records = true;  // a failed query changes nothing
  testing::internal::CaptureStdout();
  announcer.selectNetCard("192.168.1.20");
  console = testing::internal::GetCapturedStdout();
  EXPECT_NE(std::string::npos, console.find("Call to GetAdaptersInfo failed.\n"));
  EXPECT_EQ("10.0.0.255", holder.broadcastAddress());
  EXPECT_EQ("[]", announcer.getNetCardInfo());

  fake.fail_records = false;
  fake.fail_status = true;  // nothing works: both from empty input
  testing::internal::CaptureStdout();
  announcer.selectNetCard("10.9.9.9");
  console = testing::internal::GetCapturedStdout();
  EXPECT_NE(std::string::npos,
            console.find("Call to GetAdaptersAddresses failed.\n\tError: broken"));
  EXPECT_EQ("255.255.255.255", holder.broadcastAddress());
  EXPECT_EQ("", holder.getData().socket_ip);

  fake.fail_status = false;
  std::string listing = announcer.getNetCardInfo();
  EXPECT_NE(std::string::npos, listing.find("\"name\":\"wired\""));
  EXPECT_EQ(std::string::npos, listing.find("cable-out"));
}

// The announcer thread over real sockets: loopback's own broadcast address
// (127.255.255.255) stands for the classroom network.
TEST(Brocast, AnnouncesOnBothChannelsStopsAndResumes) {
  FakeAdapters fake;
  fake.status = {up(true, {"127.0.0.1"})};
  fake.records = {record("lo", "127.0.0.1", "255.0.0.0")};
  Receiver channel0("127.255.255.255", 0);
  Receiver channel1("127.255.255.255", 1);
  Settings settings;
  CourseHolder course(settings);
  Brocast announcer(course, fake.source());
  EXPECT_EQ("", channel0.next(300));  // no course, nothing announced

  BrocastData data;
  data.class_id = 12;
  data.socket_port = 45678;
  course.setData(data);
  EXPECT_EQ("127.255.255.255", course.broadcastAddress());
  std::string expected = course.getJSONString();
  EXPECT_NE(std::string::npos, expected.find("\"socket_ip\":\"127.0.0.1\""));
  EXPECT_EQ(expected, channel0.next(5000));
  EXPECT_EQ(expected, channel1.next(5000));

  course.stop();
  sleep_ms(300);  // a pass under way when stop came may still send
  channel0.drain();
  channel1.drain();
  // Stopped: nothing is sent, and the console says so every 5 s.
  testing::internal::CaptureStdout();
  std::string sent_while_stopped;
  for (int i = 0; i < 16 && sent_while_stopped.empty(); ++i) {
    sent_while_stopped = channel0.next(500) + channel1.next(10);
  }
  std::string console = testing::internal::GetCapturedStdout();
  EXPECT_EQ("", sent_while_stopped);
  EXPECT_NE(std::string::npos, console.find("========== enter  brocast Thread  iexit = 1\n"));

  course.setData(course.getData());  // the same course: resumes at once
  EXPECT_EQ(expected, channel0.next(3000));
  EXPECT_EQ(expected, channel1.next(3000));
}

TEST(ASAuthorizeServer, AcceptFailuresArePacedAndBounded) {
  EXPECT_EQ(0, ASAuthorizeServer::acceptPauseMs(0));
  EXPECT_EQ(100, ASAuthorizeServer::acceptPauseMs(1));
  EXPECT_EQ(200, ASAuthorizeServer::acceptPauseMs(2));
  int previous = 0;
  for (int failures = 1; failures < 1000; ++failures) {
    int pause = ASAuthorizeServer::acceptPauseMs(failures);
    EXPECT_GE(pause, previous);
    EXPECT_LE(pause, 30000);
    previous = pause;
  }
  EXPECT_EQ(30000, previous);
}

TEST(Brocast, UpdatesOfDifferentFieldsAreNeverLost) {
  FakeAdapters fake;
  Settings settings;
  CourseHolder holder(settings);
  Brocast announcer(holder, fake.source());
  struct Writer {
    static unsigned int run(void* arg) {
      Writer* w = static_cast<Writer*>(arg);
      for (int i = 0; i < 500; ++i) w->holder->update([](BrocastData& d) { d.as_policy_port++; });
      w->done = true;
      return 0;
    }
    CourseHolder* holder;
    std::atomic<bool> done{false};
  } writer;
  writer.holder = &holder;
  ASSERT_EQ(0, thread_begin(Writer::run, &writer));
  for (int i = 0; i < 500; ++i) holder.update([](BrocastData& d) { d.socket_port++; });
  for (int i = 0; i < 3000 && !writer.done; ++i) sleep_ms(10);
  ASSERT_TRUE(writer.done);
  EXPECT_EQ(500, holder.getData().socket_port);
  EXPECT_EQ(500, holder.getData().as_policy_port);

  holder.stop();
  EXPECT_THROW(holder.update([](BrocastData&) { throw std::runtime_error("bad"); }),
               std::runtime_error);
  EXPECT_TRUE(holder.stopped());  // a failed change does not resume the announcer
  holder.update([](BrocastData& d) { d.class_id = 4; });
  EXPECT_FALSE(holder.stopped());
}
