#include <gtest/gtest.h>

#include "ASAuthorizeServer.h"

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
