#include "CourseHolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdexcept>

#include "Brocast.h"
#include "BrocastData.h"
#include "FakeAdapters.h"
#include "Settings.h"
#include "Thread.h"

TEST(CourseHolder, UpdatesOfDifferentFieldsAreNeverLost) {
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

TEST(CourseHolder, KeepsTheCourseAndItsFlags) {
  int choices = 0;
  AdapterSource counting;
  counting.status = [](std::vector<AdapterStatus>* out, std::string*) {
    out->clear();
    return 0;
  };
  counting.records = [&choices](std::vector<AdapterRecord>* out) {
    out->clear();
    choices++;
    return 0;
  };
  Settings settings;
  CourseHolder holder(settings);
  Brocast announcer(holder, counting);
  EXPECT_EQ("", holder.getJSONString());
  holder.stop();
  BrocastData d = holder.getData();
  d.class_id = 3;
  holder.setData(d);
  EXPECT_FALSE(holder.stopped());
  EXPECT_EQ(1, choices);  // setData re-runs the adapter choice
  holder.stop();
  holder.setRuning(1);
  EXPECT_TRUE(holder.stopped());  // the running flag does not resume the announcer
  EXPECT_EQ(1, choices);
  EXPECT_EQ(1, holder.getData().runing);
  EXPECT_NE(std::string::npos, holder.getJSONString().find("\"class_id\":3,"));
  // The JSON shows the session time-out of the settings, 35 when it is 0.
  EXPECT_NE(std::string::npos, holder.getJSONString().find("\"timeout\":35,"));
  settings.setItimeout(120);
  EXPECT_NE(std::string::npos, holder.getJSONString().find("\"timeout\":120,"));
}

TEST(CourseHolder, EveryChangeOfWhatIsAnnouncedRunsTheChangeHook) {
  // The announcer sleeps until this hook wakes it: a writer that does not
  // run it leaves the tablets with the old course until the next repeat.
  Settings settings;
  CourseHolder holder(settings);
  int changes = 0;
  holder.on_change([&changes] { changes++; });
  auto runs = [&](const std::function<void()>& write) {
    int before = changes;
    write();
    return changes - before;
  };
  BrocastData d;
  d.class_id = 5;
  EXPECT_GE(runs([&] { holder.setData(d); }), 1);
  EXPECT_GE(runs([&] { holder.update([](BrocastData& c) { c.class_name = "x"; }); }), 1);
  EXPECT_GE(runs([&] { holder.setRuning(1); }), 1);
  EXPECT_GE(runs([&] { holder.stop(); }), 1);
  EXPECT_GE(runs([&] { holder.setAddresses("10.0.0.7", "10.0.0.255"); }), 1);
  EXPECT_GE(runs([&] { holder.setBroadcastAddress("255.255.255.255"); }), 1);
  // Readers of an unchanged course run it not at all; the first reader that
  // sees a new session time-out runs it once.
  holder.getJSONString();
  EXPECT_EQ(0, runs([&] { holder.getJSONString(); }));
  settings.setItimeout(90);
  EXPECT_EQ(1, runs([&] { holder.getJSONString(); }));
  EXPECT_EQ(0, runs([&] { holder.getJSONString(); }));
}
