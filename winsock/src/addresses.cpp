// Byte order and dotted addresses.

#include <bit>
#include <cstdio>

#include "api.h"

namespace wsimpl {

namespace {

bool IsDigitIn(char c, unsigned base, unsigned* value) {
  unsigned v;
  if (c >= '0' && c <= '9')
    v = static_cast<unsigned>(c - '0');
  else if (c >= 'a' && c <= 'f')
    v = static_cast<unsigned>(c - 'a' + 10);
  else if (c >= 'A' && c <= 'F')
    v = static_cast<unsigned>(c - 'A' + 10);
  else
    return false;
  if (v >= base) return false;
  *value = v;
  return true;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// One part of a dotted address: decimal, octal (leading 0) or hexadecimal (0x).
bool ParsePart(const char*& p, const char* end, std::uint64_t* out) {
  if (p == end || *p < '0' || *p > '9') return false;
  unsigned base = 10;
  if (*p == '0') {
    base = 8;
    if (p + 1 != end && (p[1] == 'x' || p[1] == 'X')) {
      base = 16;
      p += 2;
      if (p == end) return false;
    }
  }
  std::uint64_t value = 0;
  unsigned digit;
  const char* start = p;
  while (p != end && IsDigitIn(*p, base, &digit)) {
    value = value * base + digit;
    if (value > 0xFFFFFFFFu) return false;
    ++p;
  }
  if (p == start) return false;
  // A digit that does not belong to the base (08, 0x1g) makes the text invalid.
  if (p != end && *p != '.') return false;
  *out = value;
  return true;
}

}  // namespace

ws::u_long Htonl(ws::u_long v) {
  if constexpr (std::endian::native == std::endian::little) return __builtin_bswap32(v);
  return v;
}

ws::u_short Htons(ws::u_short v) {
  if constexpr (std::endian::native == std::endian::little) return __builtin_bswap16(v);
  return v;
}

// a.b.c.d, a.b.c (c 16 bits), a.b (b 24 bits) or a (32 bits). The text ends at the first
// blank. Bad text gives INADDR_NONE, which "255.255.255.255" gives as well.
ws::u_long InetAddr(const char* cp) {
  if (!cp || !*cp) return ws::INADDR_NONE;
  const char* end = cp;
  while (*end && !IsBlank(*end)) ++end;
  if (end == cp) return ws::INADDR_ANY;  // only blanks before the end: Windows gives 0
  std::uint64_t parts[4];
  int count = 0;
  const char* p = cp;
  for (;;) {
    if (count == 4 || !ParsePart(p, end, &parts[count])) return ws::INADDR_NONE;
    ++count;
    if (p == end) break;
    ++p;  // the dot; a part must follow it
  }
  std::uint64_t limits[4][4] = {
      {0xFFFFFFFF}, {0xFF, 0xFFFFFF}, {0xFF, 0xFF, 0xFFFF}, {0xFF, 0xFF, 0xFF, 0xFF}};
  std::uint32_t host = 0;
  for (int i = 0; i < count; ++i) {
    if (parts[i] > limits[count - 1][i]) return ws::INADDR_NONE;
    if (i < count - 1)
      host |= static_cast<std::uint32_t>(parts[i]) << (24 - 8 * i);
    else
      host |= static_cast<std::uint32_t>(parts[i]);
  }
  return Htonl(host);
}

// One buffer per thread, overwritten by the thread's next call.
char* InetNtoa(ws::in_addr in) {
  thread_local char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", in.S_un.S_un_b.s_b1, in.S_un.S_un_b.s_b2,
                in.S_un.S_un_b.s_b3, in.S_un.S_un_b.s_b4);
  return text;
}

}  // namespace wsimpl
