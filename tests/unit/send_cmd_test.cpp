#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "APISendCmd.h"
#include "JsonReader.h"
#include "ServerObjects.h"

namespace {

int32_t lock_in_command(const Instruction& in) {
  JsonDocument doc;
  parse_json(in.szInstruction, &doc);
  return static_cast<int32_t>(json_as_int(json_at(doc, "lock_screen")));
}

}  // namespace

TEST(APISendCmd, TargetMembersOfAnotherTypeConvertAndAMissingOneHasAnEmptyText) {
  ServerObjects o;
  APISendCmd api(o.course, o.manager, o.set, o.reporting);
  Instruction in;
  std::string error;
  ASSERT_TRUE(api.buildInstruction("{\"type\":\"class\",\"class_id\":\"12\"}",
                                           "{\"id\":\"7\",\"params\":{\"action\":\"lock_screen\"}}",
                                           &in, &error));
  EXPECT_EQ(12, in.class_id);
  EXPECT_EQ("class", in.type);
  EXPECT_EQ(7u, in.instruct_id);
  EXPECT_FALSE(api.buildInstruction("{\"class_id\":12}", "{\"id\":\"7\"}", &in, &error));
  EXPECT_EQ("exception: std::out_of_range parse target or command error", error);
  EXPECT_FALSE(
      api.buildInstruction("{\"type\":\"class\"}", "{\"params\":{}}", &in, &error));
  EXPECT_EQ("exception: std::out_of_range parse target or command error", error);
}

TEST(APISendCmd, TheInstructionCarriesTheLockStateWrittenIntoItsCommand) {
  // Two callers locking and unlocking at once: each instruction's lock state
  // must be the one its own command text says, whatever the other one did
  // in between.
  ServerObjects o;
  APISendCmd api(o.course, o.manager, o.set, o.reporting);
  std::atomic<int> mismatches{0};
  auto send = [&api, &mismatches](const char* action) {
    const std::string command =
        std::string("{\"id\":\"1\",\"params\":{\"action\":\"") + action + "\"}}";
    for (int i = 0; i < 3000; ++i) {
      Instruction in;
      std::string error;
      if (!api.buildInstruction("{\"type\":\"class\",\"class_id\":1}", command, &in,
                                        &error) ||
          in.lock_screen != lock_in_command(in)) {
        mismatches++;
      }
    }
  };
  std::thread locker(send, "lock_screen");
  std::thread unlocker(send, "unlock_screen");
  locker.join();
  unlocker.join();
  EXPECT_EQ(0, mismatches.load());
}

TEST(APISendCmd, AnIdOutsideOneToTwoToTheSixtyFourMinusTwoIsRefused) {
  ServerObjects o;
  APISendCmd api(o.course, o.manager, o.set, o.reporting);
  const std::string target = "{\"type\":\"class\",\"class_id\":12}";
  auto build = [&](const std::string& id, Instruction* in, std::string* error) {
    return api.buildInstruction(target, "{\"id\":" + id + ",\"params\":{\"action\":\"lock_screen\"}}", in,
                                error);
  };
  Instruction in;
  std::string error;
  for (const char* good : {"1", "\"1\"", "18446744073709551614", "\"18446744073709551614\""}) {
    EXPECT_TRUE(build(good, &in, &error)) << good;
  }
  EXPECT_EQ(18446744073709551614ull, in.instruct_id);
  // All bits set is every receipt's "none"; 2^64 and more, exponent forms
  // and fractions used to become other ids (1e19 read as 1), and strings
  // wrapped.
  for (const char* bad : {"0", "\"0\"", "18446744073709551615", "\"18446744073709551615\"",
                          "18446744073709551616", "\"18446744073709551617\"", "1e19", "1e3", "7.0", "-7",
                          "\"-7\"", "\"7x\"", "\"\"", "\"1e19\"", "true", "null", "[7]"}) {
    EXPECT_FALSE(build(bad, &in, &error)) << bad;
    EXPECT_EQ(APISendCmd::kBadIdText, error) << bad;
  }
}
