// Code pages: Big5 (950), Windows-1252 and UTF-8 to UTF-16 and back, with the download window's
// texts and the Big5 characters whose second byte is a backslash.

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/codepages.h"

namespace {

// The download window's texts: UTF-8 as written here, Big5 as the window stores them.
struct Sample {
  const char* utf8;
  const char* big5;
};
const Sample kSamples[] = {
    {"下載檔案", "\xA4\x55\xB8\xFC\xC0\xC9\xAE\xD7"},
    {"所需檔案已下載完成, 現在開始安裝軟件?",
     "\xA9\xD2\xBB\xDD\xC0\xC9\xAE\xD7\xA4\x77\xA4\x55\xB8\xFC\xA7\xB9\xA6\xA8, "
     "\xB2\x7B\xA6\x62\xB6\x7D\xA9\x6C\xA6\x77\xB8\xCB\xB3\x6E\xA5\xF3?"},
    {"許功", "\xB3\x5C\xA5\x5C"},
    {"C:\\許\\功.exe", "C:\\\xB3\x5C\\\xA5\x5C.exe"},
    {"工作狀態:", "\xA4\x75\xA7\x40\xAA\xAC\xBA\x41:"},
};

std::u16string Utf16Of(const char* utf8) {
  return platform::ToUtf16(utf8, CP_UTF8);
}

TEST(CodePagesTest, SystemAnsiCodePageIsBig5) {
  EXPECT_EQ(GetACP(), 950u);
  EXPECT_EQ(platform::ToUtf16("\xA4\x55", CP_ACP), u"下");
}

TEST(CodePagesTest, Big5TextsRoundTrip) {
  for (const auto& sample : kSamples) {
    SCOPED_TRACE(sample.utf8);
    std::u16string wide = Utf16Of(sample.utf8);
    EXPECT_EQ(platform::ToUtf16(sample.big5, CP_BIG5), wide);
    EXPECT_EQ(platform::FromUtf16(wide, CP_BIG5), sample.big5);
    EXPECT_EQ(platform::AnsiToUtf8(sample.big5), sample.utf8);
    EXPECT_EQ(platform::Utf8ToAnsi(sample.utf8), sample.big5);
  }
}

// 0x5C is a backslash on its own and a trail byte after a Big5 lead byte: splitting paths by
// bytes would cut 許 in half, converting must not.
TEST(CodePagesTest, TrailByteBackslashStaysInsideItsCharacter) {
  std::u16string wide = platform::ToUtf16("\xB3\x5C\\\xA5\x5C", CP_BIG5);
  ASSERT_EQ(wide.size(), 3u);
  EXPECT_EQ(wide[0], u'許');
  EXPECT_EQ(wide[1], u'\\');
  EXPECT_EQ(wide[2], u'功');
}

// Stepping through ANSI text character by character, as every reader of paths, names, patterns
// and tables does: lead bytes are 0x81..0xFE, and a lead byte takes whatever byte follows it,
// unless the text ends there.
TEST(CodePagesTest, CharSteppingInCodePage950) {
  for (UINT page : {CP_BIG5, CP_ACP}) {
    EXPECT_FALSE(IsDBCSLeadByteEx(page, 0x80));
    EXPECT_TRUE(IsDBCSLeadByteEx(page, 0x81));
    EXPECT_TRUE(IsDBCSLeadByteEx(page, 0xFE));
    EXPECT_FALSE(IsDBCSLeadByteEx(page, 0xFF));
    EXPECT_FALSE(IsDBCSLeadByteEx(page, '\\'));
  }
  EXPECT_FALSE(IsDBCSLeadByteEx(CP_WINDOWS_1252, 0xA4));
  EXPECT_FALSE(IsDBCSLeadByteEx(CP_UTF8, 0xE4));
  SetLastError(0);
  EXPECT_FALSE(IsDBCSLeadByteEx(12345, 0xA4));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  // 許 B3 5C, a backslash, 功 A5 5C, then 0x80 and 0xFF each alone, then a lead byte at the end.
  const char text[] =
      "\xB3\x5C\\\xA5\x5C\x80\xFF"
      "a\xA4";
  const std::vector<int> starts{0, 2, 3, 5, 6, 7, 8};
  const char* at = text;
  for (std::size_t i = 1; i < starts.size(); ++i) {
    at = CharNextExA(CP_BIG5, at, 0);
    EXPECT_EQ(at - text, starts[i]);
  }
  at = CharNextExA(CP_BIG5, at, 0);
  EXPECT_EQ(at - text, 9) << "a lead byte at the end is a character of its own";
  EXPECT_EQ(CharNextExA(CP_BIG5, at, 0), at) << "no step past the end";
  EXPECT_EQ(CharNextExA(CP_WINDOWS_1252, text, 0), text + 1);
  // Back from each character start to the one before it; nothing before the start.
  for (std::size_t i = starts.size() - 1; i > 0; --i)
    EXPECT_EQ(CharPrevExA(CP_BIG5, text, text + starts[i], 0) - text, starts[i - 1]) << i;
  EXPECT_EQ(CharPrevExA(CP_BIG5, text, text + 1, 0), text) << "from inside 許";
  EXPECT_EQ(CharPrevExA(CP_BIG5, text, text, 0), text);
  EXPECT_EQ(CharPrevExA(CP_BIG5, text, text + 9, 0) - text, 8);

  // The same steps over a string, whose NUL inside is a character of one byte.
  const std::string bytes("\xA4\0\xA4\x5C\xA4", 5);
  std::vector<std::size_t> sizes;
  for (std::size_t i = 0; i < bytes.size(); i += sizes.back())
    sizes.push_back(platform::AnsiCharSize(bytes, i));
  EXPECT_EQ(sizes, (std::vector<std::size_t>{1, 1, 2, 1}));
  EXPECT_EQ(platform::AnsiCharSize(bytes, 5), 0u);
}

TEST(CodePagesTest, WindowsSemanticsOfLengthsAndBuffers) {
  const char* big5 = "\xA4\x55\xB8\xFC";  // 下載
  // Length -1 converts the terminator too.
  EXPECT_EQ(MultiByteToWideChar(CP_BIG5, 0, big5, -1, nullptr, 0), 3);
  WCHAR wide[8] = {};
  ASSERT_EQ(MultiByteToWideChar(CP_BIG5, 0, big5, -1, wide, 8), 3);
  EXPECT_EQ(wide[0], u'下');
  EXPECT_EQ(wide[1], u'載');
  EXPECT_EQ(wide[2], 0);
  // An explicit length converts just those bytes.
  EXPECT_EQ(MultiByteToWideChar(CP_BIG5, 0, big5, 2, wide, 8), 1);
  // Too small a buffer fails and says so.
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_BIG5, 0, big5, -1, wide, 2), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

