#include "app/command_line.h"

#include <charconv>
#include <optional>

namespace {

std::optional<long> ParseNumber(const std::string& text, long min, long max) {
  long value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || value < min || value > max)
    return std::nullopt;
  return value;
}

bool ParseServer(const std::string& text, TCommandLine& result, std::string& error) {
  std::string host = text;
  std::string port;
  std::size_t colon = text.rfind(':');
  if (colon != std::string::npos) {
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (!ParseNumber(port, 1, 65535)) {
      error = "--server: the port must be a number from 1 to 65535, not \"" + port + "\"";
      return false;
    }
    port = std::to_string(*ParseNumber(port, 1, 65535));
  }
  if (host.empty()) {
    error = "--server: the host name is missing";
    return false;
  }
  for (char ch : host) {
    auto c = static_cast<unsigned char>(ch);
    if (c <= ' ' || c == 0x7F || ch == ':' || ch == '/' || ch == '[' || ch == ']') {
      error = "--server: \"" + host + "\" is not a host name or address";
      return false;
    }
  }
  result.ServerHost = host;
  result.ServerPort = port;
  return true;
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& args, TCommandLine& result,
                      std::string& error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    std::optional<std::string> inlineValue;
    if (arg.rfind("--", 0) == 0) {
      std::size_t eq = arg.find('=');
      if (eq != std::string::npos) {
        inlineValue = arg.substr(eq + 1);
        arg = arg.substr(0, eq);
      }
    }
    auto flag = [&]() {
      if (inlineValue) {
        error = arg + " takes no value";
        return false;
      }
      return true;
    };
    auto value = [&](std::string& out) {
      if (inlineValue) {
        out = *inlineValue;
        return true;
      }
      if (i + 1 >= args.size()) {
        error = arg + " needs a value";
        return false;
      }
      out = args[++i];
      return true;
    };
    std::string v;
    if (arg == "--server") {
      if (!value(v) || !ParseServer(v, result, error)) return false;
    } else if (arg == "--drive-c") {
      if (!value(v)) return false;
      if (v.empty()) {
        error = "--drive-c: the folder name is empty";
        return false;
      }
      result.DriveC = v;
    } else if (arg == "--active") {
      if (!flag()) return false;
      result.Active = true;
    } else if (arg == "--batch") {
      if (!flag()) return false;
      result.Batch = true;
    } else if (arg == "--answer") {
      if (!value(v)) return false;
      if (v != "yes" && v != "no") {
        error = "--answer: expected yes or no, not \"" + v + "\"";
        return false;
      }
      result.AnswerYes = v == "yes";
    } else if (arg == "--timeout") {
      if (!value(v)) return false;
      auto seconds = ParseNumber(v, 1, MaxTimeoutSeconds);
      if (!seconds) {
        error = "--timeout: expected a number of seconds from 1 to " +
                std::to_string(MaxTimeoutSeconds) + ", not \"" + v + "\"";
        return false;
      }
      result.TimeoutSeconds = static_cast<int>(*seconds);
    } else if (arg == "--help" || arg == "-h") {
      if (!flag()) return false;
      result.Help = true;
    } else if (arg == "--version") {
      if (!flag()) return false;
      result.Version = true;
    } else if (arg.rfind("-", 0) == 0) {
      error = "unknown option " + arg;
      return false;
    } else {
      error = "unexpected argument \"" + arg + "\"";
      return false;
    }
  }
  return true;
}

std::string UsageText() {
  return "usage: kvb-download [--server HOST[:PORT]] [--drive-c DIR] [--active] [--batch]\n"
         "                    [--answer yes|no] [--timeout SECONDS] [--help] [--version]\n"
         "\n"
         "  --server HOST[:PORT]  FTP server to download from (default: the fixed server, port "
         "21)\n"
#ifdef _WIN32
         "  --drive-c DIR         not on Windows: drive C: is the system's own, and the files\n"
         "                        go to C:\\SuperSetup\n"
#else
         "  --drive-c DIR         host folder that stands for drive C: (C:\\SuperSetup is\n"
         "                        DIR/SuperSetup); default: $XDG_DATA_HOME/kvb-download/drive_c\n"
#endif
         "  --active              start with \"Use Passive Mode\" unchecked (active FTP)\n"
         "  --batch               no window: press Download, report each event on standard\n"
         "                        output and exit when the run has ended\n"
         "  --answer yes|no       batch mode: answer to the install question (default: no)\n"
         "  --timeout SECONDS     batch mode: give up after this long (default: 900)\n"
         "  --help                show this text\n"
         "  --version             show the version\n"
         "\n"
         "Exit codes in batch mode: 0 every listed file was received, 1 the run finished but\n"
         "some files were refused or failed, 2 the run could not finish.\n";
}
