// The tool's command line:
//   kvb-download [--server HOST[:PORT]] [--drive-c DIR] [--active] [--batch]
//                [--answer yes|no] [--timeout SECONDS] [--help] [--version]
// An option's value may follow as the next argument or after '='.
#pragma once

#include <string>
#include <vector>

struct TCommandLine {
  std::string ServerHost;  // empty: the fixed server
  std::string ServerPort;  // empty: the service "ftp"
  std::string DriveC;      // empty: the default folder for drive C:
  bool Active = false;
  bool Batch = false;
  bool AnswerYes = false;
  int TimeoutSeconds = 900;
  bool Help = false;
  bool Version = false;
};

// The arguments after the program name. False, with a one-line reason in `error`, for an
// unknown option, a missing or bad value, or an argument that is not an option.
bool ParseCommandLine(const std::vector<std::string>& args, TCommandLine& result,
                      std::string& error);
std::string UsageText();

inline constexpr int MaxTimeoutSeconds = 2000000;  // fits a window timer's milliseconds
