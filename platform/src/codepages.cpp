// Code page conversion: Big5 (950) through iconv, Windows-1252 and UTF-8 by hand.

#include "platform/codepages.h"

#include <iconv.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <string>

namespace {

enum class Page { Big5, Latin, Utf8, Unknown };

Page Resolve(UINT codePage) {
  switch (codePage) {
    case CP_ACP:
    case CP_OEMCP:  // the OEM page of Traditional Chinese systems is 950 as well
    case CP_BIG5:
      return Page::Big5;
    case CP_WINDOWS_1252:
      return Page::Latin;
    case CP_UTF8:
      return Page::Utf8;
    default:
      return Page::Unknown;
  }
}

constexpr char16_t kReplacement = 0xFFFD;

// Windows-1252 0x80..0x9F; its five holes map to the C1 controls of the same value, as on
// Windows, so that every byte survives a round trip.
constexpr char16_t k1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

const char* const kUtf16Name = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// Opening an iconv descriptor costs far more than a short conversion, and descriptors are not
// safe to share between threads: each thread keeps its own pair.
struct Converters {
  iconv_t big5ToUtf16 = kNoConverter;
  iconv_t utf16ToBig5 = kNoConverter;
  ~Converters() {
    if (big5ToUtf16 != kNoConverter) iconv_close(big5ToUtf16);
    if (utf16ToBig5 != kNoConverter) iconv_close(utf16ToBig5);
  }
};
thread_local Converters converters;

iconv_t Converter(bool toUtf16) {
  iconv_t& cd = toUtf16 ? converters.big5ToUtf16 : converters.utf16ToBig5;
  if (cd == kNoConverter) {
    cd = toUtf16 ? iconv_open(kUtf16Name, "CP950") : iconv_open("CP950", kUtf16Name);
  } else {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  return cd;
}

bool AllAscii(const char* src, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    if (static_cast<unsigned char>(src[i]) >= 0x80) return false;
  }
  return true;
}

// Bytes to UTF-16. Bad input becomes U+FFFD; `bad` tells whether any was met. False only when
// the conversion itself is impossible (no converter).
bool Decode(Page page, const char* src, std::size_t n, std::u16string& out, bool& bad) {
  bad = false;
  out.clear();
  if (page == Page::Unknown) return false;
  out.reserve(n);
  if (AllAscii(src, n)) {
    for (std::size_t i = 0; i < n; ++i) out.push_back(static_cast<unsigned char>(src[i]));
    return true;
  }
  const auto* bytes = reinterpret_cast<const unsigned char*>(src);
  switch (page) {
    case Page::Latin:
      for (std::size_t i = 0; i < n; ++i) {
        unsigned char c = bytes[i];
        out.push_back(c >= 0x80 && c < 0xA0 ? k1252High[c - 0x80] : c);
      }
      return true;
    case Page::Utf8:
      for (std::size_t i = 0; i < n;) {
        unsigned char c = bytes[i];
        int extra;
        char32_t cp, min;
        if (c < 0x80) {
          out.push_back(c);
          ++i;
          continue;
        } else if ((c & 0xE0) == 0xC0) {
          extra = 1, cp = c & 0x1F, min = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
          extra = 2, cp = c & 0x0F, min = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
          extra = 3, cp = c & 0x07, min = 0x10000;
        } else {
          out.push_back(kReplacement), bad = true, ++i;
          continue;
        }
        int got = 0;
        while (got < extra && i + 1 + got < n && (bytes[i + 1 + got] & 0xC0) == 0x80) {
          cp = (cp << 6) | (bytes[i + 1 + got] & 0x3F);
          ++got;
        }
        if (got < extra || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
          // One replacement for the lead byte and the continuation bytes that followed it.
          out.push_back(kReplacement), bad = true;
          i += 1 + got;
          continue;
        }
        if (cp >= 0x10000) {
          cp -= 0x10000;
          out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
          out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
          out.push_back(static_cast<char16_t>(cp));
        }
        i += 1 + extra;
      }
      return true;
    case Page::Big5: {
      iconv_t cd = Converter(true);
      if (cd == kNoConverter) return false;
      std::u16string buffer(n + 2, u'\0');
      char* in = const_cast<char*>(src);
      std::size_t inLeft = n;
      while (inLeft > 0) {
        char* outPtr = reinterpret_cast<char*>(buffer.data());
        std::size_t outLeft = buffer.size() * sizeof(char16_t);
        std::size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        int err = errno;
        out.append(buffer.data(), (reinterpret_cast<char16_t*>(outPtr) - buffer.data()));
        if (result != static_cast<std::size_t>(-1)) break;
        if (err == E2BIG) continue;
        // A byte that starts no valid character: replace it and go on with the next byte,
        // which may well be plain ASCII.
        out.push_back(kReplacement);
        bad = true;
        if (err == EINVAL) break;  // a lead byte at the very end
        ++in, --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
      }
      return true;
    }
    case Page::Unknown:
      break;
  }
  return false;
}

// UTF-16 to bytes. Characters the page lacks become `defaultChar`; unpaired surrogates too,
// except in UTF-8 where they become U+FFFD. `replaced` tells whether that happened.
bool Encode(Page page, const char16_t* src, std::size_t n, std::string& out,
            const std::string& defaultChar, bool& replaced) {
  replaced = false;
  out.clear();
  if (page == Page::Unknown) return false;
  out.reserve(n);
  bool ascii = true;
  for (std::size_t i = 0; i < n && ascii; ++i) ascii = src[i] < 0x80;
  if (ascii) {
    for (std::size_t i = 0; i < n; ++i) out.push_back(static_cast<char>(src[i]));
    return true;
  }
  switch (page) {
    case Page::Latin:
      for (std::size_t i = 0; i < n; ++i) {
        char16_t c = src[i];
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
          out.push_back(static_cast<char>(c));
          continue;
        }
        int found = -1;
        for (int k = 0; k < 32; ++k) {
          if (k1252High[k] == c) found = k;
        }
        if (found >= 0) {
          out.push_back(static_cast<char>(0x80 + found));
        } else {
          out += defaultChar, replaced = true;
          if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && src[i + 1] >= 0xDC00 &&
              src[i + 1] <= 0xDFFF)
            ++i;  // one default character for the whole pair
        }
      }
      return true;
    case Page::Utf8:
      for (std::size_t i = 0; i < n; ++i) {
        char32_t cp = src[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && src[i + 1] >= 0xDC00 &&
            src[i + 1] <= 0xDFFF) {
          cp = 0x10000 + ((cp - 0xD800) << 10) + (src[i + 1] - 0xDC00);
          ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
          cp = kReplacement, replaced = true;
        }
        if (cp < 0x80) {
          out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
          out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
          out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
          out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
          out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
          out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
          out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
          out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
          out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
          out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
      }
      return true;
    case Page::Big5: {
      iconv_t cd = Converter(false);
      if (cd == kNoConverter) return false;
      std::string buffer(2 * n + 8, '\0');
      char* in = reinterpret_cast<char*>(const_cast<char16_t*>(src));
      std::size_t inLeft = n * sizeof(char16_t);
      while (inLeft > 0) {
        char* outPtr = buffer.data();
        std::size_t outLeft = buffer.size();
        std::size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        int err = errno;
        out.append(buffer.data(), static_cast<std::size_t>(outPtr - buffer.data()));
        if (result != static_cast<std::size_t>(-1)) break;
        if (err == E2BIG) continue;
        out += defaultChar, replaced = true;
        if (err == EINVAL) break;  // a high surrogate at the very end
        const auto* unit = reinterpret_cast<const char16_t*>(in);
        std::size_t skip = 1;
        if (*unit >= 0xD800 && *unit <= 0xDBFF && inLeft >= 4 && unit[1] >= 0xDC00 &&
            unit[1] <= 0xDFFF)
          skip = 2;
        in += skip * sizeof(char16_t), inLeft -= skip * sizeof(char16_t);
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
      }
      return true;
    }
    case Page::Unknown:
      break;
  }
  return false;
}

}  // namespace