  const WCHAR text[] = u"下載";
  EXPECT_EQ(WideCharToMultiByte(CP_BIG5, 0, text, -1, nullptr, 0, nullptr, nullptr), 5);
  char bytes[8] = {};
  ASSERT_EQ(WideCharToMultiByte(CP_BIG5, 0, text, -1, bytes, 8, nullptr, nullptr), 5);
  EXPECT_STREQ(bytes, big5);
  EXPECT_EQ(WideCharToMultiByte(CP_BIG5, 0, text, 2, bytes, 3, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

  EXPECT_EQ(MultiByteToWideChar(CP_BIG5, 0, big5, 0, wide, 8), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(MultiByteToWideChar(12345, 0, big5, -1, wide, 8), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(CodePagesTest, UnmappableCharactersBecomeTheDefault) {
  const WCHAR text[] = u"a\u0E01b";  // a Thai letter: neither Big5 nor Windows-1252 has it
  char bytes[8] = {};
  BOOL used = FALSE;
  int n = WideCharToMultiByte(CP_BIG5, 0, text, 3, bytes, 8, nullptr, &used);
  EXPECT_EQ(std::string(bytes, n), "a?b");
  EXPECT_TRUE(used);
  n = WideCharToMultiByte(CP_WINDOWS_1252, 0, text, 3, bytes, 8, "#", &used);
  EXPECT_EQ(std::string(bytes, n), "a#b");
  EXPECT_TRUE(used);
  n = WideCharToMultiByte(CP_BIG5, 0, u"ab", 2, bytes, 8, nullptr, &used);
  EXPECT_EQ(n, 2);
  EXPECT_FALSE(used);
  // UTF-8 has no default character: asking for one is a parameter error, as on Windows.
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text, 3, bytes, 8, "?", nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(CodePagesTest, BadInputBytesAreReplacedOrRefused) {
  // A Big5 lead byte at the end and a byte no code page character starts with.
  std::u16string wide = platform::ToUtf16("a\xA4", CP_BIG5);
  ASSERT_EQ(wide.size(), 2u);
  EXPECT_EQ(wide[0], u'a');
  EXPECT_EQ(wide[1], u'\xFFFD');
  wide = platform::ToUtf16(
      "\xFF"
      "b",
      CP_BIG5);
  ASSERT_FALSE(wide.empty());
  EXPECT_EQ(wide.back(), u'b');  // the byte after a bad one is read on its own

  WCHAR out[8];
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\xC3", 2, out, 8), 0);
  EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "a\xC3", 2, out, 8), 2);
  EXPECT_EQ(out[1], u'\xFFFD');
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xED\xA0\x80", 3, out, 8), 1);  // a surrogate
  EXPECT_EQ(out[0], u'\xFFFD');
}

TEST(CodePagesTest, Windows1252AndUtf8) {
  // The euro sign and curly quotes live in 0x80..0x9F of Windows-1252.
  EXPECT_EQ(platform::ConvertCodePage("\x80 \x93q\x94 \xE9", CP_WINDOWS_1252, CP_UTF8), "€ “q” é");
  EXPECT_EQ(platform::ConvertCodePage("€ “q” é", CP_UTF8, CP_WINDOWS_1252), "\x80 \x93q\x94 \xE9");
  // Every byte survives a Windows-1252 round trip, the five unassigned ones too.
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(platform::FromUtf16(platform::ToUtf16(all, CP_WINDOWS_1252), CP_WINDOWS_1252), all);
  // Characters beyond the basic plane take surrogate pairs.
  std::u16string wide = platform::ToUtf16("\xF0\x9F\x98\x80", CP_UTF8);
  ASSERT_EQ(wide.size(), 2u);
  EXPECT_EQ(wide[0], 0xD83D);
  EXPECT_EQ(wide[1], 0xDE00);
  EXPECT_EQ(platform::FromUtf16(wide, CP_UTF8), "\xF0\x9F\x98\x80");
  // Big5 to Windows-1252: what Windows-1252 lacks becomes '?'.
  EXPECT_EQ(platform::ConvertCodePage("ok \xA4\x55", CP_BIG5, CP_WINDOWS_1252), "ok ?");
}

// Conversion runs on several threads at once (each has its own converters).
TEST(CodePagesTest, ThreadsConvertIndependently) {
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < 2000; ++i) {
        const Sample& sample = kSamples[(t + i) % std::size(kSamples)];
        if (platform::AnsiToUtf8(sample.big5) != sample.utf8) ++failures[t];
        if (platform::Utf8ToAnsi(sample.utf8) != sample.big5) ++failures[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int failed : failures) EXPECT_EQ(failed, 0);
}

}  // namespace
