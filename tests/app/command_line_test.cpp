// The command line: every option with its value forms, and the refusals.
#include <gtest/gtest.h>

#include "app/command_line.h"
#include "app/program.h"

namespace {

bool Parse(std::vector<std::string> args, TCommandLine& result, std::string& error) {
  result = TCommandLine{};
  error.clear();
  return ParseCommandLine(args, result, error);
}

TEST(CommandLine, DefaultsWithoutArguments) {
  TCommandLine c;
  std::string error;
  ASSERT_TRUE(Parse({}, c, error));
  EXPECT_TRUE(c.ServerHost.empty());
  EXPECT_TRUE(c.ServerPort.empty());
  EXPECT_FALSE(c.Active || c.Batch || c.AnswerYes || c.Help || c.Version);
  EXPECT_EQ(c.TimeoutSeconds, 900);
}

TEST(CommandLine, EveryOptionInBothValueForms) {
  TCommandLine c;
  std::string error;
  ASSERT_TRUE(Parse({"--server", "127.0.0.1:2121", "--drive-c=/tmp/c", "--active", "--batch",
                     "--answer", "yes", "--timeout=30"},
                    c, error))
      << error;
  EXPECT_EQ(c.ServerHost, "127.0.0.1");
  EXPECT_EQ(c.ServerPort, "2121");
  EXPECT_EQ(c.DriveC, "/tmp/c");
  EXPECT_TRUE(c.Active && c.Batch && c.AnswerYes);
  EXPECT_EQ(c.TimeoutSeconds, 30);

  ASSERT_TRUE(Parse({"--server=ftp.example.org", "--answer=no"}, c, error));
  EXPECT_EQ(c.ServerHost, "ftp.example.org");
  EXPECT_TRUE(c.ServerPort.empty());
  EXPECT_FALSE(c.AnswerYes);
  ASSERT_TRUE(Parse({"--server", "h:021"}, c, error));
  EXPECT_EQ(c.ServerPort, "21");
  ASSERT_TRUE(Parse({"--help"}, c, error));
  EXPECT_TRUE(c.Help);
  ASSERT_TRUE(Parse({"--version"}, c, error));
  EXPECT_TRUE(c.Version);
}

TEST(CommandLine, BadOptionsAndValuesAreRefusedWithAReason) {
  struct TCase {
    std::vector<std::string> Args;
    const char* Reason;
  };
  for (const TCase& t : std::vector<TCase>{
           {{"--bogus"}, "unknown option --bogus"},
           {{"extra"}, "unexpected argument"},
           {{"--server"}, "--server needs a value"},
           {{"--server", ":21"}, "host name is missing"},
           {{"--server", "h:0"}, "1 to 65535"},
           {{"--server", "h:65536"}, "1 to 65535"},
           {{"--server", "h:ftp"}, "1 to 65535"},
           {{"--server", "h:"}, "1 to 65535"},
           {{"--server", "bad host"}, "not a host name"},
           {{"--drive-c="}, "empty"},
           {{"--answer", "maybe"}, "expected yes or no"},
           {{"--timeout", "0"}, "expected a number of seconds"},
           {{"--timeout", "-5"}, "expected a number of seconds"},
           {{"--timeout", "10s"}, "expected a number of seconds"},
           {{"--timeout", "99999999999"}, "expected a number of seconds"},
           {{"--batch=yes"}, "takes no value"},
       }) {
    TCommandLine c;
    std::string error;
    EXPECT_FALSE(Parse(t.Args, c, error)) << t.Args[0];
    EXPECT_NE(error.find(t.Reason), std::string::npos) << t.Args[0] << ": " << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << "one line: " << error;
  }
}

TEST(CommandLine, TheDefaultDriveFolderFollowsXdgDataHome) {
  ::setenv("XDG_DATA_HOME", "/srv/data", 1);
  EXPECT_EQ(DefaultDriveCFolder(), "/srv/data/kvb-download/drive_c");
  ::setenv("XDG_DATA_HOME", "relative", 1);  // not absolute: ignored, as XDG asks
  ::setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(DefaultDriveCFolder(), "/home/someone/.local/share/kvb-download/drive_c");
  ::unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(DefaultDriveCFolder(), "/home/someone/.local/share/kvb-download/drive_c");
}

}  // namespace
