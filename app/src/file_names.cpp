#include "app/file_names.h"

#include <cstring>

namespace {
bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
}  // namespace

std::string TrimBlanks(const std::string& text) {
  std::size_t end = text.size();
  while (end > 0 && IsBlank(text[end - 1])) --end;
  std::size_t start = 0;
  while (start < end && IsBlank(text[start])) ++start;
  return text.substr(start, end - start);
}

bool IsPlainFileName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    auto c = static_cast<unsigned char>(name[i]);
    if (c >= 0x81 && c <= 0xFE && i + 1 < name.size()) {
      // A Big5 character: its trail byte may be '|', but a trail byte 0x5C is still a
      // separator to the path parsers.
      auto trail = static_cast<unsigned char>(name[++i]);
      if (trail == '\\' || trail < 0x20 || trail == 0x7F) return false;
      continue;
    }
    if (c < 0x20 || c == 0x7F) return false;
    if (std::strchr("/\\:*?\"<>|", name[i]) != nullptr) return false;
  }
  return true;
}

std::string LocalFileName(const std::string& remoteName) {
  return remoteName == "Setup.exe" ? InstallerFileName : remoteName;
}
