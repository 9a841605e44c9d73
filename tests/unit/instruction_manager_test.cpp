#include "InstructionManager.h"

#include <gtest/gtest.h>

namespace {

Instruction with_id(uint64_t id) {
  Instruction i;
  i.instruct_id = id;
  return i;
}

}  // namespace

TEST(InstructionManager, EachInstructionStaysCurrentForItsHandOverTime) {
  InstructionManager m;
  EXPECT_EQ(0u, m.getInstruction(1000).instruct_id);
  m.add(with_id(1), 1000);
  m.add(with_id(2), 1050);
  m.add(with_id(3), 1100);
  EXPECT_EQ(1u, m.getInstruction(2500).instruct_id);  // 1500 ms: not yet more than
  EXPECT_EQ(2u, m.getInstruction(2501).instruct_id);
  EXPECT_EQ(2u, m.getInstruction(2550).instruct_id);  // its own 1500 ms from 1050
  EXPECT_EQ(3u, m.getInstruction(2551).instruct_id);
  EXPECT_EQ(3u, m.getInstruction(999999).instruct_id);  // the last one stays
}

TEST(InstructionManager, AnOldInstructionWaitsForANewerOneAndOneRemovalPerCall) {
  InstructionManager m;
  m.add(with_id(7), 0);
  EXPECT_EQ(7u, m.getInstruction(100000).instruct_id);
  m.add(with_id(8), 100000);
  m.add(with_id(9), 100001);
  EXPECT_EQ(8u, m.getInstruction(100002).instruct_id);
  EXPECT_EQ(8u, m.getInstruction(101500).instruct_id);
}

TEST(InstructionManager, TimeUntilTheNextHandOver) {
  // What the instruction worker sleeps: nothing is due while at most one
  // instruction is queued; with more, the front goes 1.5 s after it came.
  InstructionManager m;
  EXPECT_EQ(-1, m.untilHandOver(0));
  m.add(with_id(1), 1000);
  EXPECT_EQ(-1, m.untilHandOver(99999));
  m.add(with_id(2), 1200);
  EXPECT_EQ(1501, m.untilHandOver(1000));
  EXPECT_EQ(1, m.untilHandOver(2500));
  EXPECT_EQ(0, m.untilHandOver(2501));
  EXPECT_EQ(0, m.untilHandOver(9000));
  EXPECT_EQ(2u, m.getInstruction(2501).instruct_id);
  EXPECT_EQ(-1, m.untilHandOver(2501));
}
