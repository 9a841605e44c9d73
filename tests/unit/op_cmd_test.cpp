#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>

#include "APIPullOpCmd.h"
#include "APISendOpCmd.h"
#include "Clock.h"
#include "FakeRequest.h"
#include "OpCmd.h"
#include "Thread.h"

TEST(OpCmd, KeepsTheNewestTwentyPerTypeInOrder) {
  OpCmd queue;
  for (int i = 1; i <= 25; ++i) queue.set("a", "cmd" + std::to_string(i));
  queue.set("b", "other");
  for (int i = 6; i <= 25; ++i) EXPECT_EQ("cmd" + std::to_string(i), queue.get("a"));
  EXPECT_EQ("", queue.get("a"));
  EXPECT_EQ("other", queue.get("b"));
  EXPECT_EQ("", queue.get("never named"));
}

TEST(APIPullOpCmd, TimeoutIsOneToTwentySeconds) {
  EXPECT_EQ(5, APIPullOpCmd::timeoutSeconds("5"));
  EXPECT_EQ(1, APIPullOpCmd::timeoutSeconds("1"));
  EXPECT_EQ(20, APIPullOpCmd::timeoutSeconds("20"));
  EXPECT_EQ(7, APIPullOpCmd::timeoutSeconds("7s"));
  for (const char* text :
       {"0", "abc", "-1", "100", "21", "", "18446744073709551615", "99999999999999999999"}) {
    EXPECT_EQ(20, APIPullOpCmd::timeoutSeconds(text)) << text;
  }
}

TEST(APIPullOpCmd, AnswersTheCommandRawOrRefusesMissingParameters) {
  OpCmd queue;
  APISendOpCmd send(&queue);
  APIPullOpCmd pull(&queue, 10);
  FakeRequest missing("/sendOpCmd?info=x");
  send.onHandleEvent(missing);
  EXPECT_EQ("{\"status\":0,\"msg\":\"no info or type\"}", missing.replyBody());
  FakeRequest sent("/sendOpCmd");
  sent.withBody("type=t&info=a%26b+c");
  send.onHandleEvent(sent);
  EXPECT_EQ("{\"status\":1,\"msg\":\"ok\"}", sent.replyBody());

  FakeRequest no_type("/pullOpCmd?timeout=1");
  pull.onHandleEvent(no_type);
  EXPECT_EQ("{\"status\":0,\"msg\":\"no timeout or type\"}", no_type.replyBody());
  FakeRequest got("/pullOpCmd?timeout=1&type=t");
  pull.onHandleEvent(got);
  EXPECT_EQ(
      "HTTP/1.1 200 OK\r\nAccess-Control-Allow-Origin: *\r\nContent-Type: "
      "text/plain;charset=utf-8\r\n"
      "Content-Length: 5\r\n\r\na&b c",
      got.written);
}

TEST(APIOpCmd, ParametersOver1022BytesCountAsMissing) {
  OpCmd queue;
  APISendOpCmd send(&queue);
  APIPullOpCmd pull(&queue, 10);
  const std::string fits(1022, 'a'), over(1023, 'a');
  FakeRequest long_type("/sendOpCmd?info=x&type=" + over);
  send.onHandleEvent(long_type);
  EXPECT_EQ("{\"status\":0,\"msg\":\"no info or type\"}", long_type.replyBody());
  FakeRequest long_info("/sendOpCmd?type=t&info=" + over);
  send.onHandleEvent(long_info);
  EXPECT_EQ("{\"status\":0,\"msg\":\"no info or type\"}", long_info.replyBody());
  EXPECT_EQ(0u, queue.typeCount());
  FakeRequest longest("/sendOpCmd?type=" + fits + "&info=" + fits);
  send.onHandleEvent(longest);
  EXPECT_EQ("{\"status\":1,\"msg\":\"ok\"}", longest.replyBody());

  FakeRequest pull_long("/pullOpCmd?timeout=1&type=" + over);
  pull.onHandleEvent(pull_long);
  EXPECT_EQ("{\"status\":0,\"msg\":\"no timeout or type\"}", pull_long.replyBody());
  FakeRequest pull_longest("/pullOpCmd?timeout=1&type=" + fits);
  pull.onHandleEvent(pull_longest);
  EXPECT_EQ(fits, pull_longest.replyBody());
}

TEST(APIOpCmd, NewTypesBeyondTheLimitAreRefusedAndOldOnesKeepWorking) {
  OpCmd queue;
  APISendOpCmd send(&queue);
  for (size_t i = 0; i < OpCmd::kMaxTypes; ++i) {
    ASSERT_TRUE(queue.set("type" + std::to_string(i), "c"));
  }
  EXPECT_FALSE(queue.set("one-more", "c"));
  FakeRequest refused("/sendOpCmd?type=another&info=c");
  send.onHandleEvent(refused);
  EXPECT_EQ("{\"status\":0,\"msg\":\"too many types\"}", refused.replyBody());
  EXPECT_EQ(OpCmd::kMaxTypes, queue.typeCount());
  // Pulls of unknown types create nothing.
  EXPECT_EQ("", queue.get("never-sent"));
  EXPECT_EQ(OpCmd::kMaxTypes, queue.typeCount());
  EXPECT_TRUE(queue.set("type7", "second"));
  EXPECT_EQ("c", queue.get("type7"));
  EXPECT_EQ("second", queue.get("type7"));
}

namespace {

struct Puller {
  Puller(APIPullOpCmd* a, std::string u) : api(a), uri(std::move(u)) {}
  APIPullOpCmd* api;
  std::string uri;
  std::atomic<bool> done{false};
  std::string body;
};

unsigned run_pull(void* arg) {
  Puller* p = static_cast<Puller*>(arg);
  FakeRequest request(p->uri);
  p->api->onHandleEvent(request);
  p->body = request.replyBody();
  p->done = true;
  return 0;
}

bool wait_until(const std::function<bool()>& condition, int ms) {
  for (int waited = 0; !condition(); waited += 5) {
    if (waited > ms) return false;
    sleep_ms(5);
  }
  return true;
}

}  // namespace

TEST(APIPullOpCmd, OnlyTheLimitOfPullsWaitsAndASendReachesAWaitingPull) {
  OpCmd queue;
  APIPullOpCmd pull(&queue, 2);
  Puller first{&pull, "/pullOpCmd?timeout=20&type=x"};
  Puller second{&pull, "/pullOpCmd?timeout=20&type=y"};
  ASSERT_EQ(0, thread_begin(run_pull, &first));
  ASSERT_EQ(0, thread_begin(run_pull, &second));
  ASSERT_TRUE(wait_until([&] { return pull.waiting() == 2; }, 30000));

  // The third finds nothing and may not wait: an empty body at once.
  int64_t start = elapsed_ms();
  FakeRequest third("/pullOpCmd?timeout=20&type=x");
  pull.onHandleEvent(third);
  EXPECT_EQ("", third.replyBody());
  EXPECT_LT(elapsed_ms() - start, 15000);
  // A command already queued is still handed over while the slots are full.
  queue.set("z", "ready");
  FakeRequest ready("/pullOpCmd?timeout=20&type=z");
  pull.onHandleEvent(ready);
  EXPECT_EQ("ready", ready.replyBody());

  queue.set("x", "for-first");
  queue.set("y", "for-second");
  ASSERT_TRUE(wait_until([&] { return first.done && second.done; }, 30000));
  EXPECT_EQ("for-first", first.body);
  EXPECT_EQ("for-second", second.body);
  EXPECT_EQ(0, pull.waiting());
}
