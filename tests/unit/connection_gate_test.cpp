#include "ConnectionGate.h"

#include <gtest/gtest.h>

TEST(ConnectionGate, EachRemoteHostIsCappedAndThisMachineNever) {
  ConnectionGate gate(2, 10);
  EXPECT_TRUE(gate.admit("10.0.0.7"));
  EXPECT_TRUE(gate.admit("10.0.0.7"));
  EXPECT_FALSE(gate.admit("10.0.0.7"));
  EXPECT_FALSE(gate.admit("10.0.0.7"));
  // Another host has its own count; the teacher's PC has none.
  EXPECT_TRUE(gate.admit("10.0.0.8"));
  for (int i = 0; i < 100; ++i) EXPECT_TRUE(gate.admit("127.0.0.1"));
  EXPECT_TRUE(gate.admit("::1"));
  // Addresses that only begin like the loopback one are other hosts.
  EXPECT_TRUE(gate.admit("127.0.0.10"));
  EXPECT_TRUE(gate.admit("127.0.0.10"));
  EXPECT_FALSE(gate.admit("127.0.0.10"));
  // A closed connection makes room for one more, and only one.
  gate.release("10.0.0.7");
  EXPECT_TRUE(gate.admit("10.0.0.7"));
  EXPECT_FALSE(gate.admit("10.0.0.7"));
}

TEST(ConnectionGate, AllRemoteHostsTogetherAreCapped) {
  ConnectionGate gate(4, 5);
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(gate.admit("10.0.0.1"));
  EXPECT_TRUE(gate.admit("10.0.0.2"));
  EXPECT_FALSE(gate.admit("10.0.0.2"));
  EXPECT_FALSE(gate.admit("10.0.0.3"));
  EXPECT_TRUE(gate.admit("127.0.0.1"));
  gate.release("10.0.0.1");
  EXPECT_TRUE(gate.admit("10.0.0.3"));
  EXPECT_FALSE(gate.admit("10.0.0.1"));
}

TEST(ConnectionGate, ReleasesWithoutAnAdmitTakeNothingFromOthers) {
  ConnectionGate gate(1, 2);
  EXPECT_TRUE(gate.admit("10.0.0.1"));
  EXPECT_TRUE(gate.admit("10.0.0.2"));
  // Neither an unknown host's release nor this machine's frees a place.
  gate.release("10.0.0.9");
  gate.release("127.0.0.1");
  EXPECT_FALSE(gate.admit("10.0.0.3"));
  // A host released twice has no more than its one place back.
  gate.release("10.0.0.1");
  gate.release("10.0.0.1");
  EXPECT_TRUE(gate.admit("10.0.0.1"));
  EXPECT_FALSE(gate.admit("10.0.0.1"));
  EXPECT_FALSE(gate.admit("10.0.0.3"));
}
