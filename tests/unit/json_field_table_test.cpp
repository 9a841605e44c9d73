#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "JsonFieldTable.h"

namespace {

struct Record {
  int32_t number = -1;
  std::string text = "unset";
  std::string after = "unset";
};

const JsonFieldTable<Record>& fields() {
  typedef JsonFieldTable<Record>::Field Field;
  static const JsonFieldTable<Record> kFields{
      Field("number", &Record::number),
      Field("text", &Record::text),
      Field("stop",
            [](Record*, const JsonValue& v) {
              if (json_as_int(v) != 0) throw std::out_of_range("");
            }),
      Field("after", &Record::after),
  };
  return kFields;
}

Record read(const std::string& json) {
  Record r;
  fields().read(json, &r);
  return r;
}

}  // namespace

TEST(JsonFieldTable, WalksInDocumentOrderAndTheLaterDuplicateWins) {
  Record r = read("{\"text\":\"a\",\"number\":1,\"text\":\"b\",\"number\":\"2\",\"number\":3}");
  EXPECT_EQ(3, r.number);
  EXPECT_EQ("b", r.text);
  EXPECT_EQ("unset", r.after);
  // A later member of another type still overwrites.
  EXPECT_EQ("7", read("{\"text\":\"a\",\"text\":7}").text);
}

TEST(JsonFieldTable, UnknownMembersAndOtherRootsSetNothing) {
  // Names match whole: a prefix, a longer name, another case, a name with a
  // byte 0 inside, or a nested member of the same name are not the field.
  Record r = read("{\"numbe\":1,\"numbers\":2,\"Number\":3,\"number\\u0000x\":4,\"x\":{\"number\":5}}");
  EXPECT_EQ(-1, r.number);
  EXPECT_EQ("unset", r.text);
  r = read("[{\"number\":1},\"text\"]");
  EXPECT_EQ(-1, r.number);
  EXPECT_EQ("unset", r.text);
}

TEST(JsonFieldTable, ValuesOfAnotherTypeConvertAsTheReaderDoes) {
  Record r = read("{\"number\":\"12\",\"text\":[1,{\"a\":null}]}");
  EXPECT_EQ(12, r.number);
  EXPECT_EQ("[1,{\"a\":null}]", r.text);
  r = read("{\"number\":\"twelve\",\"text\":null}");
  EXPECT_EQ(0, r.number);
  EXPECT_EQ("", r.text);
  r = read("{\"number\":true,\"text\":2.5}");
  EXPECT_EQ(1, r.number);
  EXPECT_EQ("2.5", r.text);
  // Cut to 32 bits as a cast does.
  EXPECT_EQ(static_cast<int32_t>(4294967297LL), read("{\"number\":4294967297}").number);
  EXPECT_EQ(5, read("{\"number\":5.9}").number);
}

TEST(JsonFieldTable, AFailureKeepsWhatWasSetBeforeIt) {
  Record r;
  EXPECT_THROW(fields().read("{\"number\":1,\"stop\":1,\"after\":\"x\"}", &r), std::out_of_range);
  EXPECT_EQ(1, r.number);
  EXPECT_EQ("unset", r.after);
  EXPECT_EQ("x", read("{\"stop\":0,\"after\":\"x\"}").after);
  // Text that does not parse sets nothing.
  r = Record();
  EXPECT_THROW(fields().read("{\"number\":1,", &r), std::runtime_error);
  EXPECT_EQ(-1, r.number);
}
