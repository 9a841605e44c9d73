#include <gtest/gtest.h>

#include "CommandLine.h"

// Windows splits an unquoted command line at its first blank, so a program
// installed under "D:\Class 3" would get "3\ludarium.exe" as an argument
// (which ludarium reads as a 3-second session time-out).
TEST(ProgramCommandLine, QuotesThePathSoABlankDoesNotSplitIt) {
  EXPECT_EQ("\"D:\\Class 3\\ludarium.exe\"", program_command_line("D:\\Class 3\\ludarium.exe"));
  EXPECT_EQ("\"C:\\Program Files\\ludguard.exe\"",
            program_command_line("C:\\Program Files\\ludguard.exe"));
  EXPECT_EQ("\"C:\\lud\\ludarium.exe\"", program_command_line("C:\\lud\\ludarium.exe"));
}
