// The texts the FTP client takes out of replies: the argument of a 227 reply with its address
// and port, and the directory name of a 257 reply. The input is one reply text.
//
// Checked: each extracted text is the part of the reply it should be; the address text holds
// no comma; a well-formed argument "h1,h2,h3,h4,p1,p2" gives back exactly that argument when
// its address and port are written as a "PORT " argument again.
#include <algorithm>
#include <cstdint>
#include <string>

#include "ftp/ftp_client.h"
#include "fuzz_check.h"

namespace {

// True for "d,d,d,d,d,d" with plain decimal numbers 0..255 (no leading zeros).
bool IsPlainHostPort(const std::string& text) {
  int fields = 0;
  std::size_t at = 0;
  while (true) {
    std::size_t comma = text.find(',', at);
    std::string field =
        text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
    if (field.empty() || field.size() > 3 || (field.size() > 1 && field[0] == '0')) return false;
    for (char c : field)
      if (c < '0' || c > '9') return false;
    if (std::stoi(field) > 255) return false;
    ++fields;
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  return fields == 6;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string reply(reinterpret_cast<const char*>(data), size);

  // 257: the text between the first two double quotes.
  const std::string name = QuotedDirectoryName(reply);
  FUZZ_CHECK(name.find('"') == std::string::npos, "a quote inside the name");
  const std::size_t quote = reply.find('"');
  if (quote != std::string::npos && reply.find('"', quote + 1) != std::string::npos)
    FUZZ_CHECK(reply.compare(quote, name.size() + 2, '"' + name + '"') == 0,
               "the name is not the first quoted text");
  else
    FUZZ_CHECK(name.empty(), "a name without two quotes");

  // 227: the text in the first parentheses, then its address and port.
  const std::string argument = PassiveReplyArgument(reply);
  const std::size_t open = reply.find('(');
  if (open == std::string::npos) {
    FUZZ_CHECK(argument.empty(), "an argument without parentheses");
  } else {
    FUZZ_CHECK(reply.compare(open + 1, argument.size(), argument) == 0,
               "the argument does not follow the first '('");
    FUZZ_CHECK(argument.find(')') == std::string::npos, "a ')' inside the argument");
  }
  std::string address = "unset";
  WORD port = 1;
  ParsePassiveArgument(argument, address, port);
  const std::size_t commas =
      static_cast<std::size_t>(std::count(argument.begin(), argument.end(), ','));
  if (commas >= 4) FUZZ_CHECK(address.find(',') == std::string::npos, "a comma in the address");
  FUZZ_CHECK(address.size() <= argument.size(), "the address is longer than the argument");
  if (commas < 4) FUZZ_CHECK(port == 0, "a port without p1 and p2");
  if (IsPlainHostPort(argument))
    FUZZ_CHECK(FtpPortArgument(address, port) == argument,
               "address " + address + " port " + std::to_string(port) + " from " + argument);
  return 0;
}
