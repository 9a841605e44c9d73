#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

#include "Brocast.h"
#include "CourseHolder.h"
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
