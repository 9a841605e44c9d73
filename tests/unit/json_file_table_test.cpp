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

TEST(JsonFileTable, ReadMergesTheFileAndGivesMissingMembersTheirDefaults) {
  ScratchDir scratch("table");
  JsonFileTable table(scratch.dir(), "t", columns(), 0);
  EXPECT_EQ("std::runtime_error", table.read().error);  // no file yet
  table.put({"kept", "1"});
  // Texts read as text whatever their type; numbers are cut to 32 bits; a
  // member an older version did not write gets its default.
  write_text_file(
      table.path(),
      "[{\"n\":4294967297,\"name\":\"y\"},{\"name\":5,\"n\":-3},{\"name\":\"x\",\"n\":2},"
      "{\"name\":\"late\"},{\"n\":1}]");
  JsonFileTable::ReadOutcome read = table.read();
  EXPECT_EQ("", read.error);
  EXPECT_EQ("", read.damage);
  EXPECT_EQ(
      "[{\"name\":\"\",\"n\":1},{\"name\":\"5\",\"n\":-3},{\"name\":\"kept\",\"n\":1},"
      "{\"name\":\"late\",\"n\":0},{\"name\":\"x\",\"n\":2},{\"name\":\"y\",\"n\":1}]",
      table.json(table.rows()));
}

TEST(JsonFileTable, ADamagedFileIsSetAsideNeverOverwritten) {
  const char* damaged[] = {"[{\"name\":\"a\",\"n\":1},{\"name\":\"b\"", "{\"name\":\"x\",\"n\":1}",
                           "[1,2]", ""};
  for (const char* text : damaged) {
    ScratchDir scratch("table");
    JsonFileTable table(scratch.dir(), "t", columns(), 0);
    ASSERT_EQ(0, write_text_file(table.path(), text));
    JsonFileTable::ReadOutcome read = table.read();
    EXPECT_NE("", read.damage) << text;
    ASSERT_NE("", read.set_aside) << text;
    EXPECT_EQ(0u, read.set_aside.find(table.path() + ".bad-")) << read.set_aside;
    EXPECT_EQ(text, read_text_file(read.set_aside));
    EXPECT_EQ(0u, table.rows().size());  // nothing half-read is merged
    ASSERT_EQ(0, table.putAndWrite({"new", "2"}));
    EXPECT_EQ("[{\"name\":\"new\",\"n\":2}]", read_text_file(table.path()));
    EXPECT_EQ(text, read_text_file(read.set_aside));
  }
}

TEST(JsonFileTable, AFailedWriteLeavesTheFileAndTheRowsAsTheyWere) {
  ScratchDir scratch("table");
  JsonFileTable table(scratch.dir(), "t", columns(), 0);
  ASSERT_EQ(0, table.putAndWrite({"a", "1"}));
  // Too large: nothing is written, the row is not kept.
  EXPECT_EQ(JsonFileTable::kTooLarge,
            table.putAndWrite({std::string(JsonFileTable::kMaxFileBytes, 'x'), "2"}));
  EXPECT_EQ("[{\"name\":\"a\",\"n\":1}]", read_text_file(table.path()));
  EXPECT_EQ(1u, table.rows().size());
  EXPECT_EQ("config file t would exceed 1048576 bytes",
            table.writeFailureText(JsonFileTable::kTooLarge));

  // A directory where the file should be: the write fails; a deletion and a
  // replacement are undone in the rows as well.
  JsonFileTable blocked(scratch.dir(), "d", columns(), 0);
  ASSERT_EQ(0, make_dir(blocked.path()));
  blocked.put({"a", "1"});
  EXPECT_EQ(JsonFileTable::kNotWritten, blocked.eraseAndWrite("a"));
  EXPECT_EQ(JsonFileTable::kNotWritten, blocked.putAndWrite({"a", "5"}));
  EXPECT_EQ(JsonFileTable::kNotWritten, blocked.putAndWrite({"b", "5"}));
  EXPECT_EQ((std::vector<JsonFileTable::Row>{{"a", "1"}}), blocked.rows());
  EXPECT_EQ("cannot write config file d", blocked.writeFailureText(JsonFileTable::kNotWritten));
  std::vector<DirEntry> entries;
  ASSERT_TRUE(list_dir(scratch.dir(), &entries));
  EXPECT_EQ(2u, entries.size());  // "t" and "d": no temporary file is left
}

TEST(JsonFileTable, TheFileIsParsedOncePerChange) {
  ScratchDir scratch("table");
  JsonFileTable table(scratch.dir(), "t", columns(), 0);
  ASSERT_EQ(0, write_text_file(table.path(), "[{\"name\":\"a\",\"n\":1}]"));
  for (int i = 0; i < 3; ++i) table.read();
  EXPECT_EQ(1u, table.parses());
  // Our own write is known: no parse of what we wrote.
  ASSERT_EQ(0, table.putAndWrite({"b", "2"}));
  table.read();
  EXPECT_EQ(1u, table.parses());
  // A change by someone else, even of the same size, is read.
  ASSERT_EQ(0, write_text_file(table.path() + ".new", "[{\"name\":\"c\",\"n\":3}]"));
  ASSERT_EQ(0, rename_file(table.path() + ".new", table.path()));
  table.read();
  EXPECT_EQ(2u, table.parses());
  JsonFileTable::Row row;
  EXPECT_TRUE(table.find("c", &row));
}
