#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FileSystem.h"
#include "JsonFileTable.h"
#include "ScratchDir.h"
#include "Util.h"

namespace {

std::vector<JsonFileTable::Column> columns() {
  return {{"name", JsonFileTable::Kind::kText}, {"n", JsonFileTable::Kind::kInt32}};
}

}  // namespace

TEST(JsonFileTable, WritesRowsInKeyOrderWithTextsAndNumbers) {
  ScratchDir scratch("table");
  const std::string dir = path_join(scratch.dir(), "config");
  JsonFileTable table(dir, "t", columns(), 0);
  EXPECT_EQ(path_join(dir, "t"), table.path());
  table.put({"b", "-7"});
  table.put({"B", "2147483647"});
  table.put({"a/\xe9", "0"});
  table.put({"b", "8"});        // replaces by key
  ASSERT_EQ(0, table.write());  // the directory was made by the constructor
  EXPECT_EQ(
      "[{\"name\":\"B\",\"n\":2147483647},{\"name\":\"a\\/"
      "\\u00E9\",\"n\":0},{\"name\":\"b\",\"n\":8}]",
      read_text_file(table.path()));
  JsonFileTable::Row row;
  ASSERT_TRUE(table.find("B", &row));
  EXPECT_EQ((JsonFileTable::Row{"B", "2147483647"}), row);
  table.erase("B");
  EXPECT_FALSE(table.find("B", &row));
  EXPECT_EQ(2u, table.rows().size());
  EXPECT_EQ("[]", table.json({}));
}

TEST(JsonFileTable, ReadMergesTheFileAndStopsAtTheFirstBadRecord) {
  ScratchDir scratch("table");
  JsonFileTable table(scratch.dir(), "t", columns(), 0);
  EXPECT_EQ("std::runtime_error", table.read());  // no file yet
  table.put({"kept", "1"});
  // Texts read as text whatever their type; numbers are cut to 32 bits.
  write_text_file(
      table.path(),
      "[{\"n\":4294967297,\"name\":\"y\"},{\"name\":5,\"n\":-3},{\"name\":\"x\",\"n\":2},"
      "{\"name\":\"late\"},{\"name\":\"never\",\"n\":1}]");
  EXPECT_NE("", table.read());
  EXPECT_EQ(
      "[{\"name\":\"5\",\"n\":-3},{\"name\":\"kept\",\"n\":1},{\"name\":\"x\",\"n\":2},"
      "{\"name\":\"y\",\"n\":1}]",
      table.json(table.rows()));
  write_text_file(table.path(), "{\"name\":\"x\",\"n\":1}");
  EXPECT_EQ("std::runtime_error", table.read());
  EXPECT_EQ(4u, table.rows().size());
}

TEST(JsonFileTable, AFailedWriteKeepsTheOldFileAndTheRows) {
  ScratchDir scratch("table");
  JsonFileTable table(scratch.dir(), "t", columns(), 0);
  table.put({"a", "1"});
  ASSERT_EQ(0, table.write());
  // A directory where the temporary file would go makes the write fail.
  ASSERT_EQ(0, make_dir(table.path() + ".tmp"));
  table.put({"b", "2"});
  EXPECT_EQ(-1, table.write());
  EXPECT_EQ("[{\"name\":\"a\",\"n\":1}]", read_text_file(table.path()));
  EXPECT_EQ(2u, table.rows().size());
}
