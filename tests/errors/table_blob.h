// Reading and writing "STR0" blobs in tests, independent of the reader under test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace errors_test {

struct TBlobEntry {
  std::int32_t Id;
  std::uint32_t Offset;
  std::uint32_t Length;
};

inline std::uint32_t U32(const std::string& blob, std::size_t at) {
  const auto* p = reinterpret_cast<const unsigned char*>(blob.data()) + at;
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

inline std::vector<TBlobEntry> Entries(const std::string& blob) {
  std::vector<TBlobEntry> entries;
  const std::uint32_t count = U32(blob, 4);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::size_t at = 8 + 12 * std::size_t{i};
    entries.push_back(
        {static_cast<std::int32_t>(U32(blob, at)), U32(blob, at + 4), U32(blob, at + 8)});
  }
  return entries;
}

inline std::u16string Text(const std::string& blob, const TBlobEntry& entry) {
  std::u16string text;
  for (std::uint32_t i = 0; i < entry.Length; ++i) {
    const auto lo = static_cast<unsigned char>(blob[entry.Offset + 2 * i]);
    const auto hi = static_cast<unsigned char>(blob[entry.Offset + 2 * i + 1]);
    text += static_cast<char16_t>(lo | hi << 8);
  }
  return text;
}

inline void PutU32(std::string& blob, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) blob += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A well-formed blob of ASCII texts, in the order given (callers sort when they want to).
inline std::string MakeBlob(const std::vector<std::pair<std::int32_t, std::string>>& texts) {
  std::string blob = "STR0";
  PutU32(blob, static_cast<std::uint32_t>(texts.size()));
  std::uint32_t offset = 8 + 12 * static_cast<std::uint32_t>(texts.size());
  for (const auto& [id, text] : texts) {
    PutU32(blob, static_cast<std::uint32_t>(id));
    PutU32(blob, offset);
    PutU32(blob, static_cast<std::uint32_t>(text.size()));
    offset += 2 * static_cast<std::uint32_t>(text.size());
  }
  for (const auto& entry : texts)
    for (char c : entry.second) blob += std::string{c, '\0'};
  return blob;
}

inline void SetU32(std::string& blob, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) blob[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

inline std::u16string Wide(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

}  // namespace errors_test
