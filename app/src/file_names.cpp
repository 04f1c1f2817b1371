#include "app/file_names.h"

#include <cstring>

#include "forms/strings.h"
#include "platform/codepages.h"

namespace {
bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// A control, a separator or a character the file system reserves.
bool IsRefusedInName(unsigned char c) {
  return c < 0x20 || c == 0x7F || std::strchr("/\\:*?\"<>|", c) != nullptr;
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
  const char* end = name.c_str() + name.size();
  for (const char* c = name.c_str(); c < end;) {
    const char* next = CharNextExA(CP_BIG5, c, 0);
    if (next == c) return false;  // a NUL inside the name
    if (next == c + 1) {
      if (IsRefusedInName(static_cast<unsigned char>(*c))) return false;
    } else {
      // A Big5 character: its second byte may be '\\' (許, 功) or '|', and is no separator or
      // reserved character of the file system, which reads paths character by character. No
      // Big5 character has a second byte below 0x40: a '/' or ':' there would still divide the
      // name on the host's file system, so it is refused as it would be alone.
      auto second = static_cast<unsigned char>(c[1]);
      if ((second < 0x40 || second == 0x7F) && IsRefusedInName(second)) return false;
    }
    c = next;
  }
  return true;
}

std::string LocalFileName(const std::string& remoteName) {
  return remoteName == "Setup.exe" ? InstallerFileName : remoteName;
}
