#include "table_formats.h"

#include <charconv>
#include <limits>

#include "multilang/base_multi_lang.h"
#include "platform/codepages.h"
#include "platform/sysutils.h"

namespace multilang::detail {

namespace {
std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::string NotAnInteger(std::string_view text) {
  return "'" + std::string(text) + "' is not a valid integer value";
}
}  // namespace

std::string LowerAscii(std::string_view text) {
  // ASCII letters only: Big5 trail bytes in 0x40 .. 0x7E must stay as they are, but a
  // trail byte never starts a character, so only single-byte characters are folded.
  std::string out(text);
  char* end = out.data() + out.size();
  for (char* c = out.data(); c < end;) {
    char* next = CharNextExA(CP_BIG5, c, 0);
    if (next == c) {
      ++next;  // a NUL inside the text
    } else if (next == c + 1 && *c >= 'A' && *c <= 'Z') {
      *c = static_cast<char>(*c - 'A' + 'a');
    }
    c = next;
  }
  return out;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         LowerAscii(text.substr(0, prefix.size())) == LowerAscii(prefix);
}

bool ParseDecimal(std::string_view text, std::int64_t min, std::int64_t max, std::int64_t& value) {
  text = TrimBlanks(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  std::int64_t parsed = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (error != std::errc() || end != text.data() + text.size()) return false;
  if (parsed < min || parsed > max) return false;
  value = parsed;
  return true;
}

void ParseCharSetLine(std::string_view line, std::string& name, int& charset) {
  auto comma = line.find(',');
  std::string_view digits = comma == std::string_view::npos ? line : line.substr(comma + 1);
  std::int64_t number;
  if (comma == std::string_view::npos || !ParseDecimal(digits, std::numeric_limits<int>::min(),
                                                       std::numeric_limits<int>::max(), number))
    throw platform::EConvertError(NotAnInteger(digits));
  if (number < 0 || number > 255)
    throw platform::EConvertError("'" + std::string(digits) + "' is not a valid character set");
  name = std::string(line.substr(0, comma));
  charset = static_cast<int>(number);
}

std::vector<std::string> SplitFields(std::string_view line) {
  std::vector<std::string> fields;
  for (;;) {
    auto comma = line.find(',');
    fields.emplace_back(TrimBlanks(line.substr(0, comma)));
    if (comma == std::string_view::npos) return fields;
    line.remove_prefix(comma + 1);
  }
}

std::string JoinFields(const std::vector<std::string>& fields) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i) line += ',';
    line += fields[i];
  }
  return line;
}

TBounds ParseBounds(std::string_view field) {
  TBounds parsed;
  for (std::size_t n = 0; n < parsed.size(); ++n) {
    auto dot = field.find('.');
    if (dot == std::string_view::npos && n < parsed.size() - 1)
      throw EAssertionFailed("Assertion failed (MLBase)");
    std::string_view number = TrimBlanks(field.substr(0, dot));
    if (!number.empty()) {
      std::int64_t value;
      if (!ParseDecimal(number, std::numeric_limits<int>::min(), std::numeric_limits<int>::max(),
                        value))
        throw platform::EConvertError(NotAnInteger(number));
      parsed[n] = static_cast<int>(value);
    }
    if (dot == std::string_view::npos) break;
    field.remove_prefix(dot + 1);
  }
  return parsed;
}

}  // namespace multilang::detail
