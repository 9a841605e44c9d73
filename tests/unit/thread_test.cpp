#include "Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <string>
#include <memory>

#include "Clock.h"

namespace {

// Records where it ended: the thread that ran the body destroys its state.
struct Token {
  std::atomic<bool>* destroyed;
  ~Token() { *destroyed = true; }
};

bool wait_for(const std::atomic<bool>& flag, int ms) {
  int64_t end = elapsed_ms() + ms;
  while (!flag && elapsed_ms() < end) sleep_ms(5);
  return flag;
}

}  // namespace

TEST(ThreadRunTest, TheNewThreadRunsTheBodyAndThenDestroysWhatItOwns) {
  std::atomic<bool> ran{false};
  std::atomic<bool> destroyed{false};
  std::atomic<uint32_t> runner{0};
  std::unique_ptr<Token> token(new Token{&destroyed});
  ASSERT_EQ(0, thread_run([owned = std::move(token), &ran, &runner]() {
    runner = current_thread_id();
    ran = true;
  }));
  EXPECT_TRUE(wait_for(ran, 5000));
  EXPECT_TRUE(wait_for(destroyed, 5000));
  EXPECT_NE(current_thread_id(), runner.load());
}

// A name longer than Linux takes (15 characters) must still name the
// thread, cut, rather than be refused whole. On Linux the thread reads its
// name back from /proc (under Wine that path shows another process's).
TEST(ThreadRunTest, ALongNameIsCutNotRefused) {
  struct State {
    std::atomic<bool> done{false};
    std::string name;
  };
  auto state = std::make_shared<State>();
  ASSERT_EQ(0, thread_run([state] {
    thread_set_name("a very long thread name");
#if defined(__linux__)
    std::ifstream comm("/proc/thread-self/comm");
    std::getline(comm, state->name);
#endif
    state->done = true;
  }));
  ASSERT_TRUE(wait_for(state->done, 5000));
#if defined(__linux__)
  EXPECT_EQ("a very long thr", state->name);
#endif
}