UINT GetACP() {
  return CP_BIG5;
}

BOOL IsDBCSLeadByteEx(UINT codePage, BYTE testChar) {
  Page page = Resolve(codePage);
  if (page == Page::Unknown) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return page == Page::Big5 && testChar >= 0x81 && testChar <= 0xFE;
}

char* CharNextExA(WORD codePage, const char* current, DWORD) {
  if (current == nullptr || *current == '\0') return const_cast<char*>(current);
  bool pair = IsDBCSLeadByteEx(codePage, static_cast<BYTE>(*current)) && current[1] != '\0';
  return const_cast<char*>(current + (pair ? 2 : 1));
}

char* CharPrevExA(WORD codePage, const char* start, const char* current, DWORD flags) {
  if (start == nullptr || current == nullptr) return const_cast<char*>(start);
  while (*start != '\0' && start < current) {
    const char* next = CharNextExA(codePage, start, flags);
    if (next >= current) break;
    start = next;
  }
  return const_cast<char*>(start);
}

int MultiByteToWideChar(UINT codePage, DWORD flags, const char* src, int srcLength, WCHAR* dst,
                        int dstLength) {
  Page page = Resolve(codePage);
  if (page == Page::Unknown || src == nullptr || srcLength == 0 || srcLength < -1 ||
      dstLength < 0 || (dst == nullptr && dstLength > 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::size_t n = srcLength == -1 ? std::strlen(src) + 1 : static_cast<std::size_t>(srcLength);
  std::u16string text;
  bool bad = false;
  if (!Decode(page, src, n, text, bad)) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
  }
  if (bad && (flags & MB_ERR_INVALID_CHARS)) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  if (dstLength == 0) return static_cast<int>(text.size());
  if (text.size() > static_cast<std::size_t>(dstLength)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(dst, text.data(), text.size() * sizeof(WCHAR));
  return static_cast<int>(text.size());
}

int WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR* src, int srcLength, char* dst,
                        int dstLength, const char* defaultChar, BOOL* usedDefaultChar) {
  Page page = Resolve(codePage);
  if (page == Page::Unknown || src == nullptr || srcLength == 0 || srcLength < -1 ||
      dstLength < 0 || (dst == nullptr && dstLength > 0) ||
      (page == Page::Utf8 && (defaultChar != nullptr || usedDefaultChar != nullptr))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::size_t n = srcLength == -1 ? std::char_traits<char16_t>::length(src) + 1
                                  : static_cast<std::size_t>(srcLength);
  // A double-byte default character is allowed in a double-byte code page.
  std::size_t defaultLength = !defaultChar || !*defaultChar               ? 0
                              : page == Page::Big5 && defaultChar[1] != 0 ? 2
                                                                          : 1;
  const std::string replacement =
      defaultLength ? std::string(defaultChar, defaultChar + defaultLength) : std::string("?");
  std::string text;
  bool replaced = false;
  if (!Encode(page, src, n, text, replacement, replaced)) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
  }
  if (replaced && page == Page::Utf8 && (flags & WC_ERR_INVALID_CHARS)) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  if (usedDefaultChar) *usedDefaultChar = replaced ? TRUE : FALSE;
  if (dstLength == 0) return static_cast<int>(text.size());
  if (text.size() > static_cast<std::size_t>(dstLength)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(dst, text.data(), text.size());
  return static_cast<int>(text.size());
}

namespace platform {

std::u16string ToUtf16(const std::string& text, UINT codePage) {
  std::u16string out;
  bool bad;
  if (text.empty() || !Decode(Resolve(codePage), text.data(), text.size(), out, bad)) return {};
  return out;
}

std::string FromUtf16(const std::u16string& text, UINT codePage) {
  std::string out;
  bool replaced;
  if (text.empty() || !Encode(Resolve(codePage), text.data(), text.size(), out, "?", replaced)) {
    return {};
  }
  return out;
}

std::string ConvertCodePage(const std::string& text, UINT fromCodePage, UINT toCodePage) {
  if (Resolve(fromCodePage) == Resolve(toCodePage) && Resolve(toCodePage) != Page::Unknown) {
    return text;
  }
  return FromUtf16(ToUtf16(text, fromCodePage), toCodePage);
}

}  // namespace platform
