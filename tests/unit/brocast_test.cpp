#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Brocast.h"
#include "CourseHolder.h"
#include "FakeAdapters.h"
#include "Net.h"
#include "Settings.h"
#include "Thread.h"

namespace {

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
  // The log thread may print a line of an earlier test meanwhile (on a
  // loaded machine it did): log lines begin " YYYY-"; they are not ours.
  std::string ours;
  for (size_t at = 0, end; at < console.size(); at = end + 1) {
    end = console.find('\n', at);
    if (end == std::string::npos) end = console.size();
    std::string line = console.substr(at, end - at + 1);
    if (!(line.size() > 5 && line[0] == ' ' && line.compare(1, 2, "20") == 0)) ours += line;
  }
  EXPECT_EQ("Status: deactive\n", ours);
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

TEST(Brocast, AChangeGoesOutAtOnceNotWithTheNextRepeat) {
  // Between its 9 s repeats the announcer sleeps; every writer of the
  // course must wake it. The bound is well under the 9 s a sleeping
  // announcer would take to send the new text with its repeat.
  FakeAdapters fake;
  fake.status = {up(true, {"127.0.0.1"})};
  fake.records = {record("lo", "127.0.0.1", "255.0.0.0")};
  Receiver channel0("127.255.255.255", 0);
  Settings settings;
  CourseHolder course(settings);
  Brocast announcer(course, fake.source());
  BrocastData data;
  data.class_id = 12;
  course.setData(data);
  // The announcer fills in the course's address itself after its first
  // send, which is then a change of its own: the first text may or may not
  // have it yet, so only the course is checked here.
  EXPECT_NE(std::string::npos, channel0.next(5000).find("\"class_id\":12,"));
  sleep_ms(500);  // the announcer is asleep until its repeat

  auto arrives = [&channel0](const std::string& text) {
    for (int i = 0; i < 40; ++i) {
      if (channel0.next(100) == text) return true;
    }
    return false;
  };
  course.update([](BrocastData& d) { d.class_name = "renamed"; });
  EXPECT_TRUE(arrives(course.getJSONString()));
  course.setRuning(1);  // a writer that does not republish the course
  EXPECT_TRUE(arrives(course.getJSONString()));
}
