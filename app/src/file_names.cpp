#include "app/file_names.h"

#include <cstring>

#include "forms/strings.h"

namespace {
bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Trail bytes of a Big5 character. Any other byte after a lead byte is a character of its own
// (a '/' or ':' there is one, as the file system sees it).
bool IsBig5Trail(char c) {
  auto b = static_cast<unsigned char>(c);
  return (b >= 0x40 && b <= 0x7E) || (b >= 0xA1 && b <= 0xFE);
}
}  // namespace

std::string TrimBlanks(const std::string& text) {
  std::size_t end = text.size();
  while (end > 0 && IsBlank(text[end - 1])) --end;
  std::size_t start = 0;
  while (start < end && IsBlank(text[start])) ++start;
  return text.substr(start, end - start);
}

void QueueListedNames(const TStrings& lines, TStrings& queue) {
  queue.Clear();
  for (int i = 0; i < lines.Count(); ++i) {
    std::string name = TrimBlanks(lines.Get(i));
    // Some servers list the folder itself and its parent; they are no files of it.
    if (!name.empty() && name != "." && name != "..") queue.Add(name);
  }
}

bool IsPlainFileName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    auto c = static_cast<unsigned char>(name[i]);
    if (c >= 0x81 && c <= 0xFE && i + 1 < name.size() && IsBig5Trail(name[i + 1])) {
      // A Big5 character: its trail byte may be '\\' (許, 功) or '|', and is no separator or
      // reserved character of the file system, which reads paths character by character.
      ++i;
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
