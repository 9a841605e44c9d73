#include "TeacherPresence.h"

#include <gtest/gtest.h>

TEST(TeacherPresence, RecordsPositiveIdsAndLookupInsertsUnknownOnes) {
  TeacherPresence map;
  map.recordPing(0, 100);
  map.recordPing(-4, 100);
  EXPECT_EQ(0, map.count());
  map.recordPing(5, 100);
  map.recordPing(5, 200);
  EXPECT_EQ(1, map.count());
  EXPECT_EQ(200, map.lookup(5).last_ping_ms);
  EXPECT_EQ(0, map.lookup(9).last_ping_ms);
  EXPECT_EQ(2, map.count());
}
